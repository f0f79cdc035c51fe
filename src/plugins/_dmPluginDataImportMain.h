// The module's main data module: owner of the import engines and of the external function
// interface. For now it carries the plug-in life cycle only.
#pragma once

#include "host/PluginBase.h"
#include "module/PreProcessorCatalogIntf.h"

namespace vela {

class TdmPluginDataImportMain : public TPluginBaseDataModule, public IVelaXMLPreProcessorCatalog {
  VELA_INTERFACES(TPluginBaseDataModule, IVelaXMLPreProcessorCatalog)

  explicit TdmPluginDataImportMain(TClientPluginBase* AOwner);
  ~TdmPluginDataImportMain() override;

  static const char* StaticClassName() noexcept { return "TdmPluginDataImportMain"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }

  // Frees the pre-processor factory (and so unloads the pre-processor libraries) before the
  // host unloads the module.
  void BeforeUnInit() override;

  // --- IVelaXMLPreProcessorCatalog: the pre-processor factory's items ---
  std::string Get_PluginFolder() noexcept override;
  int32_t Get_Count() noexcept override;
  bool Get_Entry(int32_t AIndex, TPreProcessorCatalogEntry& AEntry) noexcept override;
};

// The running main data module (nil while none exists).
extern TdmPluginDataImportMain* dmPluginDataImportMain;

// Unit start-up: registers TdmPluginDataImportMain in PluginModuleClassList.
void InitUnit_dmPluginDataImportMain();

}  // namespace vela

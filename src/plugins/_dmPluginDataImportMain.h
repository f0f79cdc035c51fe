// The module's main data module: owner of the import engines and of the external function
// interface. For now it carries the plug-in life cycle only.
#pragma once

#include "host/PluginBase.h"

namespace vela {

class TdmPluginDataImportMain : public TPluginBaseDataModule {
 public:
  explicit TdmPluginDataImportMain(TClientPluginBase* AOwner);
  ~TdmPluginDataImportMain() override;

  static const char* StaticClassName() noexcept { return "TdmPluginDataImportMain"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }

  // Frees the pre-processor factory (and so unloads the pre-processor libraries) before the
  // host unloads the module.
  void BeforeUnInit() override;
};

// The running main data module (nil while none exists).
extern TdmPluginDataImportMain* dmPluginDataImportMain;

// Unit start-up: registers TdmPluginDataImportMain in PluginModuleClassList.
void InitUnit_dmPluginDataImportMain();

}  // namespace vela

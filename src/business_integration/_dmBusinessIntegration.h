// The business integration data module: the REST services for data containers and their
// background import. It offers the conversion of saved container bodies (IBIContainerConverter)
// through the external function lookup.
#pragma once

#include "business_integration/BIContainerConverterIntf.h"
#include "host/PluginBase.h"

namespace vela {

class TdmBusinessIntegration : public TPluginBaseDataModule, public IBIContainerConverter {
  VELA_INTERFACES(TPluginBaseDataModule, IBIContainerConverter)

 public:
  explicit TdmBusinessIntegration(TClientPluginBase* AOwner);
  ~TdmBusinessIntegration() override;

  static const char* StaticClassName() noexcept { return "TdmBusinessIntegration"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }

  // --- IBIContainerConverter ---
  bool Do_ConvertContainer(const std::string& AContentType, const std::string& AData,
                           const std::string& AConfig, IDataStream* AOutData,
                           std::string& ErrorMessage) noexcept override;
  bool Do_ShowContainer(const std::string& AContentType, const std::string& AData, bool AHTML,
                        std::string& AText, std::string& ErrorMessage) noexcept override;
};

// The running business integration data module (nil while none exists).
extern TdmBusinessIntegration* dmBusinessIntegration;

// Unit start-up: registers TdmBusinessIntegration in PluginModuleClassList.
void InitUnit_dmBusinessIntegration();

}  // namespace vela

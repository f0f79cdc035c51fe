// The business integration data module: the REST services for data containers and their
// background import. For now it carries the plug-in life cycle only.
#pragma once

#include "host/PluginBase.h"

namespace vela {

class TdmBusinessIntegration : public TPluginBaseDataModule {
 public:
  explicit TdmBusinessIntegration(TClientPluginBase* AOwner);
  ~TdmBusinessIntegration() override;

  static const char* StaticClassName() noexcept { return "TdmBusinessIntegration"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }
};

// The running business integration data module (nil while none exists).
extern TdmBusinessIntegration* dmBusinessIntegration;

// Unit start-up: registers TdmBusinessIntegration in PluginModuleClassList.
void InitUnit_dmBusinessIntegration();

}  // namespace vela

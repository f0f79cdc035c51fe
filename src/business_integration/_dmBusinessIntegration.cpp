#include "business_integration/_dmBusinessIntegration.h"

#include "module/_PluginModuleRegistration.h"

namespace vela {

TdmBusinessIntegration* dmBusinessIntegration = nullptr;

TdmBusinessIntegration::TdmBusinessIntegration(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  dmBusinessIntegration = this;
}

TdmBusinessIntegration::~TdmBusinessIntegration() {
  if (dmBusinessIntegration == this) dmBusinessIntegration = nullptr;
}

void InitUnit_dmBusinessIntegration() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmBusinessIntegration>(),
                                              PluginModuleClassList);
}

}  // namespace vela

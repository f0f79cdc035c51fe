#include "plugins/_dmPluginDataImportMain.h"

#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"

namespace vela {

TdmPluginDataImportMain* dmPluginDataImportMain = nullptr;

TdmPluginDataImportMain::TdmPluginDataImportMain(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  dmPluginDataImportMain = this;
}

TdmPluginDataImportMain::~TdmPluginDataImportMain() {
  if (dmPluginDataImportMain == this) dmPluginDataImportMain = nullptr;
}

void TdmPluginDataImportMain::BeforeUnInit() {
  TPluginBaseDataModule::BeforeUnInit();
  FreePreProcessorFactory();
}

void InitUnit_dmPluginDataImportMain() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmPluginDataImportMain>(),
                                              PluginModuleClassList);
}

}  // namespace vela

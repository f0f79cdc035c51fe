#include "plugins/_dmPluginDataImportMain.h"

#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"

namespace vela {

TdmPluginDataImportMain* dmPluginDataImportMain = nullptr;

TdmPluginDataImportMain::TdmPluginDataImportMain(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  dmPluginDataImportMain = this;
  SetSelfIsExtFunc(true);
}

TdmPluginDataImportMain::~TdmPluginDataImportMain() {
  if (dmPluginDataImportMain == this) dmPluginDataImportMain = nullptr;
}

void TdmPluginDataImportMain::BeforeUnInit() {
  TPluginBaseDataModule::BeforeUnInit();
  FreePreProcessorFactory();
}

std::string TdmPluginDataImportMain::Get_PluginFolder() noexcept {
  try {
    return PreProcessorFactory().PluginFolder();
  } catch (...) {
    return {};
  }
}

int32_t TdmPluginDataImportMain::Get_Count() noexcept {
  try {
    return PreProcessorFactory().Count();
  } catch (...) {
    return 0;
  }
}

bool TdmPluginDataImportMain::Get_Entry(int32_t AIndex,
                                        TPreProcessorCatalogEntry& AEntry) noexcept {
  try {
    auto& factory = PreProcessorFactory();
    if (AIndex < 0 || AIndex >= factory.Count()) return false;
    const auto& item = factory.GetItem(AIndex);
    AEntry.FileName = item.FileName;
    AEntry.Caption = item.Caption;
    AEntry.ValidFileExt = item.ValidFileExt;
    AEntry.CanUseByUser = item.CanUseByUser;
    AEntry.Functions = item.Functions;
    return true;
  } catch (...) {
    return false;
  }
}

void InitUnit_dmPluginDataImportMain() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmPluginDataImportMain>(),
                                              PluginModuleClassList);
}

}  // namespace vela

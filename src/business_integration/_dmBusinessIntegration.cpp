#include "business_integration/_dmBusinessIntegration.h"

#include "business_integration/_BIContainerDataSetImportPreProcessor.h"
#include "module/_PluginModuleRegistration.h"

namespace vela {

TdmBusinessIntegration* dmBusinessIntegration = nullptr;

TdmBusinessIntegration::TdmBusinessIntegration(TClientPluginBase* AOwner)
    : TPluginBaseDataModule(AOwner) {
  dmBusinessIntegration = this;
  SetSelfIsExtFunc(true);
}

TdmBusinessIntegration::~TdmBusinessIntegration() {
  if (dmBusinessIntegration == this) dmBusinessIntegration = nullptr;
}

bool TdmBusinessIntegration::Do_ConvertContainer(const std::string& AContentType,
                                                 const std::string& AData,
                                                 const std::string& AConfig, IDataStream* AOutData,
                                                 std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  try {
    IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor =
        LoadDataContainer(AContentType, AData);
    // The configuration travels as text, as the container import hands it over.
    bool userMessage = false;
    return processor->Do_PreConvert(nullptr, AOutData, AConfig, xmpRAW, xmpRAW,
                                    GetMainInterface().get(), nullptr, pemImportTransformXML,
                                    nullptr, false, nullptr, ErrorMessage, userMessage);
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

bool TdmBusinessIntegration::Do_ShowContainer(const std::string& AContentType,
                                              const std::string& AData, bool AHTML,
                                              std::string& AText,
                                              std::string& ErrorMessage) noexcept {
  ErrorMessage.clear();
  AText.clear();
  try {
    IPtr<TBIContainerSOAPDataSetImportPreProcessor> processor =
        LoadDataContainer(AContentType, AData);
    AText = AHTML ? processor->ContentData()->AsHTML() : processor->ContentData()->AsText();
    return true;
  } catch (const std::exception& e) {
    ErrorMessage = ExceptionText(e);
    return false;
  }
}

void InitUnit_dmBusinessIntegration() {
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmBusinessIntegration>(),
                                              PluginModuleClassList);
}

}  // namespace vela

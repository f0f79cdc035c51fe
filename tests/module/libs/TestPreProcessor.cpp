// A pre-processor library for the factory tests, built in several variants:
//   VXP_VERSION   the contract version that XMLPreProcVersion reports (default 2)
//   VXP_NO_PROC   leaves out the XMLPreProc export
#include "vela/PluginExport.h"

#ifndef VXP_VERSION
#define VXP_VERSION 2
#endif

namespace {

using namespace vela;

class TTestPreProcessor : public TInterfacedObject, public IXMLPreProcessor {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessor)

  bool Do_PreConvert(IDataStream*, IDataStream* AOutData, const std::string& Params,
                     TXMLPreProcessorFmt, TXMLPreProcessorFmt, IMainInterface*,
                     IXMLPreProcessorHost*, TXMLPreProcessorFunction, IVelaXMLPartHandlerContainer*,
                     bool, INamedVariantListData*, std::string& ErrorMessage,
                     bool& AUserMessageError) noexcept override {
    AUserMessageError = false;
    if (Params.empty()) {
      ErrorMessage = "Exception: no parameters";
      return false;
    }
    const std::string doc = "<velaxml>" + Params + "</velaxml>";
    if (AOutData) AOutData->Write(doc.data(), static_cast<int64_t>(doc.size()));
    return true;
  }
  IPtr<IStringListData> Get_ValidFileExt() noexcept override {
    return NewStringListData({".txt", ".csv"});
  }
  std::string Get_Caption() noexcept override { return "Test pre-processor"; }
  bool Get_CanUseByUser() noexcept override { return true; }
  TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept override {
    return {pemImportTransformXML, pemExportSAXWriter};
  }
  TVelaXLPreProcessorOptionSet Get_Options() noexcept override { return {}; }
  bool Get_FieldList(const std::string&, TXMLPreProcessorFmt, IDataStream*, TXMLPreProcessorFmt,
                     bool, IPtr<IStringListData>& AFieldList, std::string& ErrorMessage,
                     const std::string&) noexcept override {
    ErrorMessage.clear();
    AFieldList = NewStringListData({"id", "name"});
    return true;
  }
  bool Do_ConfigureXMLWriter(IVelaXMLWriter*, const std::string&, TXMLPreProcessorFmt,
                             std::string& ErrorMessage) noexcept override {
    ErrorMessage = "Exception: not supported";
    return false;
  }
  TConverterConfigType Get_ConverterConfigType() noexcept override { return vxpCSV; }
};

}  // namespace

VELA_PLUGIN_EXPORT int32_t XMLPreProcVersion() {
  return VXP_VERSION;
}

#ifndef VXP_NO_PROC
VELA_PLUGIN_EXPORT void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result) {
  Result = vela::MakeIntf<TTestPreProcessor, vela::IXMLPreProcessor>();
}
#endif

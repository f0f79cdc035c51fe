// An example pre-processor library: turns a text file with one "name=value" pair per line into
// a VelaXML part "example" with one row per line.
//
// Build it like sdk/example/CMakeLists.txt does (hidden visibility, sdk/vxp.map, link
// libVelaHost) and copy example.vxp into custom/plugins below the application folder.
#include <string>

#include "vela/PluginExport.h"

namespace {

using namespace vela;

std::string XmlEscape(std::string_view s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '<':
        r += "&lt;";
        break;
      case '>':
        r += "&gt;";
        break;
      case '&':
        r += "&amp;";
        break;
      case '"':
        r += "&quot;";
        break;
      default:
        r += c;
    }
  }
  return r;
}

class TExamplePreProcessor : public TInterfacedObject, public IXMLPreProcessor {
  VELA_INTERFACES(TInterfacedObject, IXMLPreProcessor)

  // Every interface method catches what it might raise: nothing may cross the interface.
  bool Do_PreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& /*Params*/,
                     TXMLPreProcessorFmt /*AInFmt*/, TXMLPreProcessorFmt /*ParamFmt*/,
                     IMainInterface* /*AMainInterface*/, IXMLPreProcessorHost* /*AHost*/,
                     TXMLPreProcessorFunction AFunction, IVelaXMLPartHandlerContainer* /*AParts*/,
                     bool /*AOnlyThisPlace*/, INamedVariantListData* /*AOptions*/,
                     std::string& ErrorMessage, bool& AUserMessageError) noexcept override {
    ErrorMessage.clear();
    AUserMessageError = false;
    try {
      if (AFunction != pemImportTransformXML || !AInData || !AOutData) {
        ErrorMessage = "Exception: the example reads an input stream into VelaXML only";
        return false;
      }
      std::string input;
      char buf[64 * 1024];
      for (int64_t n; (n = AInData->Read(buf, sizeof buf)) > 0;)
        input.append(buf, size_t(n));
      std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<velaxml><example>";
      size_t p = 0;
      while (p < input.size()) {
        size_t e = input.find('\n', p);
        if (e == std::string::npos) e = input.size();
        std::string_view line(input.data() + p, e - p);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos)
          out += "<row><name>" + XmlEscape(line.substr(0, eq)) + "</name><value>" +
                 XmlEscape(line.substr(eq + 1)) + "</value></row>";
        p = e + 1;
      }
      out += "</example></velaxml>\n";
      AOutData->Write(out.data(), static_cast<int64_t>(out.size()));
      return true;
    } catch (const std::exception& e) {
      ErrorMessage = std::string("Exception: ") + e.what();
      return false;
    }
  }
  IPtr<IStringListData> Get_ValidFileExt() noexcept override {
    try {
      return NewStringListData({".txt", ".ini"});
    } catch (...) {
      return nullptr;
    }
  }
  std::string Get_Caption() noexcept override { return "Example name=value pre-processor"; }
  bool Get_CanUseByUser() noexcept override { return true; }
  TXMLPreProcessorFunctionSet Get_FunctionSet() noexcept override {
    return {pemImportTransformXML};
  }
  TVelaXLPreProcessorOptionSet Get_Options() noexcept override { return {}; }
  bool Get_FieldList(const std::string&, TXMLPreProcessorFmt, IDataStream*, TXMLPreProcessorFmt,
                     bool, IPtr<IStringListData>& AFieldList, std::string& ErrorMessage,
                     const std::string&) noexcept override {
    ErrorMessage.clear();
    try {
      AFieldList = NewStringListData({"name", "value"});
      return true;
    } catch (...) {
      return false;
    }
  }
  bool Do_ConfigureXMLWriter(IVelaXMLWriter*, const std::string&, TXMLPreProcessorFmt,
                             std::string& ErrorMessage) noexcept override {
    ErrorMessage.clear();
    return true;  // no writer settings
  }
  TConverterConfigType Get_ConverterConfigType() noexcept override { return vxpUnknown; }
};

}  // namespace

VELA_PLUGIN_EXPORT int32_t XMLPreProcVersion() {
  return vela::kXMLPreProcVersion;
}

VELA_PLUGIN_EXPORT void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result) {
  Result = vela::MakeIntf<TExamplePreProcessor, vela::IXMLPreProcessor>();
}

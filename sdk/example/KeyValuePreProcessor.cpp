// An example pre-processor library built on the pre-processing core: the name=value lines of
// example.vxp, read by a descendant of TCustomImportPreProcessor. The core brings the interface
// methods (exceptions become "ClassName: message"), the configuration, the VelaXML writer, the
// progress display and the output copy; the descendant supplies the conversion.
//
// Configuration (INI text or file; none gives the defaults):
//   [KeyValue]
//   PartName=settings   the VelaXML part (default "keyvalue")
//   Separator=:         between name and value (default "=")
//   [Output]            an optional copy of the document (see docs/plugins.md)
#include <memory>
#include <string>
#include <string_view>

#include "components/_CustomImportPreProcessor.h"
#include "vela/PluginExport.h"

namespace {

using namespace vela;

void WriteField(IVelaXMLWriter& AWriter, const std::string& AName, std::string_view AValue) {
  AWriter.StartElement(AName, nullptr, xdeText, xdeNone, xbhInline, 0);
  AWriter.Characters(Variant(std::string(AValue)));
  AWriter.EndElement(AName);
}

class TKeyValueImport : public TCustomImportPreProcessor {
  VELA_PREPROCESSOR_CLASS(TKeyValueImport)

 public:
  TKeyValueImport() {
    SetCaption("Key/value pre-processor on the core");
    ValidFileExt().Add(".properties");
    SetOptions({ppoHasFixedFieldList});
  }

 protected:
  void InternalPreConvert(IDataStream* AInData, IDataStream* AOutData, const std::string& AParams,
                          TXMLPreProcessorFmt, TXMLPreProcessorFmt AParamsFmt,
                          TXMLPreProcessorFunction AFunction, bool AOnlyThisPlace,
                          INamedVariantListData* AOptions) override {
    if (AFunction != pemImportTransformXML || !AInData || !AOutData)
      throw Exception("reads an input stream into VelaXML only");
    const std::unique_ptr<TMemIniFile> config =
        AParams.empty() ? std::make_unique<TMemIniFile>()
                        : LoadConfiguration(AParams, AParamsFmt == xmpRAW);
    const std::string part = config->ReadString("KeyValue", "PartName", "keyvalue");
    const std::string separator = config->ReadString("KeyValue", "Separator", "=");
    if (separator.empty()) throw EVelaUserMessageException("The separator must not be empty");

    TStringList lines;
    {
      std::string input;
      char buf[64 * 1024];
      for (int64_t n; (n = AInData->Read(buf, sizeof buf)) > 0;)
        input.append(buf, size_t(n));
      lines.SetText(input);
    }
    IPtr<IVelaXMLWriter> writer = CreateXMLWriter(AOutData, AOptions, AOnlyThisPlace, AFunction);
    writer->StartDocument(Get_Caption());
    writer->StartElement(part, nullptr, xdeNone, xdeNone, xbhInline, 0);
    ProgressStart(lines.Count());
    for (int i = 0; i < lines.Count(); ++i) {
      const std::string_view line = lines[i];
      const size_t sep = line.find(separator);
      if (sep != std::string_view::npos) {
        writer->StartElement("row", nullptr, xdeNone, xdeNone, xbhInline, 0);
        WriteField(*writer, "name", line.substr(0, sep));
        WriteField(*writer, "value", line.substr(sep + separator.size()));
        writer->EndElement("row");
      }
      ProgressStep(i + 1, lines.Count());
    }
    ProgressEnd();
    writer->EndElement(part);
    writer->EndDocument();
    SaveOutputCopy(*config, AOutData, AFunction);
  }

  bool InternalGetFieldList(const std::string&, TXMLPreProcessorFmt, const std::string&,
                            TStringList& AFieldList, bool, TXMLPreProcessorFmt,
                            IDataStream*) override {
    AFieldList.Add("name");
    AFieldList.Add("value");
    return true;
  }
};

}  // namespace

VELA_PLUGIN_EXPORT int32_t XMLPreProcVersion() {
  return vela::kXMLPreProcVersion;
}

// Every call hands out a new pre-processor.
VELA_PLUGIN_EXPORT void XMLPreProc(vela::IPtr<vela::IXMLPreProcessor>& Result) {
  Result = vela::IPtr<vela::IXMLPreProcessor>(new TKeyValueImport());
}

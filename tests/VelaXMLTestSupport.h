// Test support: a VelaXML document as readable lines, every field value decoded.
#pragma once

#include <memory>
#include <string>

#include "host/velaxml/XMLDataEncoding.h"
#include "platform/sax/SAXReader.h"
#include "rtl/Streams.h"
// Test folders that see the pre-processor contract also get the conversion helper.
#if __has_include("vela/XMLPreProcessorIntf.h")
#include "vela/XMLPreProcessorIntf.h"
#define VELA_TEST_PREPROCESSOR_CONTRACT
#endif

namespace vela::test {

// Writes the document as lines: "<part count=N>", "row", "  name=value" with values decoded.
class TVelaXMLTranscriptHandler : public TSAXContentHandler {
 public:
  std::string Text;
  void StartElement(std::string_view AName, const TSAXAttributes& AAtts) override {
    FText.clear();
    // A field element carries its encoding or its binary mode.
    const char* encoding = AAtts.Find("velaxmldataencoding");
    FField = encoding != nullptr || AAtts.Find("velaxmldatabinarymode") != nullptr;
    if (FField) {
      FEncodingValue = StrToXMLDataEncoding(encoding != nullptr ? encoding : "");
      FName = AName;
      return;
    }
    Text += std::string(FDepth, ' ') + "<" + std::string(AName);
    for (size_t i = 0; i < AAtts.Count(); ++i)
      Text += " " + std::string(AAtts.Name(i)) + "=" + std::string(AAtts.Value(i));
    Text += ">\n";
    ++FDepth;
  }
  void Characters(std::string_view AText) override { FText += AText; }
  void EndElement(std::string_view) override {
    if (FField) {
      Text += std::string(FDepth, ' ') + FName + "=" + DecodeXMLFieldValue(FText, FEncodingValue) +
              "\n";
      FField = false;
      return;
    }
    --FDepth;
  }

 private:
  size_t FDepth = 0;
  bool FField = false;
  TVelaXMLDataEncoding FEncodingValue = xdeNone;
  std::string FName, FText;
};

// The document in AData (read from its start) as transcript lines.
inline std::string VelaXMLTranscript(TStream& AData) {
  AData.SetPosition(0);
  TVelaXMLTranscriptHandler t;
  TSAXReader(t).Parse(AData, "out.xml");
  return t.Text;
}

#ifdef VELA_TEST_PREPROCESSOR_CONTRACT
// Runs an import conversion with the configuration text and answers the transcript of the
// document, or "failed: " and the error message.
inline std::string PreConvertTranscript(IXMLPreProcessor& AProcessor, const std::string& AConfig,
                                        IXMLPreProcessorHost* AHost = nullptr) {
  auto out = std::make_unique<TMemoryStream>();
  TMemoryStream& data = *out;
  IPtr<IDataStream> stream = NewDataStream(out.release(), true);
  std::string error;
  bool user = false;
  if (!AProcessor.Do_PreConvert(nullptr, stream.get(), AConfig, xmpRAW, xmpRAW, nullptr, AHost,
                                pemImportTransformXML, nullptr, false, nullptr, error, user))
    return "failed: " + error;
  return VelaXMLTranscript(data);
}
#endif  // the pre-processor contract is on the include path

}  // namespace vela::test

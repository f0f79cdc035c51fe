// Feeds arbitrary bytes to the SAX reader in a block size taken from the first byte. What it
// reads is written again through the SAX writer and read back: the events must be the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sax/SAXReader.h"
#include "platform/sax/SAXWriter.h"
#include "rtl/Streams.h"

namespace {

// The events as text (adjacent character data joined), optionally copied into a writer.
class TTrace : public vela::TSAXContentHandler {
 public:
  explicit TTrace(vela::TSAXWriter* Copy = nullptr) : FCopy(Copy) {}
  std::string Log;

  void StartElement(std::string_view Name, const vela::TSAXAttributes& Atts) override {
    Log += "<" + Text() + std::string(Name);
    if (FCopy) FCopy->StartElement(Name);
    for (size_t i = 0; i < Atts.Count(); ++i) {
      Log.append(" ").append(Atts.Name(i)).append("=").append(Atts.Value(i)).append("\x01");
      if (FCopy) FCopy->Attribute(Atts.Name(i), Atts.Value(i));
    }
  }
  void EndElement(std::string_view Name) override {
    Log += Text() + "</" + std::string(Name);
    if (FCopy) FCopy->EndElement();
  }
  void Characters(std::string_view T) override {
    FText += T;
    if (FCopy) FCopy->Characters(T);
  }

 private:
  std::string Text() {
    std::string t = FText.empty() ? std::string() : "[" + FText + "]";
    FText.clear();
    return t;
  }
  vela::TSAXWriter* FCopy;
  std::string FText;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t block = 1 + data[0] % 64;
  vela::TStringStream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  vela::TStringStream out;
  vela::TSAXWriter writer(out, 256);
  TTrace first(&writer);
  vela::TSAXReader reader(first);
  reader.BlockSize = block;
  try {
    writer.StartDocument();
    reader.Parse(in, "fuzz");
    writer.EndDocument();
  } catch (const vela::ESAXParseError&) {
    return 0;
  }
  out.SetPosition(0);
  TTrace second;
  vela::TSAXReader again(second);
  again.Parse(out, "rewritten");  // a parse error here is a finding
  if (second.Log != first.Log) std::abort();
  return 0;
}

// Writes random rows through the VelaXML writer (field names, values, every encoding, CDATA or
// text, values in random pieces) and reads the document back through the SAX layer: every
// field must come back with its name and value. Inputs the writer refuses (names that are not
// XML names, text XML cannot carry) must raise EVelaXMLWriterError and nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "host/velaxml/VelaXMLWriter.h"
#include "platform/sax/SAXReader.h"
#include "rtl/Streams.h"

namespace {

struct TField {
  std::string Name, Value;
  bool operator==(const TField&) const = default;
};

class TInput {
 public:
  TInput(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
  bool Empty() const { return FPos >= FSize; }
  uint8_t Byte() { return Empty() ? 0 : FData[FPos++]; }
  // An element name of up to Max characters: name characters, digits and '-' at the start, and
  // U+0766, a letter of a later Unicode version that the reader does not take in names; the
  // writer must refuse what the reader would not read.
  std::string Name(size_t Max) {
    static const char kAscii[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.:";
    static const char* const kWide[] = {"\xC3\x9F", "\xC3\xA9", "\xE4\xB8\x80", "\xD0\x96",
                                        "\xDD\xA6"};
    std::string s;
    for (size_t n = Byte() % (Max + 1); n > 0 && !Empty(); --n) {
      const uint8_t b = Byte();
      if (b < 0xF0)
        s += kAscii[b % (sizeof kAscii - 1)];
      else
        s += kWide[b % 5];
    }
    return s;
  }
  std::string Bytes(size_t Max) {
    const size_t n = std::min<size_t>(Byte() % (Max + 1), FSize - std::min(FPos, FSize));
    std::string s(reinterpret_cast<const char*>(FData) + FPos, n);
    FPos += n;
    return s;
  }

 private:
  const uint8_t* FData;
  size_t FSize, FPos = 0;
};

class TFieldReader : public vela::TSAXContentHandler {
 public:
  std::vector<TField> Fields;
  void StartElement(std::string_view Name, const vela::TSAXAttributes& Atts) override {
    const char* enc = Atts.Find("velaxmldataencoding");
    FEncoding = enc ? vela::StrToXMLDataEncoding(enc) : vela::xdeNone;
    FInField = enc != nullptr;
    if (FInField) Fields.push_back({std::string(Name), {}});
  }
  void Characters(std::string_view Text) override {
    if (FInField) Fields.back().Value += Text;
  }
  void EndElement(std::string_view) override {
    if (FInField) Fields.back().Value = vela::DecodeXMLFieldValue(Fields.back().Value, FEncoding);
    FInField = false;
  }

 private:
  bool FInField = false;
  vela::TVelaXMLDataEncoding FEncoding = vela::xdeNone;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TInput in(data, size);
  std::vector<TField> written;
  vela::TStringStream out;
  {
    vela::IPtr<vela::TVelaXMLWriter> w(new vela::TVelaXMLWriter(out));
    w->SetIndent(in.Byte() & 1);
    try {
      w->StartDocument("fuzz");
      w->StartElement("part", nullptr, vela::xdeNone, vela::xdeNone, vela::xbhInline, 0);
      while (!in.Empty()) {
        w->StartElement("row", nullptr, vela::xdeNone, vela::xdeNone, vela::xbhInline, 0);
        for (int f = in.Byte() % 4; f > 0; --f) {
          const uint8_t how = in.Byte();
          const auto enc = static_cast<vela::TVelaXMLDataEncoding>(1 + how % 4);
          const std::string name = in.Name(12);
          std::string value = in.Bytes(200);
          w->StartElement(name, nullptr, enc, vela::xdeNone,
                          (how & 0x20) ? vela::xbhFile : vela::xbhInline, 0);
          if (how & 0x10) w->StartCData();
          for (size_t i = 0, step = 1 + (how >> 6) * 17; i < value.size(); i += step)
            w->Characters(vela::Variant::FromBytes(std::string_view(value).substr(i, step)));
          if (how & 0x10) w->EndCData();
          w->EndElement(name);
          written.push_back({name, std::move(value)});
        }
        w->EndElement("row");
      }
      w->EndDocument();
    } catch (const vela::EVelaXMLWriterError&) {
      return 0;  // a refused name or value
    }
  }
  out.SetPosition(0);
  TFieldReader reader;
  vela::TSAXReader(reader).Parse(out, "written");  // a parse error here is a finding
  if (reader.Fields != written) std::abort();
  return 0;
}

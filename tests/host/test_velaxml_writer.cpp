// The VelaXML writer: golden documents, every encoding and binary mode read back through the
// SAX reader, chunking, already encoded values, code pages, calls out of order; and the texts of
// the VelaXML enumerations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestData.h"
#include "host/velaxml/VelaXMLWriter.h"
#include "platform/sax/SAXReader.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

using TWriterPtr = IPtr<TVelaXMLWriter>;

// A document written by Body into memory.
std::string WriteDoc(const std::function<void(TVelaXMLWriter&)>& Body) {
  TStringStream out;
  TWriterPtr w(new TVelaXMLWriter(out));
  Body(*w);
  return out.DataString();
}

// Compares with tests/data/velaxml/NAME; VELA_UPDATE_GOLDEN=1 rewrites the file instead.
void ExpectGolden(const std::string& Name, const std::string& Actual) {
  const std::string path = std::string(VELA_TEST_DATA_DIR) + "/velaxml/" + Name;
  if (std::getenv("VELA_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << Actual;
  ASSERT_TRUE(test::DataFileExists(path));
  std::ifstream in(path, std::ios::binary);
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(Actual, golden.str()) << "differs from " << path;
}

void Field(IVelaXMLWriter& W, const std::string& Name, const Variant& Value,
           TVelaXMLDataEncoding Enc = xdeText, TVelaXMLBinaryHandlingMode Mode = xbhInline,
           uint16_t CodePage = 0, bool CData = false) {
  W.StartElement(Name, nullptr, Enc, xdeNone, Mode, CodePage);
  if (CData) W.StartCData();
  W.Characters(Value);
  if (CData) W.EndCData();
  W.EndElement(Name);
}

// A row or part element with attributes given as name=value pairs.
void Open(IVelaXMLWriter& W, const std::string& Name,
          std::initializer_list<std::pair<const char*, const char*>> Attrs = {}) {
  TXMLDataStore store;
  TXMLDataStoreContainer c;
  for (auto [n, v] : Attrs)
    store.Add(n, v);
  c.Add(store);
  W.StartElement(Name, &c, xdeNone, xdeNone, xbhInline, 0);
}

// A field read back: its element name, attributes as written and decoded value.
struct TReadField {
  std::string Name, Encoding, BinaryMode, CodePage, Value;
  bool operator==(const TReadField&) const = default;
};

// Collects the field elements of a document the way an import recognises them.
class TFieldReader : public TSAXContentHandler {
 public:
  std::vector<TReadField> Fields;
  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    FInField = Atts.Find("velaxmldataencoding") || Atts.Find("velaxmldatabinarymode");
    if (FInField)
      Fields.push_back({std::string(Name),
                        std::string(Atts.Get("velaxmldataencoding")),
                        std::string(Atts.Get("velaxmldatabinarymode")),
                        std::string(Atts.Get("velaxmlcodepage")),
                        {}});
  }
  void Characters(std::string_view Text) override {
    if (FInField) Fields.back().Value += Text;
  }
  void EndElement(std::string_view) override {
    if (FInField)
      Fields.back().Value =
          DecodeXMLFieldValue(Fields.back().Value, StrToXMLDataEncoding(Fields.back().Encoding));
    FInField = false;
  }

 private:
  bool FInField = false;
};

std::vector<TReadField> ReadFields(const std::string& Doc) {
  TStringStream in(Doc);
  TFieldReader r;
  TSAXReader(r).Parse(in, "doc.xml");
  return r.Fields;
}

// Every byte, and a text with what XML escapes and CDATA splits.
const std::string kAllBytes = [] {
  std::string s;
  for (int i = 0; i < 256; ++i)
    s += static_cast<char>(i);
  return s;
}();
const std::string kText = "M\xC3\xBCller & S\xC3\xB6hne <GmbH> \"]]>\" 'x'\r\n\t\xE2\x82\xAC end";

TEST(VelaXMLWriter, TheFormatExampleIsTheGoldenDocument) {
  const std::string doc = WriteDoc([](TVelaXMLWriter& w) {
    w.SetIndent(true);
    w.SetInstallation("{6B0C2F4E-3D1A-4E8B-9F27-5A4C1D3E7B90}");
    w.Publisher().AddStrings({"company=Example Trading Ltd", "contact=it@example.com"});
    w.Receiver().AddStrings({"company=Example Branch North"});
    w.StartDocument("Vela CRM");
    Open(w, "customers", {{"count", "4"}, {"keyfields", "custno"}});
    Open(w, "customer", {{"custno", "1001"}});
    Field(w, "custno", "1001");
    Field(w, "name", "M\xC3\xBCller & S\xC3\xB6hne");
    Field(w, "notes", "Delivery only\nbefore noon", xdeText, xbhInline, 0, true);
    Field(w, "logo", Variant::FromBytes("\x89PNG\r\n\x1A\n"), xdeBase64);
    std::string terms;  // long enough to be worth compressing
    for (int i = 0; i < 20; ++i)
      terms += "net 30 days. ";
    Field(w, "terms", terms, xdeBase64Compressed);
    Field(w, "branchcode", Variant::FromBytes("\x01\xFE"), xdeHex);
    Field(w, "contract", "contracts/1001.pdf", xdeText, xbhFile);
    Open(w, "contacts", {{"count", "1"}});
    Open(w, "contact", {{"id", "1"}});
    Field(w, "name", "Anna Schmidt");
    Field(w, "email", "anna@example.com");
    w.EndElement("contact");
    w.EndElement("contacts");
    w.EndElement("customer");
    Open(w, "customer", {{"velaxml_command", "delete"}, {"custno", "1002"}});
    w.EndElement("customer");
    Open(w, "customer", {{"velaxml_command", "sync"}, {"custno", "1003"}});
    w.EndElement("customer");
    Open(w, "customer",
         {{"velaxml_command", "deleterecords"},
          {"filterfield", "status"},
          {"filtertype", "="},
          {"filtervalue", "closed"}});
    w.EndElement("customer");
    w.EndElement("customers");
    Open(w, "articles", {{"count", "1"}, {"velaxml_command", "syncexisting"}});
    Open(w, "article", {{"artno", "A-7"}});
    Field(w, "title", "Tea, green");
    w.EndElement("article");
    w.EndElement("articles");
    Open(w, "velaxmlpostprocess", {{"command", "WriteINIFileValue"}, {"runtype", "success"}});
    w.Characters("export.ini\nLastImport\nCustomers\n2024-05-01");
    w.EndElement("velaxmlpostprocess");
    w.EndDocument();
  });
  ExpectGolden("example.xml", doc);
}

TEST(VelaXMLWriter, EveryEncodingAndBinaryModeReadsBackValueForValue) {
  std::vector<TReadField> expected;
  const std::string doc = WriteDoc([&](TVelaXMLWriter& w) {
    w.StartDocument("");
    Open(w, "part");
    Open(w, "row");
    for (auto enc : {xdeNone, xdeText, xdeBase64, xdeBase64Compressed, xdeHex}) {
      for (auto mode : {xbhInline, xbhFile}) {
        if (enc == xdeNone && mode == xbhInline) continue;  // not a field element
        for (bool cdata : {false, true}) {
          const std::string& value = IsTextEncoding(enc) ? kText : kAllBytes;
          const std::string name = std::string(XMLDataEncodingToStr(enc)) + "_" +
                                   XMLBinaryHandlingModeToStr(mode) + (cdata ? "_cdata" : "");
          const uint16_t cp = IsTextEncoding(enc) ? 0 : 1252;
          Field(w, name, IsTextEncoding(enc) ? Variant(value) : Variant::FromBytes(value), enc,
                mode, cp, cdata);
          expected.push_back({name, enc == xdeNone ? "" : XMLDataEncodingToStr(enc),
                              mode == xbhFile ? "file" : "", cp ? "1252" : "", value});
        }
      }
    }
    // Plain values asked to be compressed: short ones stand as text, unless XML cannot hold them.
    const std::string longText(300, 'a');
    for (const auto& [name, value, written] :
         {std::tuple<std::string, std::string, std::string>{"empty_compressed", "", "text"},
          {"long_compressed", longText, "base64compressed"},
          {"bell_compressed", "a\x07", "base64compressed"}}) {
      Field(w, name, value, xdeBase64Compressed);
      expected.push_back({name, written, "", "", value});
    }
    w.EndDocument();
  });
  EXPECT_EQ(ReadFields(doc), expected);
  ExpectGolden("encodings.xml", doc);
}

TEST(VelaXMLWriter, AnyChunkingOfTheCharactersGivesTheSameBytes) {
  const std::string value = kText + std::string(kAllBytes.substr(32, 96));
  for (auto enc : {xdeText, xdeBase64, xdeBase64Compressed, xdeHex}) {
    for (bool cdata : {false, true}) {
      auto write = [&](size_t chunk, bool bytes) {
        return WriteDoc([&](TVelaXMLWriter& w) {
          w.StartDocument("");
          w.StartElement("f", nullptr, enc, xdeNone, xbhInline, 0);
          if (cdata) w.StartCData();
          for (size_t i = 0; i < value.size(); i += chunk) {
            const std::string piece = value.substr(i, chunk);
            w.Characters(bytes ? Variant::FromBytes(piece) : Variant(piece));
          }
          if (cdata) w.EndCData();
          w.EndElement("f");
          w.EndDocument();
        });
      };
      const std::string whole = write(value.size(), false);
      for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
        SCOPED_TRACE(std::string(XMLDataEncodingToStr(enc)) + " chunk " + std::to_string(chunk));
        EXPECT_EQ(write(chunk, chunk % 2 == 1), whole);
      }
    }
  }
}

TEST(VelaXMLWriter, AlreadyEncodedValuesAreNotEncodedTwice) {
  const std::string raw = kAllBytes.substr(0, 100);
  auto doc = [&](TVelaXMLDataEncoding Target, TVelaXMLDataEncoding Source,
                 const std::string& Given) {
    return WriteDoc([&](TVelaXMLWriter& w) {
      w.StartDocument("");
      w.StartElement("f", nullptr, Target, Source, xbhInline, 0);
      w.Characters(Variant::FromBytes(Given));
      w.EndElement("f");
      w.EndDocument();
    });
  };
  for (auto target : {xdeText, xdeBase64, xdeBase64Compressed, xdeHex}) {
    for (auto source : {xdeNone, xdeBase64, xdeBase64Compressed, xdeHex}) {
      SCOPED_TRACE(std::string(XMLDataEncodingToStr(target)) + " from " +
                   XMLDataEncodingToStr(source));
      const std::string value = IsTextEncoding(target) ? kText : raw;
      EXPECT_EQ(doc(target, source, EncodeXMLFieldValue(value, source)),
                doc(target, xdeNone, value));
    }
  }
}

TEST(VelaXMLWriter, TextBytesInACodePageBecomeUtf8AndEncodedBytesKeepTheirCodePage) {
  const auto fields = ReadFields(WriteDoc([](TVelaXMLWriter& w) {
    w.StartDocument("");
    Field(w, "t", Variant::FromBytes("M\xFCller \x80"), xdeText, xbhInline, 1252);
    Field(w, "s", "M\xC3\xBCller", xdeText, xbhInline, 1252);  // strings are UTF-8 already
    Field(w, "b", Variant::FromBytes("M\xFCller"), xdeBase64, xbhInline, 1252);
    w.EndDocument();
  }));
  EXPECT_EQ(fields, (std::vector<TReadField>{
                        {"t", "text", "", "", "M\xC3\xBCller \xE2\x82\xAC"},
                        {"s", "text", "", "", "M\xC3\xBCller"},
                        {"b", "base64", "", "1252", "M\xFCller"},
                    }));
}

TEST(VelaXMLWriter, CallsOutOfOrderAndBadValuesRaiseWithTheClassName) {
  struct Case {
    std::function<void(TVelaXMLWriter&)> Calls;
    std::string Message;
  };
  auto started = [](std::function<void(TVelaXMLWriter&)> f) {
    return [f](TVelaXMLWriter& w) {
      w.StartDocument("");
      Open(w, "part");
      f(w);
    };
  };
  const Case cases[] = {
      {[](TVelaXMLWriter& w) { Open(w, "part"); },
       "StartElement('part'): the document has not begun"},
      {started([](TVelaXMLWriter& w) { w.EndElement("row"); }),
       "EndElement('row'): the open element is 'part'"},
      {started([](TVelaXMLWriter& w) {
         w.EndElement("part");
         w.EndElement("velaxmldata");
         Open(w, "second");
       }),
       "StartElement('second'): the root element has ended"},
      {started([](TVelaXMLWriter& w) { Open(w, "1st"); }),
       "Element '1st': '1st' is not a valid XML name"},
      {started([](TVelaXMLWriter& w) { Field(w, "f", "bell\x07"); }),
       "Element 'f': Character U+0007 cannot be written in XML"},
      {started([](TVelaXMLWriter& w) {
         w.StartElement("f", nullptr, xdeBase64, xdeHex, xbhInline, 0);
         w.Characters("0G");
         w.EndElement("f");
       }),
       "Element 'f': "},
      {started([](TVelaXMLWriter& w) { w.EndCData(); }), "EndCData: no CDATA section is open"},
      {started([](TVelaXMLWriter& w) {
         w.StartCData();
         w.EndElement("part");
       }),
       "EndElement('part'): a CDATA section is still open"},
      {started([](TVelaXMLWriter& w) {
         w.EndDocument();
         w.Characters("late");
       }),
       "Characters: the document has ended"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Message);
    TStringStream out;
    TWriterPtr w(new TVelaXMLWriter(out));
    try {
      c.Calls(*w);
      ADD_FAILURE() << "no exception";
    } catch (const EVelaXMLWriterError& e) {
      EXPECT_EQ(ExceptionText(e).substr(0, 21 + c.Message.size()),
                "EVelaXMLWriterError: " + c.Message);
    }
  }
}

// A descendant that records what reaches its callbacks through the interface.
class TRecordingWriter : public TCustomVelaXMLWriter {
 public:
  TRecordingWriter() : TCustomVelaXMLWriter("rec", true) {}
  std::string Log;
  TVelaXMLWriterParams PartParams;
  void InternalStartElement(const std::string& AName, const TXMLDataStoreContainer* AAttrs,
                            TVelaXMLDataEncoding AEncoding, TVelaXMLDataEncoding ASource,
                            TVelaXMLBinaryHandlingMode AMode, uint16_t ACodePage) override {
    TCustomVelaXMLWriter::InternalStartElement(AName, AAttrs, AEncoding, ASource, AMode, ACodePage);
    Log += "<" + AName + std::to_string(AEncoding) + std::to_string(ASource) +
           std::to_string(AMode) + std::to_string(ACodePage);
  }
  void InternalEndElement(const std::string& AName) override { Log += "</" + AName; }
  void InternalCharacters(const Variant& AValue) override { Log += AValue.AsString(); }
  TVelaXMLWriterParams& ActiveParams(const std::string& APartName) override {
    return APartName == "detail" ? PartParams : TCustomVelaXMLWriter::ActiveParams(APartName);
  }
};

TEST(CustomVelaXMLWriter, TheInterfaceReachesTheCallbacksAndTheParameters) {
  IPtr<TRecordingWriter> rec(new TRecordingWriter);
  IPtr<IVelaXMLWriter> w = QueryIntf<IVelaXMLWriter>(rec.get());
  w->StartElement("f", nullptr, xdeHex, xdeBase64, xbhFile, 1252);
  w->Characters("v");
  w->EndElement("f");
  EXPECT_EQ(rec->Log, "<f3111252v</f");
  EXPECT_TRUE(w->Get_Params().OnlyThisPlace);
  EXPECT_EQ(&w->Get_Params("detail"), &rec->PartParams);
  EXPECT_EQ(&w->Get_Params("other"), &w->Get_Params());
  EXPECT_EQ(w->Get_CurrentRequestSize(), 0);

  // The child part export list, when not empty, names the required child parts.
  bool required = true;
  rec->DoOnExportChildPartRequired(nullptr, "contacts", required);
  EXPECT_TRUE(required);
  rec->Get_Params().ChildPartExportList.Add("Contacts");
  rec->DoOnExportChildPartRequired(nullptr, "orders", required);
  EXPECT_FALSE(required);
  rec->DoOnExportChildPartRequired(nullptr, "contacts", required);
  EXPECT_TRUE(required);
}

TEST(VelaXMLWriter, RequestSizeCountsWhatIsWrittenSoFar) {
  TStringStream out;
  TWriterPtr w(new TVelaXMLWriter(out));
  w->StartDocument("");
  const int64_t start = w->Get_CurrentRequestSize();
  EXPECT_GT(start, 0);
  for (int i = 0; i < 5000; ++i)
    Field(*w, "f", "0123456789");
  EXPECT_GT(w->Get_CurrentRequestSize(), start + 5000 * 10);
  EXPECT_GT(out.Size(), 0);  // full buffers already reached the stream
  w->EndDocument();
  EXPECT_EQ(w->Get_CurrentRequestSize(), out.Size());
}

TEST(XMLDataEncoding, TextsAndNumbersRoundTripAndUnknownTextsGiveTheDefault) {
  for (int i = 0; i <= xdeText; ++i) {
    const auto e = static_cast<TVelaXMLDataEncoding>(i);
    EXPECT_EQ(StrToXMLDataEncoding(XMLDataEncodingToStr(e), xdeHex), e);
    EXPECT_EQ(StrToXMLDataEncoding(" " + std::to_string(i) + "\t", xdeHex), e);
  }
  for (int i = 0; i <= lfmCustomField; ++i) {
    const auto m = static_cast<TLookupFieldValueMode>(i);
    EXPECT_EQ(StrToLookupFieldValueModeDef(LookupFieldValueModeToStr(m), lfmBoth), m);
    EXPECT_EQ(StrToLookupFieldValueModeDef(std::to_string(i), lfmBoth), m);
  }
  for (auto m : {xbhInline, xbhFile})
    EXPECT_EQ(StrToXMLBinaryHandlingMode(XMLBinaryHandlingModeToStr(m), xbhFile), m);
  struct Case {
    const char* text;
    TVelaXMLDataEncoding encoding;
    TVelaXMLBinaryHandlingMode mode;
    TLookupFieldValueMode lookup;
  };
  const Case cases[] = {
      {"  Base64 ", xdeBase64, xbhInline, lfmDisplayValue},
      {"FILE", xdeNone, xbhFile, lfmDisplayValue},
      {"CustomField", xdeNone, xbhInline, lfmCustomField},
      {" 1\t", xdeBase64, xbhFile, lfmKeyValue},
      {"", xdeNone, xbhInline, lfmDisplayValue},
      {"5", xdeNone, xbhInline, lfmDisplayValue},
      {"1x", xdeNone, xbhInline, lfmDisplayValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.text + "'");
    EXPECT_EQ(StrToXMLDataEncoding(c.text), c.encoding);
    EXPECT_EQ(StrToXMLBinaryHandlingMode(c.text), c.mode);
    EXPECT_EQ(StrToLookupFieldValueModeDef(c.text, lfmDisplayValue), c.lookup);
  }
}

TEST(XMLDataEncoding, MimeLinesEndInLfAndMalformedTextRaises) {
  const std::string b64 = EncodeXMLFieldValue(kAllBytes, xdeBase64);
  EXPECT_TRUE(b64.find('\n') == 76 && b64.find('\r') == std::string::npos);
  EXPECT_THROW(DecodeXMLFieldValue("0G", xdeHex), EConvertError);
  EXPECT_THROW(DecodeXMLFieldValue("AAAA", xdeBase64Compressed), EDecompressionError);
  EXPECT_THROW(EncodeXMLFieldValue("x", static_cast<TVelaXMLDataEncoding>(9)), EConvertError);
}

}  // namespace
}  // namespace vela

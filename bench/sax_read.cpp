// The SAX layer reading a generated document of many rows next to expat driven directly with
// the same handlers' work (count elements and attributes, sum the text bytes), both from memory
// in 64 KiB blocks.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstring>
#include <string>

#include "platform/sax/SAXReader.h"
#include "platform/sax/SAXWriter.h"
#include "rtl/Streams.h"

namespace {

// A part of `rows` rows of 10 text fields, each field an element with two attributes.
const std::string& Document() {
  static const std::string doc = [] {
    vela::TStringStream out;
    vela::TSAXWriter w(out);
    w.StartDocument();
    w.StartElement("velaxmldata");
    w.StartElement("customers");
    for (int r = 0; r < 100000; ++r) {
      w.StartElement("customer");
      for (int f = 0; f < 10; ++f) {
        w.StartElement("field" + std::to_string(f));
        w.Attribute("velaxmldataencoding", "text");
        w.Attribute("velaxmlcodepage", "65001");
        w.Characters("Value " + std::to_string(r) + " of field " + std::to_string(f) +
                     (f % 3 ? " M\xC3\xBCller & S\xC3\xB6hne" : ""));
        w.EndElement();
      }
      w.EndElement();
    }
    w.EndDocument();
    return out.DataString();
  }();
  return doc;
}

struct TCounts {
  int64_t Elements = 0, Attributes = 0, TextBytes = 0;
};

class TCounter : public vela::TSAXContentHandler {
 public:
  TCounts C;
  void StartElement(std::string_view, const vela::TSAXAttributes& Atts) override {
    ++C.Elements;
    C.Attributes += static_cast<int64_t>(Atts.Count());
  }
  void Characters(std::string_view Text) override {
    C.TextBytes += static_cast<int64_t>(Text.size());
  }
};

void BM_SaxLayer(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    vela::TStringStream s(doc);
    TCounter c;
    vela::TSAXReader r(c);
    r.Parse(s, "bench.xml");
    benchmark::DoNotOptimize(c.C);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_SaxLayer)->Unit(benchmark::kMillisecond);

void BM_ExpatDirect(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    vela::TStringStream s(doc);
    TCounts c;
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &c);
    XML_SetElementHandler(
        p,
        [](void* ud, const XML_Char*, const XML_Char** atts) {
          auto* c = static_cast<TCounts*>(ud);
          ++c->Elements;
          for (const XML_Char** a = atts; *a; a += 2)
            ++c->Attributes;
        },
        [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(
        p, [](void* ud, const XML_Char*, int len) { static_cast<TCounts*>(ud)->TextBytes += len; });
    for (;;) {
      void* buf = XML_GetBuffer(p, 64 * 1024);
      const size_t n = s.Read(buf, 64 * 1024);
      if (XML_ParseBuffer(p, static_cast<int>(n), n == 0) != XML_STATUS_OK)
        state.SkipWithError("parse error");
      if (n == 0) break;
    }
    XML_ParserFree(p);
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ExpatDirect)->Unit(benchmark::kMillisecond);

}  // namespace

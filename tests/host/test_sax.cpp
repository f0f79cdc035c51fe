// The SAX layer: events at every block size, parse errors with their position, refused entity
// bombs, stopping early; the writer's escaping and CDATA splitting, and random texts written
// and read back.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sax/SAXReader.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

// Writes the events as one line of text; adjacent character data is joined, since the reader
// may split it anywhere.
class TTrace : public TSAXContentHandler {
 public:
  std::string Log;
  std::string Text;
  int StopAfterElements = -1;

  void StartDocument() override { Log += "{"; }
  void EndDocument() override {
    FlushText();
    Log += "}";
  }
  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    FlushText();
    Log += "<" + std::string(Name);
    for (size_t i = 0; i < Atts.Count(); ++i)
      Log += " " + std::string(Atts.Name(i)) + "=" + std::string(Atts.Value(i));
    Log += ">";
    if (--StopAfterElements == 0) StopParsing();
  }
  void EndElement(std::string_view Name) override {
    FlushText();
    Log += "</" + std::string(Name) + ">";
  }
  void Characters(std::string_view T) override { Text += T; }

 private:
  void FlushText() {
    if (!Text.empty()) Log += "[" + Text + "]";
    Text.clear();
  }
};

bool ParseText(TSAXContentHandler& Handler, std::string Doc, size_t Block = 64 * 1024,
               std::string_view Name = {}) {
  TStringStream s(std::move(Doc));
  TSAXReader r(Handler);
  r.BlockSize = Block;
  return r.Parse(s, Name);
}

TEST(SAXReader, DeliversTheSameEventsAtEveryBlockSize) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><root a=\"1\" b='x &amp; &#x41;'>"
      "t&lt;1<e/><ns:f x:y=\"\xC3\xA4\"><![CDATA[<&]]]>\xE2\x82\xAC</ns:f>\r\nend<?pi x?></root>";
  const std::string expected =
      "{<root a=1 b=x & A>[t<1]<e></e><ns:f x:y=\xC3\xA4>[<&]\xE2\x82\xAC]</ns:f>[\nend]</root>}";
  for (size_t block = 1; block <= doc.size() + 1; ++block) {
    TTrace t;
    EXPECT_TRUE(ParseText(t, doc, block));
    ASSERT_EQ(t.Log, expected) << "block size " << block;
  }
}

TEST(SAXReader, MalformedDocumentsReportLineAndColumn) {
  struct Case {
    const char* Doc;
    int Line, Column;
    const char* Reason;
  };
  const Case cases[] = {
      {"<a>\n  <b>\n</a>", 3, 3, "mismatched tag"},
      {"<a>\n<b></b>", 2, 8, "no element found"},
      {"<a>&nope;</a>", 1, 4, "undefined entity"},
      {"<a/>\n<b/>", 2, 1, "junk after document element"},
      {"", 1, 1, "no element found"},
      {"<a x='1' x='2'/>", 1, 10, "duplicate attribute"},
      {"<a>\xC3</a>", 1, 4, "not well-formed (invalid token)"},
  };
  for (const Case& c : cases) {
    for (size_t block : {size_t(1), size_t(7), size_t(65536)}) {
      TTrace t;
      try {
        ParseText(t, c.Doc, block, "in.xml");
        ADD_FAILURE() << "no error for " << c.Doc;
      } catch (const ESAXParseError& e) {
        EXPECT_EQ(e.Line(), c.Line) << c.Doc;
        EXPECT_EQ(e.Column(), c.Column) << c.Doc;
        EXPECT_EQ(e.Reason(), c.Reason) << c.Doc;
        EXPECT_EQ(e.Message(), "in.xml:" + std::to_string(c.Line) + ":" + std::to_string(c.Column) +
                                   ": " + c.Reason);
      }
    }
  }
  TTrace t;
  try {
    ParseText(t, "<a>");
    ADD_FAILURE();
  } catch (const ESAXParseError& e) {
    EXPECT_EQ(e.Message(), "1:4: no element found");
  }
}

TEST(SAXReader, RefusesEntityDeclarationsBeforeExpandingAnything) {
  // The classic bomb: each entity refers to the previous one ten times.
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE l [\n <!ENTITY l0 \"lol\">\n";
  for (int i = 1; i < 10; ++i) {
    bomb += " <!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k)
      bomb += "&l" + std::to_string(i - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<l>&l9;</l>";
  const auto start = std::chrono::steady_clock::now();
  TTrace t;
  try {
    ParseText(t, bomb, 4096, "bomb.xml");
    ADD_FAILURE() << "bomb accepted";
  } catch (const ESAXParseError& e) {
    EXPECT_EQ(e.Line(), 3);
    EXPECT_EQ(e.Reason(), "entity declarations are not allowed (entity 'l0')");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(t.Log, "{");
}

TEST(SAXReader, AHandlerStopsCleanlyByFlagOrException) {
  const std::string doc = "<r><a/><b/><c/></r>";
  for (size_t block : {size_t(1), size_t(100)}) {
    TTrace t;
    t.StopAfterElements = 2;
    EXPECT_FALSE(ParseText(t, doc, block));
    EXPECT_EQ(t.Log, "{<r><a>") << block;
  }
  struct TThrower : TSAXContentHandler {
    int Ends = 0;
    void EndElement(std::string_view) override {
      if (++Ends == 2) throw std::runtime_error("handler failed");
    }
  } thrower;
  EXPECT_THROW(ParseText(thrower, doc, 3), std::runtime_error);
  EXPECT_EQ(thrower.Ends, 2);
  // The reader is reusable after a stop.
  TTrace t;
  TStringStream s(doc);
  TSAXReader r(t);
  t.StopAfterElements = 1;
  EXPECT_FALSE(r.Parse(s));
  s.SetPosition(0);
  t.Log.clear();
  EXPECT_TRUE(r.Parse(s));
  EXPECT_EQ(t.Log, "{<r><a></a><b></b><c></c></r>}");
}

TEST(SAXReader, MissingFileRaisesOpenError) {
  TTrace t;
  TSAXReader r(t);
  EXPECT_THROW(r.ParseFile("no/such/file.xml"), EFOpenError);
}

}  // namespace
}  // namespace vela

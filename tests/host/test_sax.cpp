// The SAX layer: events at every block size, parse errors with their position, refused entity
// bombs, stopping early; the writer's escaping and CDATA splitting, and random texts written
// and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sax/SAXReader.h"
#include "platform/sax/SAXWriter.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

// Writes the events as one line of text; adjacent character data is joined, since the reader
// may split it anywhere.
class TTrace : public TSAXContentHandler {
 public:
  std::string Log;
  std::string Text;
  int StopAfterElements = -1;   // stops by flag at this start element
  int ThrowAfterElements = -1;  // throws at this one

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
    if (--ThrowAfterElements == 0) throw std::runtime_error("handler failed");
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

bool ParseText(TSAXContentHandler& Handler, std::string Doc, size_t Block, bool AReadAhead) {
  TStringStream s(std::move(Doc));
  TSAXReader r(Handler);
  r.BlockSize = Block;
  r.ReadAhead = AReadAhead;
  return r.Parse(s);
}

// Every reader test runs both ways: parsing on the caller's thread and reading ahead on a
// worker thread must be indistinguishable to the handler.
class SAXReader : public ::testing::TestWithParam<bool> {
 protected:
  bool ParseText(TSAXContentHandler& Handler, std::string Doc, size_t Block = 64 * 1024,
                 std::string_view Name = {}) {
    TStringStream s(std::move(Doc));
    TSAXReader r(Handler);
    r.BlockSize = Block;
    r.ReadAhead = GetParam();
    return r.Parse(s, Name);
  }

  // The message of the parse error, or "no error".
  std::string ErrorOf(std::string Doc, size_t Block = 64 * 1024, std::string_view Name = {}) {
    try {
      TTrace t;
      ParseText(t, std::move(Doc), Block, Name);
    } catch (const ESAXParseError& e) {
      return e.Message();
    }
    return "no error";
  }
};
INSTANTIATE_TEST_SUITE_P(Ways, SAXReader, ::testing::Bool(),
                         [](const auto& AInfo) { return AInfo.param ? "ReadAhead" : "Direct"; });

TEST_P(SAXReader, DeliversTheSameEventsAtEveryBlockSize) {
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

TEST_P(SAXReader, MalformedDocumentsReportLineAndColumn) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a>\n  <b>\n</a>", "in.xml:3:3: mismatched tag"},
      {"<a>\n<b></b>", "in.xml:2:8: no element found"},
      {"<a>&nope;</a>", "in.xml:1:4: undefined entity"},
      {"<a/>\n<b/>", "in.xml:2:1: junk after document element"},
      {"", "in.xml:1:1: no element found"},
      {"<a x='1' x='2'/>", "in.xml:1:10: duplicate attribute"},
      {"<a>\xC3</a>", "in.xml:1:4: not well-formed (invalid token)"},
  };
  for (const auto& [doc, message] : cases)
    for (size_t block : {size_t(1), size_t(7), size_t(65536)})
      EXPECT_EQ(ErrorOf(doc, block, "in.xml"), message) << doc << " in blocks of " << block;
  EXPECT_EQ(ErrorOf("<a>"), "1:4: no element found");
}

TEST_P(SAXReader, RefusesEntityDeclarationsBeforeExpandingAnything) {
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
  EXPECT_EQ(ErrorOf(bomb, 4096, "bomb.xml"),
            "bomb.xml:3:14: entity declarations are not allowed (entity 'l0')");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_P(SAXReader, AHandlerStopsCleanlyByFlagOrException) {
  const std::string doc = "<r><a/><b/><c/></r>";
  for (size_t block : {size_t(1), size_t(100)}) {
    TTrace t;
    t.StopAfterElements = 2;
    EXPECT_FALSE(ParseText(t, doc, block));
    EXPECT_EQ(t.Log, "{<r><a>") << block;
    TTrace thrower;
    thrower.ThrowAfterElements = 3;
    EXPECT_THROW(ParseText(thrower, doc, block), std::runtime_error);
    EXPECT_EQ(thrower.Log, "{<r><a></a><b>") << block;
  }
  // The reader is reusable after a stop; a missing file raises the stream's open error.
  TTrace t;
  TStringStream s(doc);
  TSAXReader r(t);
  r.ReadAhead = GetParam();
  t.StopAfterElements = 1;
  EXPECT_FALSE(r.Parse(s));
  s.SetPosition(0);
  t.Log.clear();
  EXPECT_TRUE(r.Parse(s));
  EXPECT_EQ(t.Log, "{<r><a></a><b></b><c></c></r>}");
  EXPECT_THROW(r.ParseFile("no/such/file.xml"), EFOpenError);
}

// A document far larger than what the worker may read ahead, so that it waits on the handler.
std::string ManyRows(int ARows) {
  std::string doc = "<r>";
  for (int i = 0; i < ARows; ++i)
    doc += "<row n=\"" + std::to_string(i) + "\"><v>value " + std::to_string(i) + "</v></row>";
  return doc + "</r>";
}

// Counts rows and stops or throws at one of them.
class TRowCounter : public TSAXContentHandler {
 public:
  int Rows = 0;
  int StopAt = -1;
  int ThrowAt = -1;
  std::string LastValue;
  void StartElement(std::string_view Name, const TSAXAttributes& Atts) override {
    if (Name != "row") return;
    if (std::string_view(Atts.Get("n")) != std::to_string(Rows)) throw std::logic_error("order");
    ++Rows;
    if (Rows == StopAt) StopParsing();
    if (Rows == ThrowAt) throw std::runtime_error("handler failed");
  }
  void Characters(std::string_view T) override { LastValue = T; }
};

// Gives the bytes of a text, then fails to read.
class TFailingStream : public TStringStream {
 public:
  TFailingStream(std::string AText, size_t AGood) : TStringStream(std::move(AText)), FGood(AGood) {}
  size_t Read(void* ABuffer, size_t ACount) override {
    if (Position() >= static_cast<int64_t>(FGood)) throw EReadError("disk gone");
    return TStringStream::Read(ABuffer, std::min(ACount, FGood - static_cast<size_t>(Position())));
  }

 private:
  size_t FGood;
};

TEST(SAXReaderAhead, StopsFailsAndReportsInOrderOnLargeDocuments) {
  const int rows = 100000;  // some 4 MB: many times what the worker may hold
  const std::string doc = ManyRows(rows);
  auto parse = [&](TRowCounter& AHandler, TStream& ASource) {
    TSAXReader r(AHandler);
    r.ReadAhead = true;
    return r.Parse(ASource, "big.xml");
  };
  {
    TRowCounter all;
    TStringStream s(doc);
    EXPECT_TRUE(parse(all, s));
    EXPECT_EQ(all.Rows, rows);
    EXPECT_EQ(all.LastValue, "value " + std::to_string(rows - 1));
  }
  {
    TRowCounter stopper;
    stopper.StopAt = 10;
    TStringStream s(doc);
    EXPECT_FALSE(parse(stopper, s));
    EXPECT_EQ(stopper.Rows, 10);
  }
  {
    TRowCounter thrower;
    thrower.ThrowAt = 50000;
    TStringStream s(doc);
    EXPECT_THROW(parse(thrower, s), std::runtime_error);
    EXPECT_EQ(thrower.Rows, 50000);
  }
  {
    // Every event before the failed read arrives, then the read error itself.
    TRowCounter reader;
    const size_t good = doc.size() / 2;
    int complete = 0;  // rows whose start tag lies wholly in the bytes that could be read
    for (size_t at = doc.find("<row "); at != std::string::npos; at = doc.find("<row ", at + 1))
      if (doc.find('>', at) < good) ++complete;
    TFailingStream s(doc, good);
    EXPECT_THROW(parse(reader, s), EReadError);
    EXPECT_EQ(reader.Rows, complete);
  }
  {
    // A malformed end: all rows, then the error with its position.
    TRowCounter broken;
    TStringStream s(doc.substr(0, doc.size() - 4));
    try {
      parse(broken, s);
      ADD_FAILURE() << "no error";
    } catch (const ESAXParseError& e) {
      EXPECT_EQ(e.Reason(), "no element found");
      EXPECT_EQ(e.SourceName(), "big.xml");
    }
    EXPECT_EQ(broken.Rows, rows);
  }
}

// --- Writer -----------------------------------------------------------------------------------

// The document a writer produces from one call sequence.
template <class F>
std::string Written(F&& Calls, std::string_view Encoding = "UTF-8", size_t Buffer = 64 * 1024) {
  TStringStream out;
  {
    TSAXWriter w(out, Buffer);
    w.StartDocument(Encoding);
    Calls(w);
    w.EndDocument();
  }
  return out.DataString();
}

TEST(SAXWriter, EscapesTextAndAttributesAndSplitsCData) {
  struct Case {
    const char* Value;
    const char* Text;  // as written inside <e>...</e>
    const char* Attr;  // as written in a="..."
    const char* CData;
  };
  const Case cases[] = {
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d\"e'f", "a&amp;b&lt;c&gt;d&quot;e'f",
       "<![CDATA[a&b<c>d\"e'f]]>"},
      {"l1\tl2\nl3\r\n", "l1\tl2\nl3&#13;\n", "l1&#9;l2&#10;l3&#13;&#10;",
       "<![CDATA[l1\tl2\nl3]]>&#13;<![CDATA[\n]]>"},
      {"x]]>y]]]>", "x]]&gt;y]]]&gt;", "x]]&gt;y]]]&gt;",
       "<![CDATA[x]]]]><![CDATA[>y]]]]]><![CDATA[>]]>"},
      {"\x7F\xC2\x85\xC3\xA4\xE2\x82\xAC", "&#127;&#133;\xC3\xA4\xE2\x82\xAC",
       "&#127;&#133;\xC3\xA4\xE2\x82\xAC", "<![CDATA[\x7F\xC2\x85\xC3\xA4\xE2\x82\xAC]]>"},
      {"", "", "", "<![CDATA[]]>"},
  };
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  for (const Case& c : cases) {
    EXPECT_EQ(Written([&](TSAXWriter& w) {
                w.StartElement("e");
                w.Attribute("a", c.Value);
                w.Characters(c.Value);
                w.CData(c.Value);
              }),
              decl + "<e a=\"" + c.Attr + "\">" + c.Text + c.CData + "</e>")
        << c.Value;
  }
}

TEST(SAXWriter, WritesWhatTheDeclaredEncodingCannotHoldAsReferences) {
  auto doc = [](TSAXWriter& w) {
    w.StartElement("r");
    w.Attribute("a", "\xC3\xA4\xE2\x82\xAC");
    w.Characters("\xC3\xA4\xE2\x82\xAC");
    w.CData("\xC3\xA4\xE2\x82\xAC");
  };
  EXPECT_EQ(Written(doc, "iso-8859-1"),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE4&#8364;\">\xE4&#8364;"
            "<![CDATA[\xE4]]>&#8364;<![CDATA[]]></r>");
  EXPECT_EQ(Written(doc, "US-ASCII"),
            "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<r a=\"&#228;&#8364;\">&#228;&#8364;"
            "<![CDATA[]]>&#228;<![CDATA[]]>&#8364;<![CDATA[]]></r>");
  TStringStream out;
  TSAXWriter w(out);
  EXPECT_THROW(w.StartDocument("windows-1252"), ESAXWriteError);
}

TEST(SAXWriter, NestsClosesAndRefusesWhatXmlCannotHold) {
  EXPECT_EQ(Written([](TSAXWriter& w) {
              w.StartElement("a");
              w.StartElement("b");
              w.EndElement();
              w.StartElement("c");
              w.Characters("");
              w.EndElement();
              w.StartElement("d");
            }),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a><b/><c></c><d/></a>");
  // Each sequence opens <a> (unless Name says otherwise) and then makes one refused call.
  const std::pair<char, const char*> refused[] = {
      {'R', "before the root"},
      {'E', ""},
      {'N', "1a"},
      {'N', "a b"},
      {'N', "x\xDD\xA6"},  // U+0766: a letter the reader does not take in names
      {'N', ""},
      {'L', "late"},
      {'T', "bell\x07"},
      {'A', "\xEF\xBF\xBF"},
      {'C', "\x01"},
      {'T', "\xC3("},
      {'T', "\xED\xA0\x80"},  // a surrogate
  };
  for (const auto& [call, arg] : refused) {
    TStringStream out;
    TSAXWriter w(out);
    w.StartDocument();
    auto run = [&, call = call, arg = arg] {
      if (call == 'R') w.Characters(arg);
      if (call == 'E') w.EndElement();
      if (call == 'N') w.StartElement(arg);
      w.StartElement("a");
      if (call == 'L') w.Characters("x"), w.Attribute(arg, "1");
      if (call == 'T') w.Characters(arg);
      if (call == 'A') w.Attribute("v", arg);
      if (call == 'C') w.CData(arg);
    };
    EXPECT_THROW(run(), ESAXWriteError) << call << " " << arg;
  }
}

// Random texts over the whole BMP (without what XML cannot hold), with "]]>" and CR, LF, TAB
// mixed in, written as text, attribute and CDATA in small buffers and read back in small blocks.
TEST(SAXWriter, RandomTextsComeBackUnchanged) {
  std::mt19937 rng(15);
  auto randomText = [&] {
    std::string s;
    const int len = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int k = 0; k < len; ++k) {
      switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
        case 0:
          s += "]]>";
          break;
        case 1:
          s += "\r\n\t&<>\"'"[std::uniform_int_distribution<int>(0, 7)(rng)];
          break;
        default: {
          char32_t cp;
          do {
            cp = std::uniform_int_distribution<char32_t>(1, 0xFFFF)(rng);
          } while ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') ||
                   (cp >= 0xD800 && cp <= 0xDFFF) || cp >= 0xFFFE);
          AppendUtf8(s, cp);
        }
      }
    }
    return s;
  };
  struct TCollect : TSAXContentHandler {
    std::vector<std::string> Values;
    void StartElement(std::string_view, const TSAXAttributes& Atts) override {
      if (const char* v = Atts.Find("v")) Values.emplace_back(v);
      Values.emplace_back();
    }
    void Characters(std::string_view T) override { Values.back() += T; }
  };
  for (const char* encoding : {"UTF-8", "ISO-8859-1", "US-ASCII"}) {
    std::vector<std::string> expected;
    const std::string doc = Written(
        [&](TSAXWriter& w) {
          w.StartElement("root");
          for (int i = 0; i < 200; ++i) {
            const std::string t = randomText();
            w.StartElement("e");
            w.Attribute("v", t);
            if (i % 2)
              w.Characters(t);
            else
              w.CData(t);
            w.EndElement();
            expected.insert(expected.end(), {t, t});
          }
        },
        encoding, 7);
    TCollect c;
    EXPECT_TRUE(ParseText(c, doc, 13, encoding[0] == 'U'));
    ASSERT_EQ(c.Values.size(), expected.size() + 1) << encoding;
    for (size_t i = 0; i < expected.size(); ++i)
      ASSERT_EQ(c.Values[i + 1], expected[i]) << encoding << " value " << i;
  }
}

}  // namespace
}  // namespace vela

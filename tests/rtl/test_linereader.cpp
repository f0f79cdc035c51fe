// The line reader in every block size: line ends, physical line numbers, encodings, byte mode,
// LF-only line ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/LineReader.h"
#include "rtl/Streams.h"

namespace vela {
namespace {

using Lines = std::vector<std::string>;

struct ReadResult {
  Lines Got;
  bool LastEnded = false;
  TTextLineEncoding Encoding = TTextLineEncoding::Unknown;
};

// Reads all lines; every line number must count the lines read so far.
ReadResult ReadAll(const std::string& data, size_t block,
                   TLineReaderMode mode = TLineReaderMode::Text, int codePage = 1252,
                   TLineEnds ends = TLineEnds::Any) {
  TStringStream s(data);
  TLineReader reader(s, codePage, block, mode, ends);
  ReadResult r;
  std::string line;
  while (reader.ReadLine(line)) {
    r.Got.push_back(line);
    EXPECT_EQ(reader.LineNumber(), static_cast<int64_t>(r.Got.size())) << "block " << block;
    r.LastEnded = reader.LineEnded();
  }
  EXPECT_TRUE(reader.Eof());
  EXPECT_TRUE(line.empty());
  r.Encoding = reader.Encoding();
  return r;
}

std::string Utf16(std::u16string_view text, bool le) {
  std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out.push_back(le ? lo : hi);
    out.push_back(le ? hi : lo);
  }
  return out;
}

TEST(LineReader, LineEndsAndLineNumbersInEveryBlockSize) {
  const struct {
    std::string data;
    Lines lines;
    bool lastEnded;
  } cases[] = {
      {"", {}, false},
      {"\n", {""}, true},
      {"a\r", {"a"}, true},
      {"a\r\r", {"a", ""}, true},
      {"\r\n\r\n", {"", ""}, true},
      {"a\n\rb", {"a", "", "b"}, false},
      {"ab\r\ncd\r\nef", {"ab", "cd", "ef"}, false},  // every split of the CR LF pairs
      {"a\r\n\r\rb\n\nc\r\n", {"a", "", "", "b", "", "c"}, true},
  };
  for (const auto& c : cases) {
    for (size_t block = 1; block <= c.data.size() + 1; ++block) {
      const ReadResult r = ReadAll(c.data, block);
      EXPECT_EQ(r.Got, c.lines) << "block " << block;
      if (!c.lines.empty()) {
        EXPECT_EQ(r.LastEnded, c.lastEnded) << "block " << block;
      }
    }
  }
}

TEST(LineReader, EncodingsInEveryBlockSize) {
  const Lines expected = {"a", "\xC3\xA4\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  const struct {
    std::string data;
    Lines lines;
    TTextLineEncoding encoding;
  } cases[] = {
      {Utf16(u"a\r\n\u00E4\u20AC\n\U0001F600", true), expected, TTextLineEncoding::Utf16LE},
      {Utf16(u"a\r\u00E4\u20AC\r\n\U0001F600\r\n", false), expected, TTextLineEncoding::Utf16BE},
      {"\xEF\xBB\xBF"
       "a\n\xC3\xA4\xE2\x82\xAC\n\xF0\x9F\x98\x80",
       expected, TTextLineEncoding::Utf8Bom},
      // A lone odd byte at the end of UTF-16 is dropped; a lone surrogate becomes U+FFFD.
      {Utf16(u"ab", true) + "x", {"ab"}, TTextLineEncoding::Utf16LE},
      {Utf16(u"\xD800x", true), {"\xEF\xBF\xBDx"}, TTextLineEncoding::Utf16LE},
  };
  for (const auto& c : cases) {
    for (size_t block = 1; block <= c.data.size() + 1; ++block) {
      const ReadResult r = ReadAll(c.data, block);
      EXPECT_EQ(r.Got, c.lines) << "block " << block;
      EXPECT_EQ(r.Encoding, c.encoding) << "block " << block;
    }
  }
  // 8-bit text in the code page. A short leading chunk ending in \xE9 may still be the start of
  // a UTF-8 character; the lines come out the same either way.
  for (size_t block = 1; block <= 10; ++block) {
    const ReadResult r = ReadAll("caf\xE9\n\x80", block);
    EXPECT_EQ(r.Got, (Lines{"caf\xC3\xA9", "\xE2\x82\xAC"})) << "block " << block;
    if (block >= 5) {
      EXPECT_EQ(r.Encoding, TTextLineEncoding::CodePage);
    }
  }
}

TEST(LineReader, TheLeadingChunkDecidesAndLaterLinesFallBackOnTheirOwn) {
  // Valid UTF-8 at the start; a later line that is not valid UTF-8 falls back on its own.
  ReadResult r = ReadAll("abcd\n\xC3\xA4\n\xE9t\xE9\n", 4);
  EXPECT_EQ(r.Got, (Lines{"abcd", "\xC3\xA4", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(r.Encoding, TTextLineEncoding::Utf8);
  // The leading chunk may end inside a character.
  r = ReadAll("abc\xC3\xA4\n", 4);
  EXPECT_EQ(r.Got, (Lines{"abc\xC3\xA4"}));
  EXPECT_EQ(r.Encoding, TTextLineEncoding::Utf8);
  // Once the start decided for the code page, UTF-8 further on is read as 8-bit text too.
  r = ReadAll("\xE9\n\xC3\xA4", 64);
  EXPECT_EQ(r.Got, (Lines{"\xC3\xA9", "\xC3\x83\xC2\xA4"}));
  EXPECT_EQ(r.Encoding, TTextLineEncoding::CodePage);
}

// Single-byte code pages convert through a table; every byte must come out as the whole-line
// conversion gives it, in those and in the code pages converted line by line.
TEST(LineReader, CodePageLinesMatchTheWholeLineConversion) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) {
    high += static_cast<char>(b);
    if (b % 16 == 0) high += 'x';
  }
  for (int cp : {1252, 1250, 1251, 1255, 437, 850, 28591, 28595, 28605, 20866, 932}) {
    const ReadResult r = ReadAll("\xFF\n" + high + "\n" + high, 64, TLineReaderMode::Text, cp);
    ASSERT_EQ(r.Got.size(), 3u) << cp;
    EXPECT_EQ(r.Got[1], CodePageToUtf8(high, cp)) << cp;
    EXPECT_EQ(r.Got[2], r.Got[1]) << cp;
  }
  EXPECT_THROW(ReadAll("\xE9\n", 64, TLineReaderMode::Text, 99999), EEncodingError);
}

TEST(LineReader, ByteModeKeepsTheBytesButDecodesUtf16AndLfOnlyKeepsLoneCRs) {
  const struct {
    std::string data;
    TLineEnds ends;
    Lines lines;
  } cases[] = {
      {"caf\xE9\r\n\xC3\xA4\n\xFF", TLineEnds::Any, {"caf\xE9", "\xC3\xA4", "\xFF"}},
      {"\xEF\xBB\xBF\xE9\r", TLineEnds::Any, {"\xE9"}},
      {Utf16(u"\u00E4\r\nb", false), TLineEnds::Any, {"\xC3\xA4", "b"}},
      {"a\rb\r\nc\r\r\n\rd\r", TLineEnds::LfOnly, {"a\rb", "c\r", "\rd\r"}},
      {Utf16(u"a\rb\r\n", true), TLineEnds::LfOnly, {"a\rb"}},
  };
  for (const auto& c : cases) {
    for (size_t block = 1; block <= c.data.size() + 1; ++block) {
      EXPECT_EQ(ReadAll(c.data, block, TLineReaderMode::Bytes, 1252, c.ends).Got, c.lines)
          << "block " << block;
    }
  }
}

}  // namespace
}  // namespace vela

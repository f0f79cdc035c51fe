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
using Enc = TTextLineEncoding;
constexpr auto kBytes = TLineReaderMode::Bytes;
constexpr auto kText = TLineReaderMode::Text;

struct Read {
  Lines lines;
  bool lastEnded = false;
  Enc encoding = Enc::Unknown;
  bool operator==(const Read&) const = default;
};

// Reads all lines; every line number must count the lines read so far.
Read ReadAll(const std::string& data, size_t block, TLineReaderMode mode = kText,
             TLineEnds ends = TLineEnds::Any, int codePage = 1252) {
  TStringStream s(data);
  TLineReader reader(s, codePage, block, mode, ends);
  Read r;
  std::string line;
  while (reader.ReadLine(line)) {
    r.lines.push_back(line);
    EXPECT_EQ(reader.LineNumber(), static_cast<int64_t>(r.lines.size())) << "block " << block;
    r.lastEnded = reader.LineEnded();
  }
  EXPECT_TRUE(reader.Eof());
  EXPECT_TRUE(line.empty());
  r.encoding = reader.Encoding();
  return r;
}

std::string Utf16(const std::string& utf8, bool le) {
  return (le ? "\xFF\xFE" : "\xFE\xFF") + Utf8ToCodePage(utf8, le ? CP_UTF16LE : CP_UTF16BE);
}

void PrintTo(const Read& r, std::ostream* os) {
  *os << ::testing::PrintToString(r.lines) << " ended=" << r.lastEnded
      << " encoding=" << static_cast<int>(r.encoding);
}

TEST(LineReader, EveryBlockSize) {
  const std::string kMixed = "a\n\xC3\xA4\xE2\x82\xAC\r\n\xF0\x9F\x98\x80\r";
  const Lines mixed = {"a", "\xC3\xA4\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  const struct {
    std::string data;
    Read expected;
    TLineReaderMode mode = kText;
    TLineEnds ends = TLineEnds::Any;
  } cases[] = {
      {"", {{}, false, Enc::Utf8}},
      {"\n", {{""}, true, Enc::Utf8}},
      {"a\r\r", {{"a", ""}, true, Enc::Utf8}},
      {"\r\n\r\n", {{"", ""}, true, Enc::Utf8}},
      {"a\n\rb", {{"a", "", "b"}, false, Enc::Utf8}},
      {"ab\r\ncd\r\nef", {{"ab", "cd", "ef"}, false, Enc::Utf8}},  // every split of CR LF
      {"a\r\n\r\rb\n\nc\r\n", {{"a", "", "", "b", "", "c"}, true, Enc::Utf8}},
      {kMixed, {mixed, true, Enc::Utf8}},
      {"\xEF\xBB\xBF" + kMixed, {mixed, true, Enc::Utf8Bom}},
      {Utf16(kMixed, true), {mixed, true, Enc::Utf16LE}},
      {Utf16(kMixed, false), {mixed, true, Enc::Utf16BE}},
      // A lone odd byte at the end of UTF-16 is dropped, a lone surrogate becomes U+FFFD.
      {Utf16("ab", true) + "x", {{"ab"}, false, Enc::Utf16LE}},
      {std::string("\xFE\xFF\xD8\x00\x00x", 6), {{"\xEF\xBF\xBDx"}, false, Enc::Utf16BE}},
      // Byte mode: the bytes as they are, but UTF-16 decoded and the mark dropped.
      {"\xE9"
       "caf\r\n\xC3\xA4\n\xFF",
       {{"\xE9"
         "caf",
         "\xC3\xA4", "\xFF"},
        false,
        Enc::CodePage},
       kBytes},
      {"\xEF\xBB\xBF\xE9\r", {{"\xE9"}, true, Enc::Utf8Bom}, kBytes},
      {Utf16(kMixed, false), {mixed, true, Enc::Utf16BE}, kBytes},
      // LF-only line ends keep a lone CR.
      {"a\rb\r\nc\r\r\n\rd\r",
       {{"a\rb", "c\r", "\rd\r"}, false, Enc::Utf8},
       kText,
       TLineEnds::LfOnly},
      {Utf16("a\rb\r\n", true), {{"a\rb"}, true, Enc::Utf16LE}, kBytes, TLineEnds::LfOnly},
  };
  for (const auto& c : cases) {
    for (size_t block = 1; block <= c.data.size() + 1; ++block) {
      ASSERT_EQ(ReadAll(c.data, block, c.mode, c.ends), c.expected)
          << "case " << &c - cases << ", block " << block;
    }
  }
}

TEST(LineReader, TheLeadingChunkDecidesAndLaterLinesFallBackOnTheirOwn) {
  // 8-bit text in the code page. A short leading chunk ending in \xE9 may still be the start of
  // a UTF-8 character; the lines come out the same either way.
  for (size_t block = 1; block <= 10; ++block) {
    const Read r = ReadAll("caf\xE9\n\x80", block);
    EXPECT_EQ(r.lines, (Lines{"caf\xC3\xA9", "\xE2\x82\xAC"})) << "block " << block;
    EXPECT_EQ(r.encoding, block >= 5 ? Enc::CodePage : Enc::Utf8) << "block " << block;
  }
  // Valid UTF-8 at the start (also when the leading chunk ends inside a character); a later
  // line that is not valid UTF-8 falls back on its own.
  EXPECT_EQ(ReadAll("abc\xC3\xA4\n\xC3\xA4\n\xE9t\xE9\n", 4),
            (Read{{"abc\xC3\xA4", "\xC3\xA4", "\xC3\xA9t\xC3\xA9"}, true, Enc::Utf8}));
  // Once the start decided for the code page, UTF-8 further on is read as 8-bit text too.
  EXPECT_EQ(ReadAll("\xE9\n\xC3\xA4", 64),
            (Read{{"\xC3\xA9", "\xC3\x83\xC2\xA4"}, false, Enc::CodePage}));
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
    const Read r = ReadAll("\xFF\n" + high + "\n" + high, 64, kText, TLineEnds::Any, cp);
    ASSERT_EQ(r.lines.size(), 3u) << cp;
    EXPECT_EQ(r.lines[1], CodePageToUtf8(high, cp)) << cp;
    EXPECT_EQ(r.lines[2], r.lines[1]) << cp;
  }
  EXPECT_THROW(ReadAll("\xE9\n", 64, kText, TLineEnds::Any, 99999), EEncodingError);
}

}  // namespace
}  // namespace vela

#include <gtest/gtest.h>

#include "rtl/CodePages.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

const std::string kEuro = "€";
const std::string kUmlauts = "äöüß";

TEST(CodePages, RoundTrips) {
  struct Case {
    int codePage;
    std::string utf8;
    std::string bytes;
  };
  const Case cases[] = {
      {1252, "1" + kEuro, "1\x80"},
      {1252, kUmlauts, "\xE4\xF6\xFC\xDF"},
      {850, kUmlauts, "\x84\x94\x81\xE1"},
      {28591, "été", "\xE9t\xE9"},
      {28605, kEuro, "\xA4"},
      {1250, "Łódź", "\xA3\xF3\x64\x9F"},
      {CP_UTF16LE, "A" + kEuro, std::string("A\0\xAC\x20", 4)},
      {CP_UTF16BE, "A" + kEuro, std::string("\0A\x20\xAC", 4)},
      {CP_UTF8, kUmlauts, kUmlauts},
      {1252, "plain ascii", "plain ascii"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(Utf8ToCodePage(c.utf8, c.codePage), c.bytes);
    EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.utf8);
  }
}

TEST(CodePages, UnmappableAndInvalidBecomeQuestionMarks) {
  // The euro sign does not exist in ISO-8859-1; Japanese not in 1252.
  EXPECT_EQ(Utf8ToCodePage("a" + kEuro + "b", 28591), "a?b");
  EXPECT_EQ(Utf8ToCodePage("日", 1252), "?");
  // Invalid UTF-8 input to an encoder: one '?' per bad byte, the rest converted.
  EXPECT_EQ(Utf8ToCodePage("x\xFFä", 1252), "x?\xE4");
  // Bytes without a character in the code page (0x81 is undefined in 1252).
  EXPECT_EQ(CodePageToUtf8("a\x81z", 1252), "a?z");
  // Broken UTF-8 "converted" from UTF-8 is cleaned the same way.
  EXPECT_EQ(CodePageToUtf8("a\xC3", CP_UTF8), "a?");
  // An odd trailing byte of UTF-16.
  EXPECT_EQ(CodePageToUtf8(std::string("A\0B", 3), CP_UTF16LE), "A?");
}

TEST(CodePages, UnknownCodePageRaisesNamingIt) {
  EXPECT_EQ(RaisedText([] { CodePageToUtf8("x", 4711); }).find("EEncodingError: "), 0u);
  EXPECT_NE(RaisedText([] { Utf8ToCodePage("x", 4711); }).find("4711"), std::string::npos);
  EXPECT_NE(RaisedText([] { CharsetToUtf8("x", "no-such-charset"); }).find("no-such-charset"),
            std::string::npos);
  EXPECT_EQ(CodePageName(4711), "");
}

TEST(CodePages, NamesAndNumbers) {
  EXPECT_EQ(CodePageName(28591), "ISO-8859-1");
  // Names are matched ignoring case, with the common aliases.
  const std::pair<const char*, int> names[] = {
      {"iso-8859-15", 28605}, {"windows-1252", 1252}, {"utf8", CP_UTF8}, {"cp850", 850},
      {"IBM437", 437},        {"us-ascii", 20127},    {"bogus", 0},      {"", 0},
  };
  for (const auto& [name, cp] : names)
    EXPECT_EQ(CodePageFromName(name), cp) << name;
  EXPECT_EQ(CharsetToUtf8("\xE4", "latin1"), "ä");
  EXPECT_EQ(Utf8ToCharset(kEuro, "windows-1252"), "\x80");
}

TEST(CodePages, Utf8Validation) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ascii text longer than eight bytes", true},
      {kUmlauts + kEuro + "😀", true},
      {"\xC3", false},              // truncated
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
      {"abcdefgh\xFF", false},      // after the fast path
      {"\x80", false},              // lone continuation
  };
  for (const auto& [s, valid] : cases)
    EXPECT_EQ(IsValidUtf8(s), valid) << s;
}

TEST(CodePages, DecodeText) {
  EXPECT_EQ(DetectBOM("\xEF\xBB\xBFx"), TTextBOM::Utf8);
  EXPECT_EQ(DetectBOM("\xFF\xFEx"), TTextBOM::Utf16LE);
  EXPECT_EQ(DetectBOM("\xFE\xFFx"), TTextBOM::Utf16BE);
  EXPECT_EQ(DetectBOM("x"), TTextBOM::None);
  EXPECT_EQ(BOMLength(TTextBOM::Utf8), 3u);
  EXPECT_EQ(BOMLength(TTextBOM::Utf16BE), 2u);

  EXPECT_EQ(DecodeText("\xEF\xBB\xBF" + kUmlauts), kUmlauts);
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\xE4\0x\0", 6)), "äx");
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0\xE4\0x", 6)), "äx");
  EXPECT_EQ(DecodeText(kUmlauts), kUmlauts);       // valid UTF-8 as it is
  EXPECT_EQ(DecodeText("\xE4\x80"), "ä" + kEuro);  // 1252 by default
  EXPECT_EQ(DecodeText("\x84", 850), "ä");         // given fallback

  const int saved = SystemAnsiCodePage();
  SetSystemAnsiCodePage(28605);
  const std::string latin9 = DecodeText("\xA4");
  SetSystemAnsiCodePage(saved);
  EXPECT_EQ(latin9, kEuro);
}

TEST(CodePages, LargeInputGrowsTheBuffer) {
  // Each 1252 byte 0x80 becomes three UTF-8 bytes: the output outgrows the first guess.
  const std::string bytes(100000, '\x80');
  const std::string utf8 = CodePageToUtf8(bytes, 1252);
  ASSERT_EQ(utf8.size(), 300000u);
  EXPECT_EQ(utf8.substr(299997), kEuro);
  EXPECT_EQ(Utf8ToCodePage(utf8, 1252), bytes);
}

}  // namespace
}  // namespace vela

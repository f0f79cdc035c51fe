#include <gtest/gtest.h>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"

namespace vela {
namespace {

const std::string kEuro = "\xE2\x82\xAC";
const std::string kUmlauts = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";  // äöüß

TEST(CodePages, RoundTrips) {
  struct Case {
    int codePage;
    std::string utf8;
    std::string bytes;
  };
  const Case cases[] = {
      {1252, kEuro + "1",
       "\x80"
       "1"},
      {1252, kUmlauts, "\xE4\xF6\xFC\xDF"},
      {850, kUmlauts, "\x84\x94\x81\xE1"},
      {28591, "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
      {28605, kEuro, "\xA4"},
      {1250,
       "\xC5\x81"
       "\xC3\xB3"
       "d\xC5\xBA",
       "\xA3\xF3"
       "d\x9F"},  // Łódź
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
  EXPECT_EQ(Utf8ToCodePage("\xE6\x97\xA5", 1252), "?");
  // Invalid UTF-8 input to an encoder: one '?' per bad byte, the rest converted.
  EXPECT_EQ(Utf8ToCodePage("x\xFF\xC3\xA4", 1252), "x?\xE4");
  // Bytes without a character in the code page (0x81 is undefined in 1252).
  EXPECT_EQ(CodePageToUtf8("a\x81"
                           "b",
                           1252),
            "a?b");
  // Broken UTF-8 "converted" from UTF-8 is cleaned the same way.
  EXPECT_EQ(CodePageToUtf8("a\xC3", CP_UTF8), "a?");
  // An odd trailing byte of UTF-16.
  EXPECT_EQ(CodePageToUtf8(std::string("A\0B", 3), CP_UTF16LE), "A?");
}

TEST(CodePages, UnknownCodePageRaisesNamingIt) {
  try {
    CodePageToUtf8("x", 4711);
    ADD_FAILURE() << "no exception";
  } catch (const EEncodingError& e) {
    EXPECT_NE(e.Message().find("4711"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(Utf8ToCodePage("x", 4711), EEncodingError);
  try {
    CharsetToUtf8("x", "no-such-charset");
    ADD_FAILURE() << "no exception";
  } catch (const EEncodingError& e) {
    EXPECT_NE(e.Message().find("no-such-charset"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(CodePageName(4711), "");
}

TEST(CodePages, NamesAndNumbers) {
  EXPECT_EQ(CodePageName(1252), "CP1252");
  EXPECT_EQ(CodePageName(28591), "ISO-8859-1");
  EXPECT_EQ(CodePageName(437), "CP437");
  const std::pair<const char*, int> names[] = {
      {"ISO-8859-1", 28591},  {"iso-8859-15", 28605},
      {"windows-1252", 1252}, {"UTF-8", CP_UTF8},
      {"utf8", CP_UTF8},      {"cp850", 850},
      {"IBM437", 437},        {"us-ascii", 20127},
      {"bogus", 0},           {"", 0},
  };
  for (const auto& [name, cp] : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CodePageFromName(name), cp);
  }
  EXPECT_EQ(CharsetToUtf8("\xE4", "ISO-8859-1"), "\xC3\xA4");
  EXPECT_EQ(Utf8ToCharset(kEuro, "windows-1252"), "\x80");
  EXPECT_EQ(CharsetToUtf8("\xE4", "latin1"), "\xC3\xA4");
}

TEST(CodePages, Utf8Validation) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ascii text longer than eight bytes", true},
      {kUmlauts + kEuro + "\xF0\x9F\x98\x80", true},
      {"\xC3", false},              // truncated
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
      {"abcdefgh\xFF", false},      // after the fast path
      {"\x80", false},              // lone continuation
  };
  for (const auto& [s, valid] : cases) {
    SCOPED_TRACE(s);
    EXPECT_EQ(IsValidUtf8(s), valid);
  }
}

TEST(CodePages, DecodeText) {
  EXPECT_EQ(DetectBOM("\xEF\xBB\xBFx"), TTextBOM::Utf8);
  EXPECT_EQ(DetectBOM("\xFF\xFEx"), TTextBOM::Utf16LE);
  EXPECT_EQ(DetectBOM("\xFE\xFFx"), TTextBOM::Utf16BE);
  EXPECT_EQ(DetectBOM("x"), TTextBOM::None);
  EXPECT_EQ(BOMLength(TTextBOM::Utf8), 3u);
  EXPECT_EQ(BOMLength(TTextBOM::Utf16BE), 2u);

  EXPECT_EQ(DecodeText("\xEF\xBB\xBF" + kUmlauts), kUmlauts);
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\xE4\0x\0", 6)), "\xC3\xA4x");
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0\xE4\0x", 6)), "\xC3\xA4x");
  EXPECT_EQ(DecodeText(kUmlauts), kUmlauts);              // valid UTF-8 as it is
  EXPECT_EQ(DecodeText("\xE4\x80"), "\xC3\xA4" + kEuro);  // 1252 by default
  EXPECT_EQ(DecodeText("\x84", 850), "\xC3\xA4");         // given fallback

  const int saved = SystemAnsiCodePage();
  SetSystemAnsiCodePage(28605);
  EXPECT_EQ(SystemAnsiCodePage(), 28605);
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

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/RtlTestSupport.h"
#include "rtl/SysUtils.h"

namespace vela {
namespace {

const TFormatSettings kUS = FormatSettingsFor("en");
const TFormatSettings kDE = FormatSettingsFor("de");

TEST(SysUtilsCompare, AsciiFoldingOnly) {
  auto sign = [](int c) { return (c > 0) - (c < 0); };
  EXPECT_EQ((std::vector<int>{sign(CompareText("abc", "ABC")), sign(CompareText("abc", "abd")),
                              sign(CompareText("abcd", "ABC")), sign(CompareText("", "a")),
                              sign(CompareStr("ABC", "abc"))}),
            (std::vector<int>{0, -1, 1, -1, -1}));
  // Non-ASCII letters are compared as bytes: no folding of umlauts.
  EXPECT_EQ((std::vector<bool>{SameText("Vorname", "VORNAME"), SameText("ärger", "ÄRGER"),
                               SameText("ärger", "äRGER"), StartsText("IDS_", "ids_error"),
                               EndsText(".VXC", "import.vxc"), EndsText("longer.vxc", "a.vxc"),
                               ContainsText("Hello World", "WORLD")}),
            (std::vector<bool>{true, false, true, true, true, false, true}));
  EXPECT_EQ((std::vector<size_t>{PosText("LO", "hello hello"), PosText("LO", "hello hello", 4),
                                 PosText("x", "hello")}),
            (std::vector<size_t>{3, 9, std::string_view::npos}));
}

TEST(SysUtilsTrim, RemovesControlCharsAndBlanksOnly) {
  EXPECT_EQ(Trim(std::string_view("\0\t\r\n x y \x1F\x20", 10)) + "|" + TrimLeft(" \t a ") + "|" +
                TrimRight(" a \r\n") + "|" + Trim("   "),
            "x y|a | a|");
  // A no-break space (U+00A0) is above 32 and stays.
  EXPECT_EQ(Trim("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");
}

TEST(SysUtilsCase, AsciiAndUnicode) {
  struct Case {
    const char* in;
    const char* upper;
    const char* lower;
    const char* first;
  };
  const Case cases[] = {{"ärger", "ÄRGER", "ärger", "Ärger"},
                        {"ÉCOLE", "ÉCOLE", "école", "École"},
                        {"abc XYZ", "ABC XYZ", "abc xyz", "Abc xyz"},
                        {"", "", "", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(AnsiUpperCase(c.in), c.upper);
    EXPECT_EQ(AnsiLowerCase(c.in), c.lower);
    EXPECT_EQ(AnsiFirstUpper(c.in), c.first);
  }
  // "ß" never becomes "SS": it stays or becomes the capital sharp s U+1E9E.
  const std::string strasse = AnsiUpperCase("straße");
  EXPECT_TRUE(strasse == "STRAßE" || strasse == "STRAẞE") << strasse;
  // ASCII-only variants leave non-ASCII letters alone.
  EXPECT_EQ(UpperCase("äx") + LowerCase("ÄX"), "äXÄx");
  // Invalid UTF-8 bytes pass through.
  EXPECT_EQ(AnsiUpperCase("a\xFFz"), "A\xFFZ");
}

TEST(SysUtilsReplace, Flags) {
  struct Case {
    const char* s;
    const char* from;
    const char* to;
    unsigned flags;
    const char* expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", 0, "a+b-c"},
      {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
      {"Abc abc ABC", "abc", "x", rfReplaceAll, "Abc x ABC"},
      {"Abc abc ABC", "abc", "x", rfReplaceAll | rfIgnoreCase, "x x x"},
      {"Abc abc ABC", "abc", "x", rfIgnoreCase, "x abc ABC"},
      {"Äpfel äpfel", "äpfel", "Birne", rfReplaceAll | rfIgnoreCase, "Birne Birne"},
      {"aaa", "aa", "b", rfReplaceAll, "ba"},
      {"abc", "", "x", rfReplaceAll, "abc"},
      {"abc", "abc", "", rfReplaceAll, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(StringReplace(c.s, c.from, c.to, c.flags), c.expected);
  }
}

TEST(SysUtilsExtractStrings, RuntimeSemantics) {
  struct Case {
    const char* separators;
    const char* whiteSpace;
    const char* content;
    std::vector<std::string> expected;
  };
  const Case cases[] = {{",", " ", "a, b,c", {"a", "b", "c"}},
                        {",", " ", "a,,b,", {"a", "b"}},            // empty items are dropped
                        {";", "", "x;y\r\nz", {"x", "y", "z"}},     // line breaks always separate
                        {",", " ", "\"a,b\",c", {"\"a,b\"", "c"}},  // quotes group and stay
                        {",", "", "a'b,c'd,e", {"a'b,c'd", "e"}},
                        {",", "", "it's,x", {"it's,x"}},  // an unmatched quote runs to the end
                        {" ", "", "one two  three", {"one", "two", "three"}},
                        {",", " ", "", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    std::vector<std::string> items{"keep"};
    const int n = ExtractStrings(c.separators, c.whiteSpace, c.content, items);
    EXPECT_EQ(n, static_cast<int>(c.expected.size()));
    std::vector<std::string> expected{"keep"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(items, expected);
  }
}

TEST(SysUtilsUtf8, LengthAndCopy) {
  const std::string s = "aä€😀z";
  EXPECT_EQ(Utf8Length(s), 5u);
  EXPECT_EQ(Utf8Copy(s, 1, 2) + "|" + Utf8Copy(s, 3, 100) + "|" + Utf8Copy(s, 10, 1), "ä€|😀z|");
}

TEST(SysUtilsUtf8, NextCodePointKeepsBytesThatStartNoSequence) {
  struct {
    const char* text;
    std::vector<char32_t> codePoints;
  } const cases[] = {
      {"aé€😀", {U'a', 0xE9, 0x20AC, 0x1F600}},
      {"\xE2\x82", {0xE2, 0x82}},         // cut short: each byte stands for itself
      {"\xC3x", {0xC3, U'x'}},            // no continuation byte
      {"\x80\xFF", {0x80, 0xFF}},         // a continuation byte and a byte that starts nothing
      {"\xE9t\xE9", {0xE9, U't', 0xE9}},  // Latin-1 text
      // beyond U+10FFFF, overlong, surrogate: no code points, so bytes
      {"\xF5\x80\x80\x80", {0xF5, 0x80, 0x80, 0x80}},
      {"\xC0\xAF", {0xC0, 0xAF}},
      {"\xED\xA0\x80", {0xED, 0xA0, 0x80}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string_view s(c.text);
    std::vector<char32_t> got;
    for (size_t i = 0; i < s.size();)
      got.push_back(NextUtf8CodePoint(s, i));
    EXPECT_EQ(got, c.codePoints);
  }
}

TEST(SysUtilsIntegers, ParseAndFormat) {
  struct Case {
    const char* s;
    int64_t value;
  };
  const Case good[] = {{"42", 42},
                       {" -17 ", -17},
                       {"+5", 5},
                       {"$FF", 255},
                       {"0x1f", 31},
                       {"2147483647", 2147483647},
                       {"-2147483648", INT32_MIN},
                       {"$FFFFFFFF", -1}};
  for (const Case& c : good) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(StrToInt(c.s), c.value);
  }
  const char* bad[] = {"", "abc", "12a", "1.5", "2147483648", "-2147483649", "0x", "1 2"};
  for (const char* s : bad) {
    EXPECT_EQ(RaisedText([&] { StrToInt(s); }),
              "EConvertError: '" + std::string(s) + "' is not a valid integer value");
    EXPECT_EQ(StrToIntDef(s, -99), -99) << s;
  }
  EXPECT_EQ(std::pair(StrToInt64("9223372036854775807"), StrToInt64("-9223372036854775808")),
            std::pair(INT64_MAX, INT64_MIN));
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToStr(-12345) + " " + UIntToStr(UINT64_MAX) + " " + IntToHex(255, 4) + " " +
                IntToHex(0xABCDEF, 2),
            "-12345 18446744073709551615 00FF ABCDEF");
}

TEST(SysUtilsFloats, StrToFloatUsesTheSettingsSeparator) {
  struct Case {
    const char* s;
    const TFormatSettings* fs;
    double value;
  };
  const Case good[] = {{"1.5", &kUS, 1.5},  {"1,5", &kDE, 1.5},      {" -0.25 ", &kUS, -0.25},
                       {"1E3", &kUS, 1000}, {"2,5e-2", &kDE, 0.025}, {".5", &kUS, 0.5},
                       {"7", &kDE, 7}};
  for (const Case& c : good) {
    SCOPED_TRACE(c.s);
    EXPECT_DOUBLE_EQ(StrToFloat(c.s, *c.fs), c.value);
  }
  const Case bad[] = {{"1,5", &kUS, 0},     {"1.5", &kDE, 0}, {"1.000,5", &kDE, 0},
                      {"1,000.5", &kUS, 0}, {"abc", &kUS, 0}, {"", &kUS, 0},
                      {"1e", &kUS, 0},      {"-", &kUS, 0}};
  for (const Case& c : bad) {
    EXPECT_EQ(RaisedText([&] { StrToFloat(c.s, *c.fs); }),
              "EConvertError: '" + std::string(c.s) + "' is not a valid floating point value");
    EXPECT_EQ(StrToFloatDef(c.s, 9.5, *c.fs), 9.5) << c.s;
  }
}

TEST(SysUtilsFloats, FloatToStrLikeTheRuntime) {
  struct Case {
    double v;
    const char* expected;
  };
  const Case cases[] = {{1e20, "1E20"},
                        {1.5e-7, "1.5E-7"},
                        {-2.5, "-2.5"},
                        {0, "0"},
                        {1.0 / 3, "0.333333333333333"},
                        {123456789012345.0, "123456789012345"},
                        {1e15, "1E15"},
                        {0.0001, "0.0001"},
                        {0.00001, "1E-5"},
                        {2.0 / 3, "0.666666666666667"},
                        {1234567.125, "1234567.125"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(FloatToStr(c.v, kUS), c.expected);
  }
  EXPECT_EQ(FloatToStr(1.25, kDE) + " " + FloatToStr(std::nan(""), kUS) + " " +
                FloatToStr(-HUGE_VAL, kUS),
            "1,25 NAN -INF");
}

TEST(SysUtilsFloats, FloatToStrFFormats) {
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 18, 2, kDE), "1.234.567,89");
  EXPECT_EQ(FloatToStrF(-1234.5, ffNumber, 18, 1, kUS), "-1,234.5");
  EXPECT_EQ(FloatToStrF(0.125, ffFixed, 18, 2, kUS), "0.13");  // half away from zero
  EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 18, 2, kUS), "0.00");
  EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 3, kUS), "1.235E+003");
  EXPECT_EQ(FloatToStrF(-12.5, ffCurrency, 18, 2, kDE), "-12,50 \xE2\x82\xAC");
  EXPECT_EQ(FloatToStrF(12.5, ffCurrency, 18, 2, kUS), "$12.50");
  EXPECT_EQ(FloatToStrF(-12.5, ffCurrency, 18, 2, kUS), "($12.50)");
}

TEST(SysUtilsSettings, GermanConventionsByLanguageName) {
  for (const char* de : {"de", "de-DE", "de_AT", "deu", "German"})
    EXPECT_EQ(FormatSettingsFor(de).DecimalSeparator, ',') << de;
  for (const char* other : {"en", "dex", "dk", ""})
    EXPECT_EQ(FormatSettingsFor(other).DecimalSeparator, '.') << other;
}

TEST(SysUtilsBooleansAndQuotes, RuntimeForms) {
  EXPECT_EQ(BoolToStr(true) + " " + BoolToStr(false) + " " + BoolToStr(true, true), "-1 0 True");
  EXPECT_EQ(
      (std::vector<bool>{StrToBool("TRUE"), StrToBool("false"), StrToBool("-1"), StrToBool("0")}),
      (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(RaisedText([] { StrToBool("yes"); }),
            "EConvertError: 'yes' is not a valid boolean value");
  EXPECT_TRUE(StrToBoolDef("maybe", true));
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(DequotedStr("\"a\"\"b\"") + "|" + DequotedStr("plain") + "|" + DequotedStr("\"open") +
                "|" + DequotedStr("'x'", '\''),
            "a\"b|plain|\"open|x");
}

}  // namespace
}  // namespace vela

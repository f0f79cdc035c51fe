#include <gtest/gtest.h>

#include <functional>

#include "rtl/RtlTestSupport.h"
#include "rtl/Format.h"

namespace vela {
namespace {

const TFormatSettings kUS = FormatSettingsFor("en");
const TFormatSettings kDE = FormatSettingsFor("de");

struct FormatCase {
  const char* name;
  std::function<std::string()> run;
  const char* expected;
};

TEST(Format, Specifiers) {
  const FormatCase cases[] = {
      {"plain", [] { return Format("no args"); }, "no args"},
      {"percent", [] { return Format("100%%"); }, "100%"},
      {"d", [] { return Format(kUS, "%d/%d", 3, -42); }, "3/-42"},
      {"d width", [] { return Format(kUS, "[%5d][%-5d]", 42, 42); }, "[   42][42   ]"},
      {"d precision", [] { return Format(kUS, "%.4d|%.4d", 42, -42); }, "0042|-0042"},
      {"d int64", [] { return Format(kUS, "%d", int64_t{-9000000000}); }, "-9000000000"},
      {"u negative int", [] { return Format(kUS, "%u", -1); }, "4294967295"},
      {"x", [] { return Format(kUS, "%x %.4x %X", 255, 10, -1); }, "FF 000A FFFFFFFF"},
      {"s", [] { return Format(kUS, "%s-%s-%s", "a", std::string("b"), 'c'); }, "a-b-c"},
      {"s width", [] { return Format(kUS, "[%6s][%-6s]", "ab", "äö"); }, "[    ab][äö    ]"},
      {"s precision", [] { return Format(kUS, "%.2s|%.1s", "abc", "äx"); }, "ab|ä"},
      {"star", [] { return Format(kUS, "[%*d][%-*.*f]", 4, 7, 6, 1, 2.25); }, "[   7][2.3   ]"},
      {"f", [] { return Format(kUS, "%f %.1f %.0f", 1.5, -0.25, 2.5); }, "1.50 -0.3 3"},
      {"f german", [] { return Format(kDE, "%.2f", 1234.5); }, "1234,50"},
      {"n", [] { return Format(kUS, "%n", 1234567.891); }, "1,234,567.89"},
      {"n german", [] { return Format(kDE, "%.0n", 1234567.0); }, "1.234.567"},
      {"g", [] { return Format(kUS, "%g %g", 0.1, 100.0); }, "0.1 100"},
      {"g german", [] { return Format(kDE, "%g", 2.5); }, "2,5"},
      {"e", [] { return Format(kUS, "%e", 1234.5); }, "1.23450000000000E+003"},
      {"e precision", [] { return Format(kUS, "%.3e", -0.000123456); }, "-1.23E-004"},
      {"m", [] { return Format(kDE, "%m", 1234.5); }, "1.234,50 €"},
      {"m width", [] { return Format(kDE, "[%8m]", 1.0); }, "[  1,00 €]"},
      {"upper case types", [] { return Format(kUS, "%D %S", 1, "x"); }, "1 x"},
      {"unsigned arg", [] { return Format(kUS, "%d", uint64_t{18446744073709551615u}); },
       "18446744073709551615"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.run(), c.expected);
  }
}

TEST(Format, IndexSpecifiersContinueAfterTheIndexedArgument) {
  EXPECT_EQ(Format("%2:s %0:s %s", "a", "b", "c"), "c a b");
  EXPECT_EQ(Format("%1:s %s %0:s", "a", "b", "c"), "b c a");
  EXPECT_EQ(Format("%0:s%0:s%0:s", "x"), "xxx");
  EXPECT_EQ(Format("%1:-4s|", "a", "b"), "b   |");
  // A translated message template with reordered placeholders.
  EXPECT_EQ(Format("Wert '%2:s' des Importfeldes '%0:s' ist ungültig (Meldung: %3:s)", "Name",
                   "unused", "abc", "zu lang"),
            "Wert 'abc' des Importfeldes 'Name' ist ungültig (Meldung: zu lang)");
}

TEST(Format, InitializerListAndSettingsOverloads) {
  EXPECT_EQ(Format("%s=%d", {"n", 5}), "n=5");
  EXPECT_EQ(Format("%.1f", {1.25}, kDE), "1,3");
  const TVarRec args[] = {TVarRec("x"), TVarRec(2)};
  EXPECT_EQ(FormatArgs("%s%d", args, 2, kUS), "x2");
}

TEST(Format, SurplusArgumentsAreIgnored) {
  EXPECT_EQ(Format("%s", "a", "b", 3), "a");
  EXPECT_EQ(Format("fixed", 1, 2), "fixed");
}

TEST(Format, InvalidOrIncompatibleRaises) {
  const FormatCase cases[] = {
      {"d with string", [] { return Format("%d", "x"); }, "%d"},
      {"d with double", [] { return Format("%d", 1.5); }, "%d"},
      {"f with integer", [] { return Format("%f", 1); }, "%f"},
      {"s with integer", [] { return Format("%s", 1); }, "%s"},
      {"bool", [] { return Format("%s", true); }, "%s"},
      {"too few", [] { return Format("%s and %s", "a"); }, "%s and %s"},
      {"index beyond", [] { return Format("%3:s", "a", "b"); }, "%3:s"},
      {"unknown type", [] { return Format("%k", 1); }, "%k"},
      {"dangling percent", [] { return Format("50%", 1); }, "50%"},
      {"star needs int", [] { return Format("%*d", "x", 1); }, "%*d"},
  };
  for (const FormatCase& c : cases)
    EXPECT_EQ(RaisedText(c.run), "EConvertError: Format '" + std::string(c.expected) +
                                     "' invalid or incompatible with argument")
        << c.name;
}

TEST(Format, PointerHasFixedWidth) {
  const std::string p = Format("%p", static_cast<const void*>(nullptr));
  EXPECT_EQ(p, std::string(2 * sizeof(void*), '0'));
  int x = 0;
  const std::string q = Format("%p", static_cast<const void*>(&x));
  EXPECT_EQ(q.size(), 2 * sizeof(void*));
  EXPECT_EQ(q.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(Format, UsesProcessSettingsByDefault) {
  FormatSettingsGuard guard(kDE);
  EXPECT_EQ(Format("%.1f", 0.5), "0,5");
}

}  // namespace
}  // namespace vela

// Function macros: which values are macros, every function, nesting, typed and text results,
// and the errors with the macro text in their messages.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "host/VelaXMLTypes.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// A handler whose clock stands still, so that NOW and DATE can be checked by value.
class TFixedClockMacros : public TVelaXMLProcessorFunctionMacroHandler {
 public:
  static inline const TDateTime kNow = EncodeDateTime(2024, 3, 5, 10, 20, 30, 0);

 protected:
  TDateTime CurrentTime() const override { return kNow; }
};

TEST(FunctionMacros, RecognisesEqualsAndAFunctionCall) {
  TVelaXMLProcessorFunctionMacroHandler h;
  for (const char* s : {"=NOW()", "  = now (", "=UPPER(x", "=_f1("})
    EXPECT_TRUE(h.GetContentIsFunctionMacro(s)) << s;
  for (const char* s : {"", "=", "=x", "==DE", "NOW()", "=1(", "= (", "=a b(", "x=NOW()"})
    EXPECT_FALSE(h.GetContentIsFunctionMacro(s)) << s;
}

TEST(FunctionMacros, TextFunctionsAndNesting) {
  TFixedClockMacros h;
  TXMLDataStore row;
  row.Add("NAME", "Mayer");
  row.Add("Born", "2024-03-05");
  row.Add("Stamp", "1999-12-31T23:58");
  const std::pair<const char*, const char*> cases[] = {
      {"=UPPER(\"müller\")", "MÜLLER"},
      {"=LOWER(ABC)", "abc"},
      {"=TRIM(\"  a b  \")", "a b"},
      {"=FIELD(name)", "Mayer"},
      {"=FIELD( NOPE )", ""},
      {"=CONCAT(a; \"b \" ;FIELD(NAME))", "ab Mayer"},
      {"=CONCAT(a;;b)", "ab"},
      {"=CONCAT(\"say \"\"hi\"\", 1;2 (3)\")", "say \"hi\", 1;2 (3)"},
      {"= upper ( concat ( lower(AB) ; trim(\"  c  \") ) ) ", "ABC"},
      {"=FORMATDATE(\"dd.mm.yyyy\";FIELD(Born))", "05.03.2024"},
      {"=FORMATDATE(\"hh:nn\";FIELD(STAMP))", "23:58"},
      {"=FORMATDATE(\"yyyy\";FIELD(NOPE))", ""},
      {"=FORMATDATE(\"yyyy-mm-dd hh:nn\")", "2024-03-05 10:20"},
      {"=FORMATDATE(\"d/m\";DATE())", "5/3"},
      {"=CONCAT(DATE();\"|\";NOW())", "2024-03-05|2024-03-05 10:20:30"},
  };
  for (auto [macro, expected] : cases) {
    bool isText = false;
    const Variant v = h.ExecuteFunctionMacro(macro, &row, isText);
    EXPECT_TRUE(isText && v.kind() == Variant::Kind::String) << macro;
    EXPECT_EQ(VarToStr(v), expected) << macro;
  }
}

TEST(FunctionMacros, NowAndDateAreTypedValuesGuidIsText) {
  TFixedClockMacros h;
  bool isText = true;
  Variant v = h.ExecuteFunctionMacro("=NOW()", nullptr, isText);
  EXPECT_FALSE(isText);
  ASSERT_EQ(v.kind(), Variant::Kind::DateTime);
  EXPECT_EQ(v.AsDateTime(), TFixedClockMacros::kNow);
  v = h.ExecuteFunctionMacro("=date()", nullptr, isText);
  EXPECT_FALSE(isText);
  EXPECT_EQ(v.AsDateTime(), EncodeDate(2024, 3, 5));

  // Without a host the local clock; GUIDs by their shape.
  TVelaXMLProcessorFunctionMacroHandler real;
  const TDateTime before = Now();
  const TDateTime now = real.ExecuteFunctionMacro("=NOW()").AsDateTime();
  EXPECT_TRUE(before <= now && now <= Now());
  const std::string a = VarToStr(real.ExecuteFunctionMacro("=GUID()", nullptr, isText));
  EXPECT_TRUE(isText);
  EXPECT_TRUE(std::regex_match(a, std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}")))
      << a;
  EXPECT_NE(a, VarToStr(real.ExecuteFunctionMacro("=GUID()")));
}

TEST(FunctionMacros, ErrorsNameTheMacroAndTheFault) {
  TFixedClockMacros h;
  TXMLDataStore row;
  std::string deep = "=";
  for (int i = 0; i < 40; ++i)
    deep += "UPPER(";
  const std::pair<std::string, std::string> cases[] = {
      {"=FOO()",
       "unknown function 'FOO' at position 2 (known: NOW, DATE, GUID, FIELD, CONCAT, UPPER, "
       "LOWER, TRIM, FORMATDATE)"},
      {"=UPPER(a;b)", "UPPER takes 1 argument, not 2"},
      {"=NOW(1)", "NOW takes 0 arguments, not 1"},
      {"=CONCAT()", "CONCAT takes at least 1 argument, not 0"},
      {"=FORMATDATE()", "FORMATDATE takes 1 or 2 arguments, not 0"},
      {"=UPPER(LOWER(x)", "the '(' of UPPER at position 7 is not closed"},
      {"=UPPER(x", "the '(' of UPPER at position 7 is not closed"},
      {"=UPPER(x))", "unexpected ')' at position 10 after the end of the macro"},
      {"=UPPER(\"x)", "the quote at position 8 is not closed"},
      {"=UPPER(1(b))",
       "unexpected '(' at position 9; write texts that contain it in double quotes"},
      {"=UPPER(\"a\" b)", "';' or ')' expected at position 12"},
      {"=x", "a function call must follow '=' at position 2"},
      {"plain", "a function macro starts with '=' and a function call"},
      {"=FORMATDATE(\"yyyy\";\"soon\")",
       "FORMATDATE: 'soon' is not a date (yyyy-mm-dd, optionally with hh:nn or hh:nn:ss)"},
      {deep, "calls are nested deeper than 32 levels"},
  };
  for (const auto& [macro, fault] : cases) {
    bool isText = false;
    EXPECT_EQ(RaisedText([&] { h.ExecuteFunctionMacro(macro, &row, isText); }),
              "EFunctionMacroError: Function macro '" + macro + "': " + fault);
  }
  // FIELD needs a record; the form without data has none.
  EXPECT_EQ(RaisedText([&] { h.ExecuteFunctionMacro("=FIELD(NAME)"); }),
            "EFunctionMacroError: Function macro '=FIELD(NAME)': FIELD(NAME) needs record data, "
            "and there is none here");
}

}  // namespace
}  // namespace vela

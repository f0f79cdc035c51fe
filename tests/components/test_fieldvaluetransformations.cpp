#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/_FieldValueTransformations.h"
#include "host/RichText.h"
#include "rtl/Exceptions.h"

namespace vela {
namespace {

TEST(FieldValueReplacements, OrderStopRuleAndCase) {
  TMemIniFile ini;
  ini.SetText(
      "[Replacements_Status]\n{N/A}=\nN/A=\n"
      "[Replacements_Code]\na=b\nb=c\n{}=()\n"
      "[Replacements_Stop]\n{stop}=halt\nhalt=never\n"
      "[Replacements_Umlaut]\nä=ae\n"
      "[Orders_Replacements_Code]\nx=y\n");
  TFieldValueReplacements master, orders;
  master.LoadFormINI(ini, "");
  orders.LoadFormINI(ini, "Orders_");
  struct {
    const TFieldValueReplacements& Replacements;
    const char* Field;
    std::string Value, Expected;
  } cases[] = {
      {master, "Status", "n/a", ""},                  // whole value, any ASCII case
      {master, "STATUS", "N/A pending", " pending"},  // substring; field found ignoring case
      {master, "Code", "a", "c"},                     // entries apply one after the other
      {master, "Code", "xAx{}", "xcx()"},             // "{}" is a substring, not a whole value
      {master, "Stop", "STOP", "halt"},               // a whole-value match ends the chain
      {master, "Stop", "halt", "never"},
      {master, "Umlaut", "Ä ä", "Ä ae"},  // only ASCII letters fold
      {master, "Other", "a", "a"},
      {orders, "Code", "ax", "ay"},
      {orders, "Orders_Code", "x", "x"},
  };
  for (auto& c : cases) {
    std::string value = c.Value;
    c.Replacements.Replace(value, c.Field);
    EXPECT_EQ(value, c.Expected) << c.Field << ": " << c.Value;
  }
  ASSERT_NE(master.Entries("status"), nullptr);
  EXPECT_TRUE((*master.Entries("status"))[0].UseWholeValue());
  EXPECT_EQ((*master.Entries("status"))[0].FromValue(), "N/A");
  EXPECT_EQ(master.Entries("x"), nullptr);
}

TEST(FieldSplitting, LoadsNamesAndParts) {
  TMemIniFile ini;
  ini.SetText(
      "[FieldSplitting]\nNAME=3,59\nBAD=x,59\nADDR=2,59\nNOCODE=3\nEURO=2,8364\nLINE=2,10\n"
      "ONE=1,59\n");
  TFieldSplitting splitting;
  splitting.LoadFromINI(ini, "");
  ASSERT_EQ(splitting.Count(), 5);  // the lines with a bad count or no code are skipped
  EXPECT_EQ(splitting.IndexOfSplittedField("ADDR"), 1);
  EXPECT_FALSE(splitting.IsSplittedField("name") || splitting.IsSplittedField("BAD"));
  EXPECT_EQ(splitting.GetSplitData("NAME")->SplitChar(), U';');
  EXPECT_EQ(splitting.GetSplitData("none"), nullptr);
  EXPECT_EQ(&splitting.GetSplitData(2), splitting.GetSplitData("EURO"));
  EXPECT_THROW(splitting.GetSplitData(5), EListError);
  EXPECT_EQ(splitting.GetSplitData(0).GetFieldName(2), "NAME_PART3");
  for (const char* name : {"NAME_PART1", "NAME_PART3", "ADDR_PART2", "EURO_PART1"})
    EXPECT_TRUE(splitting.IsVirtualSplitField(name)) << name;
  for (const char* name : {"NAME_PART4", "NAME_PART0", "NAME_PART01", "name_PART1", "NAME_PART",
                           "NAME", "BAD_PART1", "NAME_PART1x", "NAME_PART99999999999"})
    EXPECT_FALSE(splitting.IsVirtualSplitField(name)) << name;

  struct {
    const char* Field;
    std::string Value;
    std::vector<std::string> Parts;
  } cases[] = {
      {"ADDR", "A;;B;C", {"A", "B;C", "C"}},  // empty part dropped, the last part takes the rest
      {"NAME", "A", {"A", "", ""}},
      {"NAME", "", {"", "", ""}},
      {"NAME", "'a;b';c;d;e", {"'a;b'", "c", "d;e"}},  // quotes group and stay
      {"NAME", "x\r\n;y\rz", {"x", "y", "z"}},         // CR and LF end parts
      {"NAME", "a\"b;c\"d;e", {"a\"b;c\"d", "e", ""}},
      {"EURO", "a€b€€c", {"a", "b€c"}},
      {"LINE", "a\nb\nc", {"a", "b\nc"}},
      {"ONE", ";a;;b;", {"a;b"}},
  };
  for (const auto& c : cases) {
    const TSplittedFieldData& data = *splitting.GetSplitData(c.Field);
    for (size_t i = 0; i < c.Parts.size(); ++i)
      EXPECT_EQ(data.GetValue(static_cast<int>(i), c.Value), c.Parts[i]) << c.Value << " " << i;
  }
}

TEST(FieldValueManipulator, Manipulations) {
  struct {
    const char* Manipulations;
    std::string Value, Expected;
  } cases[] = {
      {"remove_cr", "a\r\nb\r", "a\nb"},
      {"remove_lf", "a\r\nb\n", "a\rb"},
      {"remove_crlf", "a\r\nb\rc\n", "ab\rc\n"},
      {"remove_spaces", " a b ", "ab"},
      {"trim", "\t\u00A0 x y\u3000\x01\u0085", "x y"},
      {"trim", " \u00E9 ", "\u00E9"},
      {"tryasint", "007", "7"},
      {"tryasint", "-05", "-5"},
      {"tryasint", "+3", "3"},
      {"tryasint", "12a", "12a"},
      {"tryasint", "", ""},
      {"tryasint", " 1", " 1"},
      {"tryasint", "99999999999999999999", "99999999999999999999"},
      {"captialfirst", "ab", "AB"},
      {"captialfirst", "o'neil-smith", "O'neil-Smith"},
      {"captialfirst", "HANS_PETER&co öl", "Hans_Peter&Co Öl"},
      {"captialfirst", "", ""},
      {"uppercase", "äöü élan", "ÄÖÜ ÉLAN"},
      {"lowercase", "ÄÖÜ ÉLAN", "äöü élan"},
      {"fix_wrong_utf8_umlauts", "MÃ¼ller Ã„Ã–Ãœ Ã¤Ã¶", "Müller ÄÖÜ äö"},
      {"captialfirst_ex", "ANNA VON DER HEIDE", "Anna von der Heide"},
      {"captialfirst_ex", "meier-schulz", "Meier-Schulz"},
      {"captialfirst_ex", "MAX DE LA MARE-SCHMIDT", "Max de la Mare-Schmidt"},
      {"captialfirst_ex", "JO LI", "JO LI"},
      {"captialfirst_ex", "ÄRZTE & CO", "Ärzte & CO"},
      {"captialfirst_ex", "a", "a"},
      {"hascontenttrue", "", "0"},
      {"hascontenttrue", "x", "1"},
      {"hascontentfalse", "", "1"},
      {"hascontentfalse", "x", "0"},
      {"remove_spaces;hascontenttrue", "   ", "0"},
      {"trim;uppercase", "  abc ", "ABC"},
      {"trim  \"uppercase\"", "  abc ", "ABC"},  // blanks separate names too, quotes group
      {"Trim;unknown", " a ", " a "},            // names are case-sensitive
      {"rtf_to_text", "{\\rtf1 M\\'fcller}", "Müller"},
      {"rtf_to_text", "", ""},
  };
  for (const auto& c : cases) {
    TMemIniFile ini;
    ini.SetText(std::string("[Manipulation]\nField=") + c.Manipulations + "\n");
    TFieldValueManipulator manipulator;
    manipulator.LoadFormINI(ini, "");
    std::string value = c.Value;
    manipulator.ManipulateValue(value, "FIELD");
    EXPECT_EQ(value, c.Expected) << c.Manipulations << ": " << c.Value;
    value = c.Value;
    manipulator.ManipulateValue(value, "Other");
    EXPECT_EQ(value, c.Value);
  }
}

TEST(FieldValueManipulator, RtfDefaultsAndConversions) {
  TMemIniFile ini;
  ini.SetText(
      "[RTF]\nDefaultFontName=Courier\nDefaultFontSize=12\n[Orders_RTF]\nDefaultFontSize=8\n"
      "[Orders_Manipulation]\nNotes=text_to_rtf\nBody=html_to_rtf\n");
  TFieldValueManipulator master, orders, none;
  master.LoadFormINI(ini, "");
  orders.LoadFormINI(ini, "Orders_");
  TMemIniFile empty;
  none.LoadFormINI(empty, "");
  EXPECT_EQ(master.DefaultFontName() + std::to_string(master.DefaultFontSize()), "Courier12");
  EXPECT_EQ(orders.DefaultFontName() + std::to_string(orders.DefaultFontSize()), "Courier8");
  EXPECT_EQ(none.DefaultFontName() + std::to_string(none.DefaultFontSize()), "Arial10");

  std::string value;  // applied to empty values too
  orders.ManipulateValue(value, "notes");
  EXPECT_EQ(value, ConvertTextToRTF("", "Courier", 8));
  value = "<p>a</p><p>b</p>";
  orders.ManipulateValue(value, "Body");
  EXPECT_EQ(value, ConvertHTMLToRTF("<p>a</p><p>b</p>", "Courier", 8, "\r\n"));
  EXPECT_EQ(ConvertRTFToText(value), "a\r\nb");
}

// Values run through these for every row of an export: when nothing applies, the value's buffer is
// neither replaced nor copied.
TEST(FieldValueTransformations, NothingToDoKeepsTheBuffer) {
  TMemIniFile ini;
  ini.SetText(
      "[Manipulation]\nF=remove_cr;remove_crlf;fix_wrong_utf8_umlauts;trim;tryasint\n"
      "[Replacements_F]\na=b\n{x}=y\n");
  TFieldValueManipulator manipulator;
  TFieldValueReplacements replacements;
  manipulator.LoadFormINI(ini, "");
  replacements.LoadFormINI(ini, "");
  std::string value(64, 'z');
  const char* buffer = value.data();
  manipulator.ManipulateValue(value, "F");
  replacements.Replace(value, "F");
  EXPECT_EQ(value.data(), buffer);
  EXPECT_EQ(value, std::string(64, 'z'));
}

// The configuration example of the documentation, applied as a pre-processor does: split, then
// manipulate, then replace.
TEST(FieldValueTransformations, DocumentedExample) {
  TMemIniFile ini;
  ini.SetText(
      "[FieldSplitting]\nNAME=3,59\n"
      "[Manipulation]\nNAME_PART1=trim;captialfirst_ex\nZIP=trim;tryasint\n"
      "HASNOTES=hascontenttrue\n"
      "[RTF]\nDefaultFontName=Calibri\nDefaultFontSize=11\n"
      "[Replacements_Country]\n{D}=Germany\n{A}=Austria\nn/a=\n"
      "[Orders_Manipulation]\nText=text_to_rtf\n[Orders_RTF]\nDefaultFontSize=9\n");
  TFieldSplitting splitting;
  TFieldValueManipulator manipulator, orders;
  TFieldValueReplacements replacements;
  splitting.LoadFromINI(ini, "");
  manipulator.LoadFormINI(ini, "");
  orders.LoadFormINI(ini, "Orders_");
  replacements.LoadFormINI(ini, "");
  auto transform = [&](std::string_view field, std::string_view source) {
    std::string value(source);
    if (splitting.IsVirtualSplitField(field)) {
      const std::string_view base = field.substr(0, field.rfind("_PART"));
      const TSplittedFieldData& data = *splitting.GetSplitData(base);
      for (int i = 0; i < data.Count(); ++i)
        if (data.GetFieldName(i) == field) value = data.GetValue(i, source);
    }
    manipulator.ManipulateValue(value, field);
    replacements.Replace(value, field);
    return value;
  };
  EXPECT_EQ(transform("NAME_PART1", "  MEIER-SCHULZ ;Anna;x;y"), "Meier-Schulz");
  EXPECT_EQ(transform("NAME_PART3", "  MEIER-SCHULZ ;Anna;x;y"), "x;y");
  EXPECT_EQ(transform("ZIP", " 0815 "), "815");
  EXPECT_EQ(transform("HASNOTES", ""), "0");
  EXPECT_EQ(transform("country", "d"), "Germany");
  EXPECT_EQ(transform("Country", "A N/A"), "A ");
  std::string text = "a{b}";
  orders.ManipulateValue(text, "TEXT");
  EXPECT_EQ(text, ConvertTextToRTF("a{b}", "Calibri", 9));
}

}  // namespace
}  // namespace vela

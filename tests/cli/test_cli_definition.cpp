// Import definitions read into their typed structure: every section, the order of numbered
// entries, the spellings of booleans, and errors that name the file and the line.
#include <gtest/gtest.h>

#include <tuple>

#include "velaimport/CommandLine.h"
#include "velaimport/ImportDefinition.h"

namespace vela::cli {
namespace {

TImportDefinition Parse(const std::string& text) {
  return ParseImportDefinition(text, "def.ini");
}

// The message of the usage error that parsing raises; empty when it raises none.
std::string ErrorOf(const std::string& text) {
  try {
    Parse(text);
  } catch (const EUsageError& e) {
    return e.Message();
  }
  return {};
}

TEST(ImportDefinitionTest, ReadsEverySectionWithNumberedEntriesInOrder) {
  const auto d = Parse(
      "; a definition\r\n"
      "[import]\r\n"
      "Mode = cleancopy ; comment\r\n"
      "KeyFields=custno,name\r\n"
      "skipfirstrecord=yes\r\n"
      "[Assignments]\r\n"
      "name = lastname   ; comment\r\n"
      "city=\r\n"
      "[AdvFields]\r\n"
      "notes\r\n"
      "[Field:city]\r\n"
      "FixValue=Nr. %d;x\r\n"
      "StepStart=10\r\n"
      "CaseMode=2\r\n"
      "Replace10=b|c\r\n"
      "Replace2=a|b|TRUE\r\n"
      "[Condition2]\r\n"
      "Field=second\r\n"
      "[Condition1]\r\n"
      "Field=bcnrnew\r\n"
      "Condition=NotEqual\r\n"
      "Value= ; empty\r\n"
      "CheckMode=after\r\n"
      "Action=replace\r\n"
      "DestinationField=bcnr\r\n");
  EXPECT_EQ(std::tie(d.Mode, d.SkipFirstRecord), std::tuple(DimCleanCopy, true));
  EXPECT_FALSE(d.UseTransactions);
  EXPECT_EQ(d.KeyFields, (std::vector<std::string>{"custno", "name"}));
  EXPECT_EQ(d.Assignments, (std::vector<std::string>{"name=lastname", "city="}));
  EXPECT_EQ(d.AdvFields, std::vector<std::string>{"notes"});
  ASSERT_EQ(d.Fields.size(), 1u);
  const TFieldDefinition& f = d.Fields[0];
  EXPECT_EQ(std::tie(f.Field, f.FixValue, f.StepStart, f.CaseMode),
            std::tuple("city", "Nr. %d;x", 10, cmUpper));
  EXPECT_FALSE(f.StepWidth);
  std::string replacements;
  for (const auto& [n, r] : f.Replacements)
    replacements += r.Search + ">" + r.Replace + (r.CaseSensitive ? "!" : "") + " ";
  EXPECT_EQ(replacements, "a>b! b>c ");
  ASSERT_EQ(d.Conditions.size(), 2u);
  const TConditionDefinition& c = d.Conditions.begin()->second;
  EXPECT_EQ(std::tie(c.Field, c.Condition, c.Value, c.CheckMode, c.Action, c.DestinationField),
            std::tuple("bcnrnew", coNotEqual, "", ccmAfterKeySearch, caReplaceField, "bcnr"));
  EXPECT_EQ(d.Conditions.rbegin()->second.Field, "second");
}

TEST(ImportDefinitionTest, BooleansInEverySpelling) {
  const struct {
    const char* Text;
    bool Value;
  } cases[] = {{"1", true},  {"true", true},   {"TRUE", true},   {"yes", true}, {"Yes", true},
               {"0", false}, {"false", false}, {"False", false}, {"no", false}, {"NO", false}};
  for (const auto& c : cases) {
    const auto d = Parse(std::string("[Import]\nUseTransactions=") + c.Text + "\n");
    EXPECT_EQ(d.UseTransactions, c.Value) << c.Text;
  }
}

TEST(ImportDefinitionTest, ErrorsNameFileAndLine) {
  const struct {
    const char* Text;
    const char* Message;
  } cases[] = {
      {"[Import]\n; comment\r\nUseTransactions=maybe\n",
       "def.ini:3: UseTransactions must be 1, 0, true, false, yes or no, not 'maybe'"},
      {"[Import]\nMode=sideways\n",
       "def.ini:2: Mode must be update, onlynew or cleancopy, not 'sideways'"},
      {"[Field:city]\nCaseMode=7\n", "def.ini:2: CaseMode must be 0, 1, 2 or 3, not '7'"},
      {"[Field:city]\nStepWidth=ten\n", "def.ini:2: StepWidth must be a whole number, not 'ten'"},
      {"[Field:city]\nReplace1=a|b|x\n",
       "def.ini:2: Replace1's case-sensitive flag must be 1, 0, true, false, yes or no, not 'x'"},
      {"[Condition1]\nField=a\nCondition=like\n",
       "def.ini:3: Condition must be equal or notequal, not 'like'"},
      {"[Condition1]\nField=a\nCheckMode=during\n",
       "def.ini:3: CheckMode must be before or after, not 'during'"},
      {"[Condition1]\nField=a\nAction=delete\n",
       "def.ini:3: Action must be ignore or replace, not 'delete'"},
      {"\n[Condition1]\nAction=ignore\n", "def.ini:2: [Condition1] needs a Field"},
      {"[Import]\nUseTransaction=1\n", "def.ini:2: unknown key 'UseTransaction' in [Import]"},
      {"[Field:x]\nReplace=a|b\n", "def.ini:2: unknown key 'Replace' in [Field:x]"},
      {"[Imports]\n", "def.ini:1: unknown section [Imports]"},
      {"[Import\n", "def.ini:1: a section name needs its closing ']'"},
      {"Mode=update\n", "def.ini:1: a line before the first section: 'Mode=update'"},
      {"[Import]\nMode=update\n\nmode=onlynew\n", "def.ini:4: mode given twice (first on line 2)"},
      {"[Field:City]\n[field:city]\n",
       "def.ini:2: section [field:city] given twice (first on line 1)"},
      {"[Assignments]\nname\n", "def.ini:2: DBFIELD=IMPORTFIELD expected: 'name'"},
      {"[Import]\r\rMode\r", "def.ini:3: NAME=VALUE expected: 'Mode'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf(c.Text), c.Message) << c.Text;
}

}  // namespace
}  // namespace vela::cli

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Exceptions.h"

namespace vela::test {
namespace {

// --- advanced field settings ---

// The settings of one field; a pattern that is not null switches its value on.
struct Rule {
  const char* Fix = nullptr;
  const char* Auto = nullptr;
  bool LeftTrim = false, RightTrim = false;
  TCaseMode Case = cmNone;
  std::vector<std::tuple<const char*, const char*, bool>> Replace = {};  // search, replace, case
};

void Apply(TAdvFieldData& d, const Rule& r) {
  d.Set_UseFixValue(r.Fix != nullptr);
  d.Set_FixValue(r.Fix ? r.Fix : "");
  d.Set_AutoValue(r.Auto != nullptr);
  d.Set_AutoValueString(r.Auto ? r.Auto : "");
  d.Set_LeftTrim(r.LeftTrim);
  d.Set_RightTrim(r.RightTrim);
  d.Set_CaseMode(r.Case);
  for (const auto& [search, replace, cs] : r.Replace) {
    IReplacement* rep = d.Replacements().Add();
    rep->Set_SearchStr(search);
    rep->Set_ReplaceStr(replace);
    rep->Set_CaseSensitive(cs);
  }
}

// A field's settings, the record number, the value in and the value out (nullptr: no value).
struct ProcessCase {
  const char* Name;
  Rule Settings;
  int32_t RecordNumber;
  const char *In, *Out;
};

TEST(AdvFieldSettings, ProcessValueTable) {
  const ProcessCase cases[] = {
      {"fixed value replaces the source", {.Fix = "Nr. %d"}, 7, "src", "Nr. 7"},
      {"fixed value without source value", {.Fix = "Nr. %d"}, 7, nullptr, "Nr. 7"},
      {"fixed value wins over automatic", {.Fix = "F%d", .Auto = "A%d"}, 3, nullptr, "F3"},
      {"automatic value, surplus argument ignored", {.Auto = "R%d"}, 4, nullptr, "R4"},
      {"no value: the steps are skipped", {.LeftTrim = true, .Case = cmUpper}, 1, nullptr, nullptr},
      {"trim left", {.LeftTrim = true}, 1, "\t\r\n  ab  ", "ab  "},
      {"trim right", {.RightTrim = true}, 1, "  ab \x01\x1f", "  ab"},
      {"trim keeps DEL", {.LeftTrim = true, .RightTrim = true}, 1, " \x7f ", "\x7f"},
      {"case 1 changes only ASCII", {.Case = cmFirstUpper}, 1, "mÜLLER", "MÜller"},
      {"case 1, non-ASCII first letter", {.Case = cmFirstUpper}, 1, "ÄPFEL", "Äpfel"},
      {"case 1 on empty text", {.Case = cmFirstUpper}, 1, "", ""},
      {"case 2", {.Case = cmUpper}, 1, "straße öl", "STRAßE öL"},
      {"case 3", {.Case = cmLower}, 1, "ÖL UND WASSER", "Öl und wasser"},
      {"chain in order", {.Replace = {{"a", "b", true}, {"b", "c", true}}}, 1, "a", "c"},
      {"case-sensitive", {.Replace = {{"St.", "S", true}}}, 1, "xst. St.", "xst. S"},
      {"ignoring case, everywhere", {.Replace = {{"ST.", "S", false}}}, 1, "xst. St.", "xS S"},
      {"no rescan of the output", {.Replace = {{"a", "aa", true}}}, 1, "aba", "aabaa"},
      {"replacement by nothing", {.Replace = {{"-", "", true}}}, 1, "12-34-5", "12345"},
      {"empty search changes nothing", {.Replace = {{"", "x", false}}}, 1, "ab", "ab"},
      // The steps run in this order: generate, trim, replace, change the case.
      {"order", {"  id-%d  ", {}, true, true, cmUpper, {{"ID", "no", false}}}, 12, {}, "NO-12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TAdvFieldSettingsList list(nullptr);
    Apply(*list.Add("FIELD"), c.Settings);
    list.ResetSteps();
    std::string value = c.In ? c.In : " ab ";
    bool has = c.In != nullptr;
    list.ProcessValue("FIELD", c.RecordNumber, value, has);
    EXPECT_EQ(std::pair(has, value),
              std::pair(c.Out != nullptr, std::string(c.Out ? c.Out : " ab ")));
  }
}

TEST(AdvFieldSettings, ByNameIsExactAndFirstWins) {
  TAdvFieldSettingsList list(nullptr);
  TAdvFieldData* first = list.Add("Name");
  list.Add("Name")->Set_UseFixValue(true);  // duplicates are allowed; the first one is used
  first->Set_CaseMode(cmUpper);
  EXPECT_EQ(list.ByName("Name"), first);
  EXPECT_EQ(list.ByName("NAME"), nullptr);
  std::string value = "abc";
  bool has = true;
  list.ProcessValue("NAME", 1, value, has);  // no settings for this spelling
  EXPECT_EQ(value, "abc");
  list.ProcessValue("Name", 1, value, has);
  EXPECT_EQ(value, "ABC");
}

TEST(AdvFieldSettings, PatternsThatDoNotFitRaiseConvertErrors) {
  for (const Rule& r :
       {Rule{.Fix = "%s"}, Rule{.Fix = "%d-%d"}, Rule{.Auto = "%d/%d/%d"}, Rule{.Auto = "%s"}}) {
    SCOPED_TRACE(r.Fix ? r.Fix : r.Auto);
    TAdvFieldSettingsList list(nullptr);
    Apply(*list.Add("F"), r);
    std::string value;
    bool has = false;
    EXPECT_THROW(list.ProcessValue("F", 1, value, has), EConvertError);
  }
}

TEST(AdvFieldSettings, PostRecordStepsWithoutAHandler) {
  TDataImportProcessor processor;
  TAdvFieldData* d = processor.AdvFieldSettings().Add("F");
  d->Set_StepStart(-3);
  d->Set_StepWidth(2);
  processor.AdvFieldSettings().ResetSteps();
  processor.PostRecord(0);
  processor.PostRecord(0);
  EXPECT_EQ(d->CurrentStep(), 1);
}

TEST(RuleLists, ReferenceCountingIsOff) {
  TDataImportProcessor processor;
  IAdvFieldSettings* settings = &processor.AdvFieldSettings();
  EXPECT_EQ(settings->_AddRef(), -1);
  EXPECT_EQ(settings->_Release(), -1);
  {
    IPtr<IAdvFieldData> held(settings->Add("F"));  // holding it does not take ownership
    EXPECT_EQ(held->Get_FieldName(), "F");
  }
  ASSERT_EQ(settings->Count(), 1);
  auto viaQuery = Supports<IAdvFieldSettings>(static_cast<IInterface*>(settings));
  EXPECT_EQ(viaQuery.get(), settings);
  EXPECT_FALSE(Supports<IFieldChangeConditions>(static_cast<IInterface*>(settings)));
}

// Items delete themselves through their list; lists delete by index. The field settings and the
// field change conditions keep their items the same way as the replacements.
TEST(RuleLists, DeleteByItemAndByIndex) {
  TAdvFieldData d("F");
  IReplacements* replacements = d.Get_Replacements();
  TReplacement* a = d.Replacements().Add();
  a->Set_SearchStr("a");
  d.Replacements().Add()->Set_SearchStr("b");
  d.Replacements().Add()->Set_SearchStr("c");
  a->Delete();
  replacements->Delete(1);
  ASSERT_EQ(replacements->Count(), 1);
  EXPECT_EQ(replacements->Items(0)->Get_SearchStr(), "b");
  EXPECT_THROW(replacements->Items(1), EListError);
}

// --- field change conditions ---

TEST(FieldChangeConditions, ClearKeepsPredefinedRules) {
  TFieldChangeConditions list(nullptr);
  list.Add()->Set_ConditionField("user1");
  IFieldChangeCondition* pre = list.Add();
  pre->Set_ConditionField("pre");
  pre->Set_PreDefined(true);
  list.Add()->Set_ConditionField("user2");
  list.Clear(false);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->Get_ConditionField(), "pre");
  EXPECT_EQ(list.ByName("pre"), pre);
  EXPECT_EQ(list.ByName("PRE"), nullptr);
  list.Clear(true);
  EXPECT_EQ(list.Count(), 0);
}

// A record as the record buffer holds it: field texts, some fields absent.
class TFakeRecord : public TConditionRecordAccess {
 public:
  std::map<std::string, std::string, std::less<>> Fields;
  std::vector<std::string> Replaced;
  const std::string* FieldText(std::string_view name) override {
    auto it = Fields.find(name);
    return it == Fields.end() ? nullptr : &it->second;
  }
  void ReplaceField(std::string_view dest, std::string_view source) override {
    Replaced.push_back(std::string(dest) + "<-" + std::string(source));
    auto it = Fields.find(source);
    if (it == Fields.end())
      Fields.erase(std::string(dest));
    else
      Fields[std::string(dest)] = it->second;
  }
};

void AddRule(TFieldChangeConditions& list, const char* field, TCondition condition,
             const char* value, TConditionCheckMode mode, TConditionAction action,
             const char* dest = "", const char* source = "") {
  IFieldChangeCondition* rule = list.Add();
  rule->Set_ConditionField(field);
  rule->Set_Condition(condition);
  rule->Set_ConditionValue(value);
  rule->Set_ConditionCheckMode(mode);
  rule->Set_Action(action);
  rule->Set_DestinationField(dest);
  rule->Set_ReplaceField(source);
}

constexpr TConditionCheckMode kBefore = ccmBeforeKeySearch, kAfter = ccmAfterKeySearch;
constexpr TConditionAction kIgnore = caIgnoreRecord, kReplace = caReplaceField;

// One rule, tested in one pass over the record {Status=old, Town=Rom, Empty=""}.
struct ConditionCase {
  const char *Name, *Field;
  TCondition Condition;
  const char* Value;
  TConditionCheckMode Mode;
  TConditionAction Action;
  const char *Dest, *Source;
  TConditionCheckMode Pass;
  bool Result, HasDelete;
  const char* Replaced;  // "Dest<-Source" or empty
};

TEST(FieldChangeConditions, RunTable) {
  const ConditionCase cases[] = {
      {"equal holds and ignores", "Status", coEqual, "old", kBefore, kIgnore, "", "", kBefore, true,
       true, ""},
      {"equal is case-sensitive", "Status", coEqual, "OLD", kBefore, kIgnore, "", "", kBefore,
       false, false, ""},
      {"rule of the other pass is not tested", "Status", coEqual, "old", kAfter, kIgnore, "", "",
       kBefore, false, false, ""},
      {"after the key search", "Status", coEqual, "old", kAfter, kIgnore, "", "", kAfter, true,
       true, ""},
      {"not equal holds for a different text", "Status", coNotEqual, "new", kBefore, kReplace,
       "City", "Town", kBefore, true, false, "City<-Town"},
      {"not equal fails for the same text", "Status", coNotEqual, "old", kBefore, kIgnore, "", "",
       kBefore, false, false, ""},
      {"missing field: equal does not hold", "Missing", coEqual, "", kBefore, kIgnore, "", "",
       kBefore, false, false, ""},
      {"missing field: not equal does not hold either", "Missing", coNotEqual, "x", kBefore,
       kIgnore, "", "", kBefore, false, false, ""},
      {"empty text is present and equals empty", "Empty", coEqual, "", kAfter, kReplace, "Empty",
       "Town", kAfter, true, false, "Empty<-Town"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFieldChangeConditions list(nullptr);
    AddRule(list, c.Field, c.Condition, c.Value, c.Mode, c.Action, c.Dest, c.Source);
    TFakeRecord record;
    record.Fields = {{"Status", "old"}, {"Town", "Rom"}, {"Empty", ""}};
    bool hasDelete = !c.HasDelete;
    EXPECT_EQ(list.Run(c.Pass, record, hasDelete), c.Result);
    EXPECT_EQ(hasDelete, c.HasDelete);
    EXPECT_EQ(record.Replaced,
              *c.Replaced ? std::vector<std::string>{c.Replaced} : std::vector<std::string>{});
  }
}

TEST(FieldChangeConditions, LaterRuleSeesTheEarlierReplacement) {
  TFieldChangeConditions list(nullptr);
  AddRule(list, "Status", coEqual, "old", kBefore, kReplace, "Status", "Town");
  AddRule(list, "Status", coEqual, "Rom", kBefore, kIgnore);
  AddRule(list, "Status", coEqual, "old", kBefore, kReplace, "X", "Town");
  TFakeRecord record;
  record.Fields = {{"Status", "old"}, {"Town", "Rom"}};
  bool hasDelete = false;
  EXPECT_TRUE(list.Run(kBefore, record, hasDelete));
  EXPECT_TRUE(hasDelete);
  EXPECT_EQ(record.Replaced, std::vector<std::string>{"Status<-Town"});
}

}  // namespace
}  // namespace vela::test

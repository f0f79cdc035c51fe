#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_DataImportProcessor.h"
#include "rtl/Exceptions.h"

namespace vela::test {
namespace {

// --- advanced field settings ---

struct Rule {
  bool FixValue = false;
  std::string FixPattern;
  bool AutoValue = false;
  std::string AutoPattern;
  bool LeftTrim = false, RightTrim = false;
  TCaseMode CaseMode = cmNone;
  std::vector<std::tuple<std::string, std::string, bool>> Replacements;  // search, replace, case

  Rule& Fix(std::string p) {
    FixValue = true;
    FixPattern = std::move(p);
    return *this;
  }
  Rule& Auto(std::string p) {
    AutoValue = true;
    AutoPattern = std::move(p);
    return *this;
  }
  Rule& Trim(bool left, bool right) {
    LeftTrim = left;
    RightTrim = right;
    return *this;
  }
  Rule& Case(TCaseMode m) {
    CaseMode = m;
    return *this;
  }
  Rule& Replace(std::string search, std::string replace, bool caseSensitive) {
    Replacements.emplace_back(std::move(search), std::move(replace), caseSensitive);
    return *this;
  }
};

struct ProcessCase {
  const char* Name;
  Rule Settings;
  int32_t RecordNumber;
  std::string In;
  bool InHasValue;
  std::string Out;
  bool OutHasValue;
};

void Apply(TAdvFieldData& d, const Rule& r) {
  d.Set_UseFixValue(r.FixValue);
  d.Set_FixValue(r.FixPattern);
  d.Set_AutoValue(r.AutoValue);
  d.Set_AutoValueString(r.AutoPattern);
  d.Set_LeftTrim(r.LeftTrim);
  d.Set_RightTrim(r.RightTrim);
  d.Set_CaseMode(r.CaseMode);
  for (const auto& [search, replace, cs] : r.Replacements) {
    IReplacement* rep = d.Replacements().Add();
    rep->Set_SearchStr(search);
    rep->Set_ReplaceStr(replace);
    rep->Set_CaseSensitive(cs);
  }
}

TEST(AdvFieldSettings, ProcessValueTable) {
  const ProcessCase cases[] = {
      {"fixed value replaces the source", Rule().Fix("Nr. %d"), 7, "src", true, "Nr. 7", true},
      {"fixed value without source value", Rule().Fix("Nr. %d"), 7, "", false, "Nr. 7", true},
      {"fixed value wins over automatic", Rule().Fix("F%d").Auto("A%d"), 3, "", false, "F3", true},
      {"automatic value, surplus argument ignored", Rule().Auto("R%d"), 4, "", false, "R4", true},
      {"no value: rules skipped", Rule().Trim(true, true).Case(cmUpper).Replace("a", "x", false), 1,
       " ab ", false, " ab ", false},
      {"trim left", Rule().Trim(true, false), 1, "\t\r\n  ab  ", true, "ab  ", true},
      {"trim right", Rule().Trim(false, true), 1, "  ab \x01\x1f", true, "  ab", true},
      {"trim keeps DEL", Rule().Trim(true, true), 1, " \x7f ", true, "\x7f", true},
      {"case 1 changes only ASCII", Rule().Case(cmFirstUpper), 1, "mÜLLER", true, "MÜller", true},
      {"case 1 with a non-ASCII first letter", Rule().Case(cmFirstUpper), 1, "ÄPFEL", true, "Äpfel",
       true},
      {"case 1 on empty text", Rule().Case(cmFirstUpper), 1, "", true, "", true},
      {"case 2", Rule().Case(cmUpper), 1, "straße öl", true, "STRAßE öL", true},
      {"case 3", Rule().Case(cmLower), 1, "ÖL UND WASSER", true, "Öl und wasser", true},
      {"replacements chain in order", Rule().Replace("a", "b", true).Replace("b", "c", true), 1,
       "a", true, "c", true},
      {"case-sensitive replacement", Rule().Replace("Str.", "Straße", true), 1,
       "Hauptstr. 1, Str. 2", true, "Hauptstr. 1, Straße 2", true},
      {"replacement ignoring case, every occurrence", Rule().Replace("STR.", "Straße", false), 1,
       "Hauptstr. 1, Str. 2", true, "HauptStraße 1, Straße 2", true},
      {"replacement does not rescan its output", Rule().Replace("a", "aa", true), 1, "aba", true,
       "aabaa", true},
      {"replacement by nothing", Rule().Replace("-", "", true), 1, "12-34-5", true, "12345", true},
      {"empty search changes nothing", Rule().Replace("", "x", false), 1, "ab", true, "ab", true},
      {"order: generate, trim, replace, case",
       Rule().Fix("  id-%d  ").Trim(true, true).Case(cmUpper).Replace("ID", "no", false), 12, "",
       false, "NO-12", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TAdvFieldSettingsList list(nullptr);
    Apply(*list.Add("FIELD"), c.Settings);
    list.ResetSteps();
    std::string value = c.In;
    bool has = c.InHasValue;
    list.ProcessValue("FIELD", c.RecordNumber, value, has);
    EXPECT_EQ(value, c.Out);
    EXPECT_EQ(has, c.OutHasValue);
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
  for (auto [fix, pattern] : {std::pair{true, "%s"}, std::pair{true, "%d-%d"},
                              std::pair{false, "%d/%d/%d"}, std::pair{false, "%s"}}) {
    SCOPED_TRACE(pattern);
    TAdvFieldSettingsList list(nullptr);
    TAdvFieldData* d = list.Add("F");
    (fix ? d->Set_UseFixValue(true) : d->Set_AutoValue(true));
    (fix ? d->Set_FixValue(pattern) : d->Set_AutoValueString(pattern));
    std::string value;
    bool has = false;
    EXPECT_THROW(list.ProcessValue("F", 1, value, has), EConvertError);
  }
}

TEST(AdvFieldSettings, NewItemsStartEmpty) {
  TAdvFieldData d("Field");
  EXPECT_EQ(d.Get_FieldName(), "Field");
  EXPECT_FALSE(d.Get_AutoValue() || d.Get_UseFixValue() || d.Get_LeftTrim() || d.Get_RightTrim());
  EXPECT_EQ(d.Get_StepStart(), 0);
  EXPECT_EQ(d.Get_StepWidth(), 0);
  EXPECT_EQ(d.Get_AutoValueString(), "");
  EXPECT_EQ(d.Get_FixValue(), "");
  EXPECT_EQ(d.Get_CaseMode(), cmNone);
  EXPECT_EQ(d.Get_Replacements()->Count(), 0);
}

// Automatic values seen the way the record buffer sees them: processed in the value event, with
// record numbers counted per execution.
TEST(AdvFieldSettings, AutomaticValuesStepPerRecordAndRestartPerExecution) {
  TTestImportEngine engine;
  engine.Add("{11111111-1111-1111-1111-111111111111}", "Alpha", ".a");
  engine.Records = {{{"No", "x"}}, {{"No", "y"}}, {{"No", "z"}}};
  TDataImportProcessor processor;
  processor.RegisterEngine(&engine);
  IAdvFieldSettings& settings = processor.AdvFieldSettings();
  IAdvFieldData* d = settings.Add("No");
  d->Set_AutoValue(true);
  d->Set_AutoValueString("%d/%d");
  d->Set_StepStart(10);
  d->Set_StepWidth(5);

  int32_t record = -1;
  std::vector<std::string> seen;
  processor.SetOnStartRecord([&](TDataImportProcessor*, int32_t, bool&) { ++record; });
  processor.SetOnSetValue([&](TDataImportProcessor* p, std::string_view f, std::string_view v,
                              TImportDataType, int32_t) {
    std::string value(v);
    bool has = true;
    p->AdvFieldSettings().ProcessValue(f, record, value, has);
    seen.push_back(value);
  });
  processor.SetEngineParameter(0, "in.a", 0, TStringList{});
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    record = -1;
    seen.clear();
    ASSERT_TRUE(processor.Execute(0, false));
    EXPECT_EQ(seen, (std::vector<std::string>{"0/10", "1/15", "2/20"}));
  }
  EXPECT_EQ(processor.AdvFieldSettings().ByName("No")->CurrentStep(), 25);
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

TEST(RuleLists, ReplacementsDeleteAndClear) {
  TAdvFieldData d("F");
  IReplacements* list = d.Get_Replacements();
  TReplacement* a = d.Replacements().Add();
  a->Set_SearchStr("a");
  TReplacement* b = d.Replacements().Add();
  b->Set_SearchStr("b");
  d.Replacements().Add()->Set_SearchStr("c");
  a->Delete();  // frees itself through its list
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Items(0)->Get_SearchStr(), "b");
  list->Delete(1);
  EXPECT_EQ(list->Count(), 1);
  EXPECT_THROW(list->Items(1), EListError);
  list->Clear();
  EXPECT_EQ(list->Count(), 0);
}

TEST(RuleLists, AdvFieldSettingsDeleteAndClear) {
  TAdvFieldSettingsList list(nullptr);
  list.Add("A");
  list.Add("B");
  list.Add("C");
  list.Delete(0);
  EXPECT_EQ(list.Items(0)->FieldName(), "B");
  EXPECT_EQ(list.ByName("A"), nullptr);
  EXPECT_THROW(list.Delete(5), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
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

TEST(FieldChangeConditions, DeleteRemovesTheRule) {
  TFieldChangeConditions list(nullptr);
  TFieldChangeCondition* a = list.Add();
  a->Set_ConditionField("a");
  list.Add()->Set_ConditionField("b");
  list.Add()->Set_ConditionField("c");
  a->Delete();
  list.Delete(1);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->ConditionField(), "b");
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

struct ConditionRule {
  std::string Field;
  TCondition Condition;
  std::string Value;
  TConditionCheckMode Mode;
  TConditionAction Action;
  std::string Dest, Source;
};

struct ConditionCase {
  const char* Name;
  std::vector<ConditionRule> Rules;
  TConditionCheckMode Pass;
  bool Result;
  bool HasDelete;
  std::vector<std::string> Replaced;
};

TEST(FieldChangeConditions, RunTable) {
  const ConditionCase cases[] = {
      {"equal holds and ignores",
       {{"Status", coEqual, "old", ccmBeforeKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       true,
       true,
       {}},
      {"equal is case-sensitive",
       {{"Status", coEqual, "OLD", ccmBeforeKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       false,
       false,
       {}},
      {"rule of the other pass is not tested",
       {{"Status", coEqual, "old", ccmAfterKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       false,
       false,
       {}},
      {"after the key search",
       {{"Status", coEqual, "old", ccmAfterKeySearch, caIgnoreRecord, "", ""}},
       ccmAfterKeySearch,
       true,
       true,
       {}},
      {"not equal holds for a different text",
       {{"Status", coNotEqual, "new", ccmBeforeKeySearch, caReplaceField, "City", "Town"}},
       ccmBeforeKeySearch,
       true,
       false,
       {"City<-Town"}},
      {"not equal fails for the same text",
       {{"Status", coNotEqual, "old", ccmBeforeKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       false,
       false,
       {}},
      {"missing field: equal does not hold",
       {{"Missing", coEqual, "", ccmBeforeKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       false,
       false,
       {}},
      {"missing field: not equal does not hold either",
       {{"Missing", coNotEqual, "x", ccmBeforeKeySearch, caIgnoreRecord, "", ""}},
       ccmBeforeKeySearch,
       false,
       false,
       {}},
      {"empty text is present and equals empty",
       {{"Empty", coEqual, "", ccmAfterKeySearch, caReplaceField, "Empty", "Town"}},
       ccmAfterKeySearch,
       true,
       false,
       {"Empty<-Town"}},
      {"later rule sees the earlier replacement",
       {{"Status", coEqual, "old", ccmBeforeKeySearch, caReplaceField, "Status", "Town"},
        {"Status", coEqual, "Rom", ccmBeforeKeySearch, caIgnoreRecord, "", ""},
        {"Status", coEqual, "old", ccmBeforeKeySearch, caReplaceField, "X", "Town"}},
       ccmBeforeKeySearch,
       true,
       true,
       {"Status<-Town"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFieldChangeConditions list(nullptr);
    for (const auto& r : c.Rules) {
      IFieldChangeCondition* rule = list.Add();
      rule->Set_ConditionField(r.Field);
      rule->Set_Condition(r.Condition);
      rule->Set_ConditionValue(r.Value);
      rule->Set_ConditionCheckMode(r.Mode);
      rule->Set_Action(r.Action);
      rule->Set_DestinationField(r.Dest);
      rule->Set_ReplaceField(r.Source);
    }
    TFakeRecord record;
    record.Fields = {{"Status", "old"}, {"Town", "Rom"}, {"Empty", ""}};
    bool hasDelete = !c.HasDelete;
    EXPECT_EQ(list.Run(c.Pass, record, hasDelete), c.Result);
    EXPECT_EQ(hasDelete, c.HasDelete);
    EXPECT_EQ(record.Replaced, c.Replaced);
  }
}

}  // namespace
}  // namespace vela::test

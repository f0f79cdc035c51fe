// The import object writing into a database of each backend: import modes, key search,
// conditions, record and run policies, transactions, conversions, lookups, generated values,
// callbacks and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "ImportTestSupport.h"
#include "rtl/DateUtils.h"

namespace vela::test {
namespace {

TTestItem I(std::string name, std::string value, TImportDataType dt = idtText) {
  return {std::move(name), std::move(value), dt};
}

class ImportWriteTest : public ImportTest {
 protected:
  // The records the engine feeds, the assignments ("dbfield=importfield") and the import mode.
  void Prepare(std::vector<TTestRecord> records, const std::vector<std::string>& assignments,
               TImportMode mode = DimCleanCopy) {
    FEngine.Records = std::move(records);
    Assign(assignments);
    FImport->Set_ImportMode(mode);
  }
  // Transactions on, the destination cleared, a rollback on error.
  void Transactional() {
    FImport->Set_UseTransactions(true);
    FImport->Set_ClearDestination(true);
    FImport->Set_RollBackOnError(true);
  }
};

// --- import modes ---

TEST_P(ImportWriteTest, ImportModesOnAFoundAndANewRecord) {
  const struct {
    TImportMode mode;
    std::pair<int, int> result;
    const char* annaName;
    size_t persons;
  } cases[] = {
      {DimCleanCopy, {2, 0}, "Anna", 3},  // no search: both inserted
      {DimUpdate, {1, 1}, "Changed", 2},
      {DimOnlyNew, {1, 0}, "Anna", 2},  // the found record is passed over silently
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    TClientSQL clear(Db());
    clear.SetSchemaName("person");
    clear.SetMode(csmDelete);
    clear.Execute();
    int64_t anna = InsertPerson("Anna", 30);
    Prepare({{I("N", "Changed"), I("A", "30")}, {I("N", "Bert"), I("A", "40")}},
            {"name=N", "age=A"}, c.mode);
    Keys({"age"});
    ASSERT_TRUE(Run());
    EXPECT_EQ(Result(), c.result);
    EXPECT_EQ(Field(anna, "name").AsString(), c.annaName);
    EXPECT_EQ(FCallBack->Updated,
              c.result.second ? std::vector<int64_t>{anna} : std::vector<int64_t>{});
    EXPECT_EQ(PersonIds().size(), c.persons);
    EXPECT_EQ(PersonIds("age", 40).size(), 1u);
    EXPECT_EQ(FCallBack->Texts(),
              (std::vector<std::string>{
                  "Import started", "New records: " + IntToStr(c.result.first),
                  "Updated records: " + IntToStr(c.result.second), "Import finished"}));
  }
}

TEST_P(ImportWriteTest, UnknownImportModeEndsTheEngineRunWithAnError) {
  Prepare({{I("N", "Anna")}}, {"name=N"}, DimAsk);
  Run();
  EXPECT_TRUE(PersonIds().empty());
  EXPECT_TRUE(std::any_of(FCallBack->Messages.begin(), FCallBack->Messages.end(), [](auto& m) {
    return m.Type == imtError && m.Text.find("unknown importmode!") != std::string::npos;
  }));
}

// --- key search ---

TEST_P(ImportWriteTest, KeysAreNormalisedByTheDatabaseFieldType) {
  int64_t id = InsertRow("person", {{"name", "Anna"},
                                    {"age", 42},
                                    {"amount", 1.5},
                                    {"birthday", Variant::FromDateTime(EncodeDate(2024, 3, 5))}});
  Prepare({{I("A", "0042"), I("M", "1.50"), I("B", "2024/3/5"), I("N", "found")}},
          {"age=A", "amount=M", "birthday=B", "name=N"}, DimUpdate);
  Keys({"age", "amount", "birthday"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(Result(), std::make_pair(0, 1));
  EXPECT_EQ(Field(id, "name").AsString(), "found");
}

TEST_P(ImportWriteTest, TextKeyFieldsTakeNoPartInTheSearch) {
  InsertPerson("Anna", 30);
  Prepare({{I("N", "Anna"), I("A", "31")}}, {"name=N", "age=A"}, DimUpdate);
  Keys({"name"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(Result(), std::make_pair(1, 0));
  EXPECT_EQ(PersonIds("name", "Anna").size(), 2u);
}

TEST_P(ImportWriteTest, KeyFieldsWithoutValueAreLeftOutOfTheSearch) {
  int64_t anna = InsertPerson("Anna", 30);
  // Record 1: the key "big" has no value, "age" finds Anna. Record 2: no key value at all.
  Prepare({{I("N", "Anna2"), I("A", "30")}, {I("N", "Nobody")}}, {"name=N", "age=A", "big=G"},
          DimUpdate);
  Keys({"age", "big"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(Result(), std::make_pair(1, 1));
  EXPECT_EQ(Field(anna, "name").AsString(), "Anna2");
  EXPECT_EQ(PersonIds("name", "Nobody").size(), 1u);
}

// --- conditions ---

TFieldChangeCondition* AddCondition(TImportObject& obj, TConditionCheckMode mode,
                                    const std::string& field, TCondition cmp,
                                    const std::string& value, TConditionAction action) {
  TFieldChangeCondition* c = obj.DataProcessor().FieldChangeConditions().Add();
  c->Set_ConditionCheckMode(mode);
  c->Set_ConditionField(field);
  c->Set_Condition(cmp);
  c->Set_ConditionValue(value);
  c->Set_Action(action);
  return c;
}

TEST_P(ImportWriteTest, ConditionBeforeKeySearchSkipsRecordWithHintInTheLanguage) {
  const std::pair<const char*, std::vector<std::string>> languages[] = {
      {"English",
       {"Import started", "Omitting record '2' because of defined import rule!", "New records: 1",
        "Updated records: 0", "Import finished"}},
      {"German",
       {"Import gestartet",
        "Datensatz 2 wird aufgrund einer bedingten Regel ignoriert und nicht importiert.",
        "Neue Datensätze: 1", "Aktualisierte Datensätze: 0", "Import beendet"}}};
  for (const auto& [language, texts] : languages) {
    NewObject();
    FObj->SetLanguage(language);
    Prepare({{I("N", "Anna")}, {I("N", "skip")}}, {"name=N"});
    AddCondition(*FObj, ccmBeforeKeySearch, "N", coEqual, "skip", caIgnoreRecord);
    ASSERT_TRUE(Run());
    EXPECT_EQ(FCallBack->Texts(), texts);
  }
  EXPECT_EQ(PersonIds(), PersonIds("name", "Anna"));
}

TEST_P(ImportWriteTest, ReplaceActionCopiesAnotherFieldsValue) {
  Prepare({{I("N", "Anna"), I("X", "copy"), I("T", "A")}, {I("N", "Bert"), I("X", "x")}},
          {"name=N", "note=T"});
  auto* c = AddCondition(*FObj, ccmBeforeKeySearch, "X", coEqual, "copy", caReplaceField);
  c->Set_ReplaceField("N");
  c->Set_DestinationField("T");
  // "not equal" on a field the record lacks does not hold.
  AddCondition(*FObj, ccmBeforeKeySearch, "missing", coNotEqual, "v", caIgnoreRecord);
  ASSERT_TRUE(Run());
  auto ids = PersonIds();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(Field(ids[0], "note").AsString(), "Anna");
  EXPECT_TRUE(Field(ids[1], "note").IsNull());
}

TEST_P(ImportWriteTest, ConditionAfterKeySearchDeletesFoundRecord) {
  int64_t anna = InsertPerson("Anna", 30);
  int64_t bert = InsertPerson("Bert", 40);
  Prepare(
      {{I("A", "30"), I("D", "del")}, {I("A", "40"), I("D", "del")}, {I("A", "50"), I("D", "del")}},
      {"age=A"}, DimUpdate);
  Keys({"age"});
  AddCondition(*FObj, ccmAfterKeySearch, "D", coEqual, "del", caIgnoreRecord);
  // The callback refuses the second delete.
  struct TRefuseSecond : TRecordingCallBack {
    void Do_BeforeDelete(bool s, int64_t id, bool& can) override {
      TRecordingCallBack::Do_BeforeDelete(s, id, can);
      can = DeleteAsked.size() == 1;
    }
  };
  IPtr<TRefuseSecond> cb(new TRefuseSecond);
  int progress = 0;
  FObj->RecordBuffer().OnProgress = [&](TImportObject*) { ++progress; };
  ASSERT_TRUE(FImport->Do_Execute(IPtr<IDataImportCallBack>(cb.get())));
  EXPECT_EQ(cb->DeleteAsked, (std::vector<int64_t>{anna, bert}));
  EXPECT_EQ(PersonIds(), std::vector<int64_t>{bert});  // age 50 was not found: passed over
  EXPECT_EQ(Result(), std::make_pair(0, 0));
  EXPECT_EQ(progress, 2);  // the refused delete ends its record without the progress event
}

// --- skip first, abort, ignore, rollback ---

TEST_P(ImportWriteTest, SkipFirstRecordWritesFromRecordTwo) {
  Prepare({{I("N", "header")}, {I("N", "Anna")}}, {"name=N"});
  FImport->Set_SkipFirstRecord(true);
  std::vector<int> progressAt;
  FObj->RecordBuffer().OnProgress = [&](TImportObject* s) {
    progressAt.push_back(s->RecordBuffer().RecordNumber());
  };
  ASSERT_TRUE(Run());
  EXPECT_EQ(progressAt, std::vector<int>{2});
  EXPECT_TRUE(PersonIds("name", "header").empty());
  EXPECT_EQ(Result(), std::make_pair(1, 0));
}

TEST_P(ImportWriteTest, AbortOnErrorIssuesOneAbortMessageAndStopsAtNextRecord) {
  Prepare({{I("N", "Anna"), I("!2", "first error")},
           {I("N", "Bert"), I("!2", "second error")},
           {I("N", "Carl")}},
          {"name=N"});
  FImport->Set_AbortOnError(true);
  Run();
  EXPECT_EQ(FCallBack->CountText("Import canceled because of previous error!"), 1);
  EXPECT_EQ(FEngine.Started, 2);  // the second start answered abort
  EXPECT_EQ(PersonIds().size(), 1u);
}

TEST_P(ImportWriteTest, AbortOnWarningMessageIsAnErrorAndNotRepeated) {
  Prepare({{I("N", "Anna"), I("!1", "careful")}, {I("N", "Bert")}}, {"name=N"});
  FImport->Set_AbortOnWarning(true);
  FImport->Set_AbortOnError(true);
  Run();
  // start, the warning, the abort, the two counts (the engine stopped normally), done
  ASSERT_EQ(FCallBack->Messages.size(), 6u);
  EXPECT_EQ(FCallBack->Messages[1].Text, "careful");
  EXPECT_EQ(FCallBack->Messages[2].Text, "Import canceled because of previous warning!");
  EXPECT_EQ(FCallBack->Messages[2].Type, imtError);
  EXPECT_EQ(FCallBack->CountText("Import canceled because of previous error!"), 0);
}

TEST_P(ImportWriteTest, IgnoreRecordPoliciesSkipFaultyRecords) {
  Prepare({{I("N", "Anna"), I("A", "abc")},
           {I("N", "Bert"), I("!1", "hm")},
           {I("N", "Carl"), I("A", "7")}},
          {"name=N", "age=A"});
  FImport->Set_IgnoreRecordOnError(true);
  FImport->Set_IgnoreRecordOnWarning(true);
  ASSERT_TRUE(Run());
  EXPECT_EQ(PersonIds(), PersonIds("name", "Carl"));
  EXPECT_EQ(FCallBack->CountText("Omitting record '1' because of previous error!"), 1);
  EXPECT_EQ(FCallBack->CountText("Omitting record '2' because of previous warning!"), 1);
  for (auto& m : FCallBack->Messages) {
    if (m.Text.rfind("Omitting", 0) == 0) {
      EXPECT_EQ(m.Type, imtWarning);
    }
  }
}

TEST_P(ImportWriteTest, ARecordSkippedForItsWarningIsReportedByItsError) {
  Prepare({{I("N", "Anna"), I("A", "abc"), I("!1", "hm")}}, {"name=N", "age=A"});
  FImport->Set_IgnoreRecordOnWarning(true);
  ASSERT_TRUE(Run());
  EXPECT_TRUE(PersonIds().empty());
  EXPECT_EQ(FCallBack->CountText("Omitting record '1' because of previous error!"), 1);
}

TEST_P(ImportWriteTest, RollbackOnErrorUndoesTheRunAndReportsOnlyDone) {
  InsertPerson("Keep", 1);
  Prepare({{I("N", "Anna")}, {I("N", "Bert"), I("!2", "bad")}}, {"name=N"});
  Transactional();
  EXPECT_FALSE(Run());
  EXPECT_EQ(PersonIds("name", "Keep").size(), 1u);
  EXPECT_EQ(PersonIds().size(), 1u);
  EXPECT_EQ(FCallBack->Texts(),
            (std::vector<std::string>{"Import started", "bad", "Import finished"}));
}

TEST_P(ImportWriteTest, TransactionalRunCommitsAndClearsDestination) {
  InsertPerson("Old", 1);
  Prepare({{I("N", "Anna"), I("!1", "just a warning")}}, {"name=N"});
  Transactional();
  ASSERT_TRUE(Run());
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(PersonIds(), PersonIds("name", "Anna"));
  EXPECT_EQ(PersonIds().size(), 1u);
}

// --- conversions ---

TEST_P(ImportWriteTest, CastErrorsLeaveTheFieldOutAndEmptyValuesGetTypeDefaults) {
  Prepare({{I("N", "Anna"), I("A", "2024/01/01", idtDate), I("G", "12abc")},
           {I("N", "Bert"), I("A", ""), I("G", "2,500.6", idtFloat), I("S", "")}},
          {"name=N", "age=A", "big=G", "stamp=S"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(FCallBack->CountText("Cant't convert value '2024/01/01' of import field 'A' to "
                                 "required datatype for database field 'age'. (Message: )"),
            1);
  EXPECT_EQ(FCallBack->CountText("Cant't convert value '12abc' of import field 'G' to required "
                                 "datatype for database field 'big'. (Message: '12abc' is not a "
                                 "valid integer value)"),
            1);
  ASSERT_EQ(FCallBack->Inserted.size(), 2u);
  EXPECT_TRUE(Field(FCallBack->Inserted[0], "age").IsNull());
  EXPECT_TRUE(Field(FCallBack->Inserted[0], "big").IsNull());
  const int64_t bert = FCallBack->Inserted[1];
  ASSERT_FALSE(Field(bert, "age").IsNull());
  EXPECT_EQ(Field(bert, "age").AsInteger(), 0);
  EXPECT_EQ(Field(bert, "big").AsInt64(), 2501);
  EXPECT_DOUBLE_EQ(Field(bert, "stamp").AsDateTime(), MinDateTime);
}

TEST_P(ImportWriteTest, GermanSettingsAndDeclaredTypes) {
  FormatSettings = FormatSettingsFor("de");
  Prepare({{I("N", "Anna"), I("A", "12.345"), I("M", "1,5"), I("B", "05.03.2024", idtDate),
            I("T", "13:45:10", idtTime), I("S", "05.03.2024 13:45:10", idtDateTime)}},
          {"name=N", "age=A", "amount=M", "birthday=B", "alarm=T", "stamp=S"});
  ASSERT_TRUE(Run());
  ASSERT_EQ(FCallBack->Inserted.size(), 1u);
  const int64_t id = FCallBack->Inserted[0];
  EXPECT_EQ(Field(id, "age").AsInteger(), 12345);
  EXPECT_DOUBLE_EQ(Field(id, "amount").AsDouble(), 1.5);
  EXPECT_DOUBLE_EQ(Field(id, "birthday").AsDateTime(), EncodeDate(2024, 3, 5));
  EXPECT_NEAR(Field(id, "alarm").AsDateTime(), EncodeTime(13, 45, 10, 0), 1e-8);
  EXPECT_NEAR(Field(id, "stamp").AsDateTime(), EncodeDateTime(2024, 3, 5, 13, 45, 10, 0), 1e-8);
}

// --- lookups ---

TEST_P(ImportWriteTest, LookupAndCheckDataFieldsAreTranslated) {
  int64_t bonn = InsertRow("city", {{"name", "Bonn"}});
  Prepare({{I("N", "Anna"), I("C", "Bonn"), I("S", "inactive")}},
          {"name=N", "cityid=C", "state=S"});
  ASSERT_TRUE(Run());
  ASSERT_EQ(FCallBack->Inserted.size(), 1u);
  EXPECT_EQ(Field(FCallBack->Inserted[0], "cityid").AsInt64(), bonn);
  EXPECT_EQ(Field(FCallBack->Inserted[0], "state").AsString(), "I");
}

// --- generated values ---

TEST_P(ImportWriteTest, FixedAndAutomaticValuesWithStepsAcrossTwoExecutions) {
  auto& adv = FObj->DataProcessor().AdvFieldSettings();
  TAdvFieldData* note = adv.Add("note");
  note->Set_UseFixValue(true);
  note->Set_FixValue("Nr. %d");
  TAdvFieldData* code = adv.Add("code");
  code->Set_AutoValue(true);
  code->Set_AutoValueString("%d/%d");
  code->Set_StepStart(10);
  code->Set_StepWidth(5);
  FEngine.Records = {{I("N", "a"), I("X", "source")}, {I("N", "b"), I("X", "")}};
  FImport->Set_ImportMode(DimCleanCopy);
  for (int run = 0; run < 2; ++run) {
    Assign({"name=N", "note=X"});  // "code" has no assignment: it enters as an unassigned field
    ASSERT_TRUE(Run());
  }
  auto ids = PersonIds();
  ASSERT_EQ(ids.size(), 4u);
  std::vector<std::string> notes, codes;
  for (int64_t id : ids) {
    notes.push_back(Field(id, "note").AsString());
    codes.push_back(Field(id, "code").AsString());
  }
  EXPECT_EQ(notes, (std::vector<std::string>{"Nr. 1", "Nr. 2", "Nr. 1", "Nr. 2"}));
  EXPECT_EQ(codes, (std::vector<std::string>{"1/10", "2/15", "1/10", "2/15"}));
}

// --- callbacks, simulation, clean-up ---

TEST_P(ImportWriteTest, AdvancedFieldsGoToTheCallbackInsteadOfTheTable) {
  Prepare({{I("N", "Anna"), I("T", "extra")}}, {"name=N", "note=T"});
  FImport->Set_AdvFields(NewStringListData({"note"}));
  ASSERT_TRUE(Run());
  ASSERT_EQ(FCallBack->Inserted.size(), 1u);
  int64_t id = FCallBack->Inserted[0];
  EXPECT_EQ(FCallBack->AdvFieldCalls, std::vector<std::string>{IntToStr(id) + "|note|extra|1"});
  EXPECT_TRUE(Field(id, "note").IsNull());
}

TEST_P(ImportWriteTest, SimulationChecksButWritesNothing) {
  Prepare({{I("N", "Anna")}, {I("N", "a name far longer than twenty")}}, {"name=N"});
  ASSERT_TRUE(Run(true));
  EXPECT_TRUE(PersonIds().empty());
  EXPECT_EQ(FCallBack->Inserted, std::vector<int64_t>{-1});
  EXPECT_EQ(FCallBack->Messages.front().Text + "|" + FCallBack->Messages.back().Text,
            "Simulation started|Simulation finished");
  int csqlErrors = 0;
  for (auto& m : FCallBack->Messages)
    csqlErrors += m.Type == imtError && m.Text.rfind("Error in database object: '", 0) == 0;
  EXPECT_EQ(csqlErrors, 1);
}

TEST_P(ImportWriteTest, AssignmentsAndKeysLastOneRun) {
  Prepare({{I("N", "Anna")}}, {"name=N"});
  Keys({"age"});
  EXPECT_EQ(FImport->Get_FieldAssignments()->Get_Count(), 1);
  ASSERT_TRUE(Run());
  EXPECT_EQ(std::tuple(FImport->Get_FieldAssignments()->Get_Count(),
                       FImport->Get_KeyFields()->Get_Count(), FObj->RecordBuffer().Count()),
            std::tuple(0, 0, 0));
  // A second run without assignments writes records without values.
  ASSERT_TRUE(Run());
  EXPECT_EQ(PersonIds("name", "Anna").size(), 1u);
}

TEST_P(ImportWriteTest, MissingDestinationIsReportedThroughTheCallback) {
  FObj->SetDestSchema(nullptr);
  FEngine.Records = {{I("N", "Anna")}};
  EXPECT_FALSE(Run());
  ASSERT_EQ(FCallBack->Messages.size(), 1u);
  EXPECT_EQ(FCallBack->Messages[0].Type, imtError);
  EXPECT_EQ(FObj->RecordBuffer().ImportCallBack(), nullptr);
}

TEST_P(ImportWriteTest, DialogVariantImportsWithItsSettingsWithoutUserInterface) {
  NewObject(true);
  FEngine.Records = {{I("N", "Anna")}, {I("N", "Bert")}};
  Assign({"name=N"});
  FImport->Set_SkipFirstRecord(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(PersonIds(), PersonIds("name", "Bert"));
}

VELA_INSTANTIATE_DB_TEST(ImportWriteTest);

}  // namespace
}  // namespace vela::test

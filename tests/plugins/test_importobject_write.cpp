// The import object writing into a database of each backend: import modes, key search,
// conditions, record and run policies, transactions, conversions, lookups, generated values,
// callbacks and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "ImportEngine/_TextDataImportEngine.h"
#include "ImportTestSupport.h"
#include "TestData.h"
#include "rtl/DateUtils.h"
#include "rtl/FileUtils.h"

namespace vela::test {
namespace {

TTestItem I(std::string name, std::string value, TImportDataType dt = idtText) {
  return {std::move(name), std::move(value), dt};
}

// Text records written "N=Anna|A=30;N=Bert": records end at ';', items at '|'.
std::vector<TTestRecord> Recs(const std::string& text) {
  std::vector<TTestRecord> records;
  std::istringstream in(text);
  for (std::string record, item; std::getline(in, record, ';');) {
    std::istringstream items(record);
    records.emplace_back();
    while (std::getline(items, item, '|'))
      records.back().push_back(I(item.substr(0, item.find('=')), item.substr(item.find('=') + 1)));
  }
  return records;
}

// The messages of a run that ends normally: start, the given ones, the counts, end.
std::vector<std::string> Report(std::vector<std::string> messages, int inserted, int updated = 0) {
  messages.insert(messages.begin(), "i Import started");
  messages.insert(messages.end(),
                  {"i New records: " + std::to_string(inserted),
                   "i Updated records: " + std::to_string(updated), "i Import finished"});
  return messages;
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
  void ClearPersons() {
    TClientSQL clear(Db());
    clear.SetSchemaName("person");
    clear.SetMode(csmDelete);
    clear.Execute();
  }
  // The names of the persons in id order, each followed by "|".
  std::string Names() {
    std::string names;
    for (int64_t id : PersonIds())
      names += Field(id, "name").AsString() + "|";
    return names;
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
    const char* names;
  } cases[] = {
      {DimCleanCopy, {2, 0}, "Anna|Changed|Bert|"},  // no search: both inserted
      {DimUpdate, {1, 1}, "Changed|Bert|"},
      {DimOnlyNew, {1, 0}, "Anna|Bert|"},  // the found record is passed over silently
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    ClearPersons();
    int64_t anna = InsertPerson("Anna", 30);
    Prepare(Recs("N=Changed|A=30;N=Bert|A=40"), {"name=N", "age=A"}, c.mode);
    Keys({"age"});
    ASSERT_TRUE(Run());
    EXPECT_EQ(Result(), c.result);
    EXPECT_EQ(Names(), c.names);
    EXPECT_EQ(FCallBack->Updated,
              c.result.second ? std::vector<int64_t>{anna} : std::vector<int64_t>{});
    EXPECT_EQ(FCallBack->Typed(), Report({}, c.result.first, c.result.second));
  }
}

TEST_P(ImportWriteTest, UnknownImportModeEndsTheEngineRunWithAnError) {
  Prepare(Recs("N=Anna"), {"name=N"}, DimAsk);
  Run();
  EXPECT_TRUE(PersonIds().empty());
  EXPECT_TRUE(std::any_of(FCallBack->Messages.begin(), FCallBack->Messages.end(), [](auto& m) {
    return m.Type == imtError && m.Text.find("unknown importmode!") != std::string::npos;
  }));
}

// --- key search ---

struct TKeyCase {
  const char* Name;
  const char* Records;
  std::vector<std::string> Assignments, Keys;
  std::pair<int, int> Result;
  const char* Names;  // of the persons afterwards
};

TEST_P(ImportWriteTest, KeySearch) {
  const std::vector<std::string> all = {"name=N", "age=A", "amount=M", "birthday=B", "big=G"};
  const TKeyCase cases[] = {
      // Key values are normalised by the database field type before the search.
      {"normalised",
       "A=0030|M=1.50|B=2024/3/5|N=found",
       all,
       {"age", "amount", "birthday"},
       {0, 1},
       "found|"},
      {"text keys take no part", "N=Anna|A=31", all, {"name"}, {1, 0}, "Anna|Anna|"},
      // Record 1: the key "big" has no value, "age" finds Anna. Record 2: no key value at all.
      {"keys without value left out",
       "N=Anna2|A=30;N=Nobody",
       all,
       {"age", "big"},
       {1, 1},
       "Anna2|Nobody|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ClearPersons();
    InsertRow("person", {{"name", "Anna"},
                         {"age", 30},
                         {"amount", 1.5},
                         {"birthday", Variant::FromDateTime(EncodeDate(2024, 3, 5))}});
    Prepare(Recs(c.Records), c.Assignments, DimUpdate);
    Keys(c.Keys);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Result(), c.Result);
    EXPECT_EQ(Names(), c.Names);
  }
}

// The found record is written also when its key is all a record carries: the change counter
// of the table moves once per updated record.
TEST_P(ImportWriteTest, UpdateByKeyWritesEveryFoundRecord) {
  InsertPerson("Anna", 30);
  Prepare(Recs("N=Changed|A=0030;A=30"), {"name=N", "age=A"}, DimUpdate);
  Keys({"age"});
  const uint64_t before = Db().TableVersion("person");
  ASSERT_TRUE(Run());
  EXPECT_EQ(Result(), std::make_pair(0, 2));
  EXPECT_EQ(Db().TableVersion("person") - before, 2u);
  EXPECT_EQ(Names(), "Changed|");
  EXPECT_EQ(Field(PersonIds().at(0), "age").AsInt64(), 30);
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
      {"English", Report({"i Omitting record '2' because of defined import rule!"}, 1)},
      {"German",
       {"i Import gestartet",
        "i Datensatz 2 wird aufgrund einer bedingten Regel ignoriert und nicht importiert.",
        "i Neue Datensätze: 1", "i Aktualisierte Datensätze: 0", "i Import beendet"}}};
  for (const auto& [language, texts] : languages) {
    NewObject();
    FObj->SetLanguage(language);
    Prepare(Recs("N=Anna;N=skip"), {"name=N"});
    AddCondition(*FObj, ccmBeforeKeySearch, "N", coEqual, "skip", caIgnoreRecord);
    ASSERT_TRUE(Run());
    EXPECT_EQ(FCallBack->Typed(), texts);
  }
  EXPECT_EQ(PersonIds(), PersonIds("name", "Anna"));
}

TEST_P(ImportWriteTest, ReplaceActionCopiesAnotherFieldsValue) {
  Prepare(Recs("N=Anna|X=copy|T=A;N=Bert|X=x"), {"name=N", "note=T"});
  auto* c = AddCondition(*FObj, ccmBeforeKeySearch, "X", coEqual, "copy", caReplaceField);
  c->Set_ReplaceField("N");
  c->Set_DestinationField("T");
  ASSERT_TRUE(Run());
  auto ids = PersonIds();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(Field(ids[0], "note").AsString(), "Anna");
  EXPECT_TRUE(Field(ids[1], "note").IsNull());
}

TEST_P(ImportWriteTest, ConditionAfterKeySearchDeletesFoundRecord) {
  int64_t anna = InsertPerson("Anna", 30);
  int64_t bert = InsertPerson("Bert", 40);
  Prepare(Recs("A=30|D=del;A=40|D=del;A=50|D=del"), {"age=A"}, DimUpdate);
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

// kTransaction: with the destination cleared and a rollback on error.
enum : unsigned { kSkipFirst = 1, kAbortOnError = 2, kAbortOnWarning = 4 };
enum : unsigned { kIgnoreOnError = 8, kIgnoreOnWarning = 16, kTransaction = 32 };

struct TPolicyCase {
  const char* Name;
  unsigned Policies;
  const char* Records;
  // The run's result, the records the engine started (the aborted one included), the record
  // numbers of the progress events and the persons afterwards ("Old" was there before).
  const char* Outcome;
  std::vector<std::string> Messages;
};

TEST_P(ImportWriteTest, RecordAndRunPolicies) {
  const std::string notInteger =
      "e Cant't convert value 'abc' of import field 'A' to required datatype for database field "
      "'age'. (Message: 'abc' is not a valid integer value)";
  const std::string omitted = "w Omitting record '1' because of previous error!";
  const TPolicyCase cases[] = {
      {"skip first", kSkipFirst, "N=header;N=Anna", "ok 2 started, 2 : Old|Anna|", Report({}, 1)},
      {"abort on error: one abort message, stop at the next record", kAbortOnError,
       "N=Anna|!2=first error;N=Bert|!2=second error;N=Carl", "ok 2 started, 1 : Old|Anna|",
       Report({"e first error", "e Import canceled because of previous error!"}, 1)},
      {"abort on warning: an error, not repeated", kAbortOnWarning | kAbortOnError,
       "N=Anna|!1=careful;N=Bert", "ok 2 started, 1 : Old|Anna|",
       Report({"w careful", "e Import canceled because of previous warning!"}, 1)},
      {"ignore on error and warning", kIgnoreOnError | kIgnoreOnWarning,
       "N=Anna|A=abc;N=Bert|!1=hm;N=Carl|A=7", "ok 3 started, 1 2 3 : Old|Carl|",
       Report({notInteger, omitted, "w hm", "w Omitting record '2' because of previous warning!"},
              1)},
      {"skipped for a warning, reported by its error", kIgnoreOnWarning, "N=Anna|A=abc|!1=hm",
       "ok 1 started, 1 : Old|", Report({"w hm", notInteger, omitted}, 0)},
      // A rollback reports only start and end besides the error.
      {"rollback on error",
       kTransaction,
       "N=Anna;N=Bert|!2=bad",
       "failed 2 started, 1 2 : Old|",
       {"i Import started", "e bad", "i Import finished"}},
      {"transaction committed, destination cleared", kTransaction, "N=Anna|!1=just a warning",
       "ok 1 started, 1 : Anna|", Report({"w just a warning"}, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ClearPersons();
    InsertPerson("Old", 1);
    NewObject();
    Prepare(Recs(c.Records), {"name=N", "age=A"});
    FImport->Set_SkipFirstRecord(c.Policies & kSkipFirst);
    FImport->Set_AbortOnError(c.Policies & kAbortOnError);
    FImport->Set_AbortOnWarning(c.Policies & kAbortOnWarning);
    FImport->Set_IgnoreRecordOnError(c.Policies & kIgnoreOnError);
    FImport->Set_IgnoreRecordOnWarning(c.Policies & kIgnoreOnWarning);
    if (c.Policies & kTransaction) Transactional();
    std::string progress;
    FObj->RecordBuffer().OnProgress = [&](TImportObject* s) {
      progress += IntToStr(s->RecordBuffer().RecordNumber()) + " ";
    };
    const bool ok = Run();
    EXPECT_FALSE(Db().InTransaction());
    EXPECT_EQ((ok ? "ok " : "failed ") + IntToStr(FEngine.Started) + " started, " + progress +
                  ": " + Names(),
              c.Outcome);
    EXPECT_EQ(FCallBack->Typed(), c.Messages);
  }
}

// --- conversions ---

TEST_P(ImportWriteTest, CastErrorsLeaveTheFieldOutAndEmptyValuesGetTypeDefaults) {
  Prepare({{I("N", "Anna"), I("A", "2024/01/01", idtDate), I("G", "12abc")},
           {I("N", "Bert"), I("A", ""), I("G", "2,500.6", idtFloat), I("S", "")}},
          {"name=N", "age=A", "big=G", "stamp=S"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(FCallBack->Typed(),
            Report({"e Cant't convert value '2024/01/01' of import field 'A' to required datatype "
                    "for database field 'age'. (Message: )",
                    "e Cant't convert value '12abc' of import field 'G' to required datatype for "
                    "database field 'big'. (Message: '12abc' is not a valid integer value)"},
                   2));
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
  Prepare(Recs("N=Anna|C=Bonn|S=inactive"), {"name=N", "cityid=C", "state=S"});
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
  FEngine.Records = Recs("N=a|X=source;N=b|X=");
  FImport->Set_ImportMode(DimCleanCopy);
  for (int run = 0; run < 2; ++run) {
    Assign({"name=N", "note=X"});  // "code" has no assignment: it enters as an unassigned field
    ASSERT_TRUE(Run());
  }
  std::string values;  // note and code of each person
  for (int64_t id : PersonIds())
    values += Field(id, "note").AsString() + " " + Field(id, "code").AsString() + "|";
  EXPECT_EQ(values, "Nr. 1 1/10|Nr. 2 2/15|Nr. 1 1/10|Nr. 2 2/15|");
}

// A text file read by the text engine stores the same values whether the record buffer takes
// the engine's parsed numbers and dates or, with a field rule active (a trim that changes
// nothing), reads the texts again; under both the default and the German settings.
TEST_P(ImportWriteTest, TextFileStoresTheSameValuesWithAndWithoutAFieldRule) {
  test::TTempDir app("textrules");
  const std::string savedApp = GetApplicationFolder();
  SetApplicationFolder(app.Path.string());
  std::filesystem::create_directories(app.Path / "custom");
  const char* const kFields[][3] = {
      {"N", "idtString", "name"},  {"A", "idtInteger", "age"},   {"G", "idtFloat", "big"},
      {"M", "idtFloat", "amount"}, {"B", "idtDate", "birthday"}, {"S", "idtDate", "stamp"},
      {"T", "idtDate", "alarm"},   {"X", "idtInteger", "note"},  {"C", "idtFloat", "code"}};
  std::string fields;
  std::vector<std::string> assignments;
  for (const auto& f : kFields) {
    fields += std::string("<") + f[0] + " descr=\"\" dt=\"" + f[1] + "\" />";
    assignments.push_back(std::string(f[2]) + "=" + f[0]);
  }
  app.Write("custom/people.tic",
            "<?xml version=\"1.0\" ?><dataschemas><schema name=\"people\" type=\"s\" fs=\";\">"
            "<dataformats><idtDate fmtstr=\"yyyy-mm-dd\" /><idtFloat prec=\"2\" decsep=\".\" />"
            "</dataformats><fields>" +
                fields + "</fields></schema></dataschemas>");
  const std::string file =
      app.Write("people.ppl",
                "Anna;1234;2500.6;12.50;2024-03-05;1899-12-30;2024-03-05;007;-0.5\n"
                "Bert;-17;-3.5;0.1;2024-02-30;0001-01-01;1999-12-31;42;1234567.125\n"
                "Cleo;x;;;;;;;\n");
  TTextImportEngine engine;
  // Each person's values, doubles and dates to the last bit, and the messages of the run.
  const auto import = [&](bool rule) {
    IPtr<TImportObject> obj(new TImportObject(Db()));
    obj->DataProcessor().RegisterEngine(IPtr<IDataImportEngine>(&engine));
    obj->SetEngineIndex(0);
    obj->SetFormatIndex(0);
    obj->SetInFile(file);
    obj->SetDestSchema(Db().GetSchemaByName("person"));
    obj->SetLanguage("English");
    obj->Set_FieldAssignments(NewStringListData(assignments));
    obj->Set_ImportMode(DimCleanCopy);
    if (rule)
      for (const auto& f : kFields)
        obj->DataProcessor().AdvFieldSettings().Add(f[2])->Set_RightTrim(true);
    auto callBack = IPtr<TRecordingCallBack>(new TRecordingCallBack);
    EXPECT_TRUE(obj->Do_Execute(IPtr<IDataImportCallBack>(callBack.get()), false, true));
    std::string out;
    for (const std::string& m : callBack->Typed())
      out += m + "\n";
    for (int64_t id : PersonIds()) {
      for (const auto& f : kFields) {
        const Variant v = Field(id, f[2]);
        char text[32] = "null";
        if (v.IsString())
          std::snprintf(text, sizeof text, "%s", v.AsString().c_str());
        else if (!v.IsNull())
          std::snprintf(text, sizeof text, "%.17g", v.AsDouble());
        out += std::string(f[2]) + "=" + text + " ";
      }
      out += "\n";
    }
    ClearPersons();
    return out;
  };
  for (const char* language : {"en", "de"}) {
    FormatSettings = FormatSettingsFor(language);
    const std::string parsed = import(false);
    EXPECT_EQ(parsed, import(true)) << language;
    // The values themselves, so that both ways going wrong alike shows too.
    EXPECT_NE(
        parsed.find("name=Anna age=1234 big=2501 amount=12.5 birthday=" +
                    std::to_string(static_cast<int>(EncodeDate(2024, 3, 5))) +
                    " stamp=0 alarm=0 note=007 code=-0" + FormatSettings.DecimalSeparator + "5 \n"),
        std::string::npos)
        << language << ":\n"
        << parsed;
    EXPECT_NE(parsed.find("e Record 2: Field 'B' >'2024-02-30' is not a valid date"),
              std::string::npos)
        << parsed;
  }
  SetApplicationFolder(savedApp);
}

// --- callbacks, simulation, clean-up ---

TEST_P(ImportWriteTest, AdvancedFieldsGoToTheCallbackInsteadOfTheTable) {
  Prepare(Recs("N=Anna|T=extra"), {"name=N", "note=T"});
  FImport->Set_AdvFields(NewStringListData({"note"}));
  ASSERT_TRUE(Run());
  ASSERT_EQ(FCallBack->Inserted.size(), 1u);
  int64_t id = FCallBack->Inserted[0];
  EXPECT_EQ(FCallBack->AdvFieldCalls, std::vector<std::string>{IntToStr(id) + "|note|extra|1"});
  EXPECT_TRUE(Field(id, "note").IsNull());
}

TEST_P(ImportWriteTest, SimulationChecksButWritesNothing) {
  Prepare(Recs("N=Anna;N=a name far longer than twenty"), {"name=N"});
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
  Prepare(Recs("N=Anna"), {"name=N"});
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
  FEngine.Records = Recs("N=Anna");
  EXPECT_FALSE(Run());
  ASSERT_EQ(FCallBack->Messages.size(), 1u);
  EXPECT_EQ(FCallBack->Messages[0].Type, imtError);
  EXPECT_EQ(FObj->RecordBuffer().ImportCallBack(), nullptr);
}

TEST_P(ImportWriteTest, DialogVariantImportsWithItsSettingsWithoutUserInterface) {
  NewObject(true);
  FEngine.Records = Recs("N=Anna;N=Bert");
  Assign({"name=N"});
  FImport->Set_SkipFirstRecord(true);
  EXPECT_TRUE(Run());
  EXPECT_EQ(PersonIds(), PersonIds("name", "Bert"));
}

VELA_INSTANTIATE_DB_TEST(ImportWriteTest);

}  // namespace
}  // namespace vela::test

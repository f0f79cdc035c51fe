#include <gtest/gtest.h>

#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_ADOImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"

namespace vela::test {
namespace {

struct ADOEngineFixture : ::testing::Test {
  TEngineRecorder<TADOImportEngine> Rec;
  TADOImportEngine& Engine = Rec.Engine;
  TTempDir Dir{"adoengine"};
  std::string ConnStr;
  ADOEngineFixture() {
    ConnStr = "Provider=SQLite;Data Source=" + Dir.File("s.db");
    TADOConnection c;
    c.ConnectionString = ConnStr;
    c.ExecSQL(
        "CREATE TABLE items (n INTEGER, f REAL, d DATE, t TIME, dt DATETIME, s TEXT, b BOOLEAN)");
    c.ExecSQL(
        "INSERT INTO items VALUES (1, 2.25, '2023-12-31', '08:00:00', '2023-12-31 08:00:00', "
        "'one', 1)");
    c.ExecSQL("INSERT INTO items VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL)");
    c.ExecSQL("INSERT INTO items (n, s) VALUES (3, 'three')");
  }
  void Select(std::string_view Source) {
    TStringList none;
    Rec.Processor.SetEngineParameter(0, Source, 0, none);
  }
};

TEST_F(ADOEngineFixture, SourceRecognition) {
  ASSERT_EQ(Engine.GetFormatCount(), 1);
  EXPECT_EQ(Engine.GetFormats(0)->GUID, "{E5AE2E16-7A13-452E-A077-94265E78C607}");
  int32_t e = -1, fi = -1;
  EXPECT_TRUE(Rec.Processor.QueryEngine(ConnStr, e, fi));
  EXPECT_EQ(e, 0);
  EXPECT_FALSE(Rec.Processor.QueryEngine("/data/file.csv", e, fi));
  EXPECT_TRUE(Engine.IsFileForFormat("noextension", 0));     // the base test, empty extension
  EXPECT_FALSE(Engine.IsFileForFormat("provider=x.db", 0));  // case-sensitive
}

TEST_F(ADOEngineFixture, TypedValuesNullsAndTheTableFromTheSourceSettings) {
  FormatSettingsGuard de(FormatSettingsFor("de"));
  Select(ConnStr);
  IPtr<IImportSourceSettings> settings = Supports<IImportSourceSettings>(&Engine);
  ASSERT_TRUE(settings);
  EXPECT_FALSE(settings->SetSourceParameter("schema", "x"));
  ASSERT_TRUE(settings->SetSourceParameter("table", "items"));
  ASSERT_TRUE(Rec.Processor.Execute(0, false))
      << (Rec.Messages.empty() ? "" : Rec.Messages[0].first);
  ASSERT_EQ(Rec.Rows.size(), 3u);
  TRecordedRow expected = {{"n", "1", idtInteger},
                           {"f", "2,25", idtFloat},
                           {"d", "31.12.2023", idtDate},
                           {"t", "08:00:00", idtTime},
                           {"dt", "31.12.2023 08:00:00", idtDateTime},
                           {"s", "one", idtText},
                           {"b", "True", idtText}};
  EXPECT_EQ(Rec.Rows[0], expected);
  expected[0].Value = "2";
  for (size_t i = 1; i < expected.size(); ++i)
    expected[i].Value = "";  // NULLs are sent as empty text of the column's type
  EXPECT_EQ(Rec.Rows[1], expected);
  EXPECT_EQ(Rec.Value(2, "s"), "three");
}

TEST_F(ADOEngineFixture, AbortInStartRecordSendsNoValueOfThatRow) {
  Select(ConnStr);
  Engine.SetSourceParameter("table", "items");
  Rec.AbortAtStart = 1;
  ASSERT_TRUE(Rec.Processor.Execute(0, false));
  EXPECT_EQ(Rec.StartCalls, 2);
  ASSERT_EQ(Rec.Rows.size(), 1u);
  EXPECT_EQ(Rec.Value(0, "n"), "1");
  EXPECT_EQ(Rec.ValuesOutsideRecord, 0);
}

TEST_F(ADOEngineFixture, RaisingSetValueStillPostsTheRowAndEndsTheImport) {
  Select(ConnStr);
  Engine.SetSourceParameter("table", "items");
  Rec.ThrowOnValue = "one";
  EXPECT_FALSE(Rec.Processor.Execute(0, false));
  EXPECT_EQ(Rec.StartCalls, 1);
  EXPECT_EQ(Rec.PostCalls, 1);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].first, "EConvertError: bad value");
}

TEST_F(ADOEngineFixture, SetParameterForgetsTheTable) {
  Select(ConnStr);
  Engine.SetSourceParameter("table", "items");
  TStringList fields;
  Rec.Processor.QueryFields(0, fields, false);
  EXPECT_EQ(fields.Lines(), (std::vector<std::string>{"n", "f", "d", "t", "dt", "s", "b"}));

  Select(ConnStr);
  EXPECT_EQ(Engine.TableName(), "");
  IPtr<IStringListData> data;
  EXPECT_FALSE(Engine.QueryFields(data, false));
  EXPECT_FALSE(Rec.Processor.Execute(0, false));
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].second, imtError);
  EXPECT_EQ(Rec.Messages[0].first.rfind("EADOError: ", 0), 0u) << Rec.Messages[0].first;
}

TEST_F(ADOEngineFixture, ConnectionErrorsBecomeOneErrorMessage) {
  Select("Provider=MSDASQL;Driver=NoSuchDriver");
  Engine.SetSourceParameter("table", "items");
  EXPECT_FALSE(Rec.Processor.Execute(0, false));
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].second, imtError);
}

TEST_F(ADOEngineFixture, EditSettingsAnswersWhatTheSettingsServiceSays) {
  Select(ConnStr);
  EXPECT_TRUE(Engine.HasSettings());
  EXPECT_FALSE(Engine.EditSettings());  // headless
  std::string chosen = "stale";
  EXPECT_TRUE(Engine.RunFilterTypeHandler(0, chosen));  // headless: always true, no source
  EXPECT_EQ(chosen, "");

  TScopedEngineUI ui;
  bool answer = true;
  ui->OnEditSettings = [&](IDataImportEngine* engine, int32_t) {
    Supports<IImportSourceSettings>(engine)->SetSourceParameter("table", "items");
    return answer;
  };
  ui->OnSelectSource = [](IDataImportEngine*, int32_t, std::string& source) {
    source = "Provider=SQLite;Data Source=x.db";
    return true;
  };
  EXPECT_TRUE(Engine.EditSettings());
  answer = false;
  EXPECT_FALSE(Engine.EditSettings());
  EXPECT_EQ(Engine.TableName(), "items");
  EXPECT_EQ(Engine.GetInputFile(), ConnStr);
  EXPECT_TRUE(Engine.RunFilterTypeHandler(0, chosen));
  EXPECT_EQ(chosen, "Provider=SQLite;Data Source=x.db");
}

}  // namespace
}  // namespace vela::test

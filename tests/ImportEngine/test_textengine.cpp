// The text import engine: formats from the schema files of the application folder, the record
// protocol towards the processor, messages, field queries, parameters and settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "ImportEngine/_DataImportProcessor.h"
#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_TextDataImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"
#include "rtl/FileUtils.h"
#include "rtl/RtlTestSupport.h"

namespace vela {
namespace {

// What the engine handed to the processor: each record as "name=value:type" texts, each message
// as "type text".
struct TRecordingProcessor : test::TImportRecorder {
  std::vector<std::string> Record(size_t row) const {
    std::vector<std::string> out;
    for (const test::TRecordedValue& v : Rows.at(row))
      out.push_back(v.Name + "=" + v.Value + ":" + std::to_string(static_cast<int>(v.Type)));
    return out;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& [text, type] : Messages)
      out.push_back(std::to_string(static_cast<int>(type)) + " " + text);
    return out;
  }
};

// An application folder with a custom folder of schema files, for one test.
class TextEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForceDirectories(FApp + "/custom");
    SetApplicationFolder(FApp);
  }
  void TearDown() override { SetApplicationFolder(FSavedApp); }
  // The orders sample: heads in the first file, the linking schema and items in the second.
  void InstallOrders() {
    std::filesystem::copy_file(test::DataFile("textimport/orders_head.tic"),
                               FDir.File("custom/1_head.tic"));
    std::filesystem::copy_file(test::DataFile("textimport/orders_items.tic"),
                               FDir.File("custom/2_items.tic"));
    FDir.Write("custom/notes.txt", "not a schema");
  }
  std::string Schema(const std::string& attrs, const std::string& fields = {}) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?><dataschemas><schema " +
           attrs + "><fields>" + fields + "</fields></schema></dataschemas>";
  }

  test::TTempDir FDir{"textengine"};
  const std::string FApp = FDir.Path.string(), FSavedApp = GetApplicationFolder();
  FormatSettingsGuard FSettings;  // the default settings
};

TEST_F(TextEngineTest, OneFormatPerSchemaInFileOrder) {
  InstallOrders();
  TTextImportEngine engine;
  EXPECT_EQ(engine.GetTitle(), "Text Import");
  ASSERT_EQ(engine.GetFormatCount(), 3);
  std::string guid, title, ext;
  engine.GetFormatInfo(1, guid, title, ext);
  EXPECT_EQ(guid + title + ext, "{5B0C7F1E-2D1A-4C55-9E0B-7A1F00D1E502}Orders with items.ord");
  const TImportFormat* head = engine.GetFormats(0);
  EXPECT_EQ(head->Data, engine.XMLImport().DataSchemas().SchemaByName("orders_head"));
  EXPECT_FALSE(head->HasSettings);
  EXPECT_FALSE(head->UseFormatForDialog);
  EXPECT_TRUE(head->CheckFileExt);
  EXPECT_TRUE(engine.GetFormats(1)->HasSettings);
}

// No custom folder means no formats; a broken schema file fails the construction.
TEST_F(TextEngineTest, NoCustomFolderOrABrokenSchemaFile) {
  std::filesystem::remove_all(FApp + "/custom");
  EXPECT_EQ(TTextImportEngine().GetFormatCount(), 0);
  ForceDirectories(FApp + "/custom");
  FDir.Write("custom/bad.tic", "no xml here");
  EXPECT_THROW(TTextImportEngine engine, Exception);
}

TEST_F(TextEngineTest, ImportsRecordsWithHostTypesAndMessages) {
  InstallOrders();
  TTextImportEngine engine;
  TRecordingProcessor proc;
  engine.SetParameter(test::DataFile("textimport/orders.ord"), 1, "", nullptr);
  EXPECT_TRUE(engine.Execute(7, &proc.Processor, false));
  ASSERT_EQ(proc.Rows.size(), 5u);
  EXPECT_EQ(proc.Record(0),
            (std::vector<std::string>{"kind=H:0", "number=1001:5", "orderdate=2024/01/31:3",
                                      "customer=Miller & Sons:0"}));
  EXPECT_EQ(proc.Record(1),
            (std::vector<std::string>{"kind=P:0", "article=A-17:0", "qty=3:5", "price=12.5:1"}));
  EXPECT_EQ(proc.PostCalls, 5);
  EXPECT_EQ(proc.Texts(),
            (std::vector<std::string>{"2 Record 4: Field 'kind' >SubSchema on schema 'orders' not "
                                      "defined. Value of link: 'C' Value of field: 'C'"}));
}

// A wrong extension or a missing file becomes one error message as in every engine
// (BaseDataImportEngine.BaseSlotsAnswerEmpty, ExecuteMapsExceptionsToOneErrorMessage).
TEST_F(TextEngineTest, AbortEndsQuietly) {
  InstallOrders();
  TTextImportEngine engine;
  TRecordingProcessor proc;
  proc.AbortAtStart = 1;
  engine.SetParameter(test::DataFile("textimport/orders.ord"), 0, "", nullptr);
  EXPECT_TRUE(engine.Execute(0, &proc.Processor, false));
  EXPECT_EQ(proc.PostCalls, 1);
  EXPECT_TRUE(proc.Messages.empty());
}

TEST_F(TextEngineTest, QueryFieldsUsesDescriptionsWhenFilled) {
  FDir.Write("custom/q.tic", Schema("name=\"q\" type=\"s\" fs=\";\"",
                                    "<a descr=\"Alpha\" dt=\"idtString\" /><b descr=\"  \" "
                                    "dt=\"idtString\" /><c dt=\"idtString\" />"));
  TTextImportEngine engine;
  engine.SetParameter("x.csv", 0, "", nullptr);
  IPtr<IStringListData> fields;
  ASSERT_TRUE(engine.QueryFields(fields, true));
  EXPECT_EQ(fields->Get_Text(), "a=Alpha\r\nb=b\r\nc=c\r\n");
}

TEST_F(TextEngineTest, ParametersTakeFieldsFromTheFileAndAddTheSwissBankRule) {
  FDir.Write("custom/auto.tic", Schema("name=\"auto\" type=\"s\" fs=\";\""));
  FDir.Write("custom/swiss.tic",
             Schema("name=\"banks_swiss\" type=\"s\" fs=\";\"", "<bcnr dt=\"idtString\" />"));
  const std::string data = FDir.Write("in.csv", "Name;City\nA;B\n");
  TTextImportEngine engine;
  ASSERT_EQ(engine.GetFormatCount(), 2);
  TFieldChangeConditions conditions(nullptr);

  engine.SetParameter(data, 0, "", &conditions);
  IPtr<IStringListData> fields;
  ASSERT_TRUE(engine.QueryFields(fields, false));
  EXPECT_EQ(fields->Get_Text(), "field1=Name\r\nfield2=City\r\n");
  EXPECT_EQ(conditions.Count(), 0);

  engine.SetParameter(data, 1, "", &conditions);
  engine.SetParameter(data, 1, "", &conditions);
  ASSERT_EQ(conditions.Count(), 2);  // one more rule per call
  const IFieldChangeCondition* rule = conditions.Items(0);
  EXPECT_EQ(rule->Get_ConditionField() + "|" + rule->Get_ConditionValue() + "|" +
                rule->Get_DestinationField() + "|" + rule->Get_ReplaceField(),
            "bcnrnew||bcnr|bcnrnew");
  EXPECT_EQ(std::tuple(rule->Get_Condition(), rule->Get_ConditionCheckMode(), rule->Get_Action(),
                       rule->Get_PreDefined()),
            std::tuple(coNotEqual, ccmAfterKeySearch, caReplaceField, true));
}

TEST_F(TextEngineTest, EditSettingsOnlyForFormatsWithSettings) {
  InstallOrders();
  TTextImportEngine engine;
  engine.SetParameter("x.ord", 0, "", nullptr);
  EXPECT_FALSE(engine.EditSettings());  // hs="0"
  engine.SetParameter("x.ord", 1, "", nullptr);
  EXPECT_TRUE(engine.EditSettings());  // headless: closed at once, still true

  test::TScopedEngineUI ui;
  std::vector<int32_t> asked;
  ui->OnEditSettings = [&](IDataImportEngine*, int32_t format) {
    asked.push_back(format);
    return false;  // cancelled
  };
  EXPECT_TRUE(engine.EditSettings());  // cancelled by the user, still true
  EXPECT_EQ(asked, (std::vector<int32_t>{1}));
}

}  // namespace
}  // namespace vela

#include <gtest/gtest.h>

#include <fstream>

#include "ImportEngine/QImport2ASCII.h"
#include "ImportEngine/TestImportEngine.h"
#include "ImportEngine/_EMSImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"

namespace vela::test {
namespace {

constexpr const char* kDbfGuid = "{3BA9F1E6-095F-4F5D-9B0E-87FD312CCA54}";
constexpr const char* kXmlGuid = "{E6D9313A-B24F-40D0-BA0D-FA27F710176D}";
constexpr const char* kTxtGuid = "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}";

struct EMSFixture : ::testing::Test {
  TEngineRecorder<TEMSImportEngine> Rec;
  TEMSImportEngine& Engine = Rec.Engine;
  TTempDir Dir{"emsengine"};
};

TEST_F(EMSFixture, OneFormatPerComponent) {
  const std::pair<const char*, const char*> expected[] = {
      {kDbfGuid, "DATA.DBF"}, {kXmlGuid, "data.xml"}, {kTxtGuid, "data.txt"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Engine.GetFormats(i)->GUID, expected[i].first);
    EXPECT_EQ(Engine.GetFormats(i)->Data, Engine.Importer(i));
    int32_t e = -1, f = -1;
    EXPECT_TRUE(Rec.Processor.QueryEngine(expected[i].second, e, f));
    EXPECT_EQ(f, i);
  }
  // The text component detects its separator.
  EXPECT_EQ(static_cast<TQImport2ASCII*>(Engine.Importer(2))->Comma, '\0');
}

TEST_F(EMSFixture, ValuesArriveAsTextWhateverTheirType) {
  FormatSettingsGuard de(FormatSettingsFor("de"));
  std::string file = Dir.Write("p.xml", R"(<DATAPACKET><METADATA><FIELDS>
<FIELD attrname="N" fieldtype="i4"/><FIELD attrname="D" fieldtype="date"/>
<FIELD attrname="S" fieldtype="string"/></FIELDS></METADATA>
<ROWDATA><ROW N="5" D="20231231" S="x"/><ROW N="6"/></ROWDATA></DATAPACKET>)");
  ASSERT_TRUE(Rec.Run(file, 1));
  ASSERT_EQ(Rec.Rows.size(), 2u);
  ASSERT_EQ(Rec.Rows[1].size(), 3u);  // empty values are sent too
  EXPECT_EQ(Rec.Value(0, "D"), "31.12.2023");
  EXPECT_EQ(Rec.Value(1, "S"), "");
  for (const TRecordedRow& row : Rec.Rows)
    for (const TRecordedValue& v : row)
      EXPECT_EQ(v.Type, idtText) << v.Name;
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(EMSFixture, AbortInStartRecordSendsNoValueOfThatRowAndStopsTheComponent) {
  std::string file = Dir.Write("a.txt", "A;B\n1;x\n2;y\n3;z\n");
  bool componentAskedOn = false;
  Rec.AbortAtStart = 1;
  TQImport2* txt = Engine.Importer(2);
  auto cancel = txt->OnImportCancel;
  txt->OnImportCancel = [&](TQImport2* s, bool& Continue) {
    cancel(s, Continue);
    if (Rec.StartCalls > 1) componentAskedOn = componentAskedOn || Continue;
  };
  ASSERT_TRUE(Rec.Run(file, 2));
  EXPECT_EQ(Rec.StartCalls, 2);
  ASSERT_EQ(Rec.Rows.size(), 1u);
  EXPECT_EQ(Rec.Value(0, "A"), "1");
  EXPECT_EQ(Rec.ValuesOutsideRecord, 0);
  EXPECT_FALSE(componentAskedOn);
  EXPECT_EQ(txt->RowsDelivered(), 2);

  // The next import starts afresh.
  Rec.AbortAtStart = -1;
  ASSERT_TRUE(Rec.Run(file, 2));
  EXPECT_EQ(Rec.Rows.size(), 3u);
}

TEST_F(EMSFixture, RaisingSetValueStillPostsTheRowAndEndsTheImport) {
  std::string file = Dir.Write("r.txt", "A;B\n1;bad\n2;y\n");
  Rec.ThrowOnValue = "bad";
  EXPECT_FALSE(Rec.Run(file, 2));
  EXPECT_EQ(Rec.StartCalls, 1);
  EXPECT_EQ(Rec.PostCalls, 1);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].first, "EConvertError: bad value");
}

TEST_F(EMSFixture, QueryFieldsAndFieldAssignmentWorkOnTheComponentsMap) {
  TStringList none;
  Rec.Processor.SetEngineParameter(0, Dir.File("x.txt"), 2, none);
  Rec.Processor.SetFieldAssignment(0, TStringList{"A=1", "B=2"});
  TStringList names, forSave;
  Rec.Processor.QueryFields(0, names, false);
  Rec.Processor.QueryFields(0, forSave, true);
  EXPECT_EQ(names.Lines(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(forSave.Lines(), (std::vector<std::string>{"A=1", "B=2"}));
  EXPECT_EQ(Engine.Importer(2)->Map.Count(), 2);
  EXPECT_EQ(Engine.Importer(0)->Map.Count(), 0);  // other formats keep their own map
  // What a map delivers: QImport2.MapChoosesColumnsByNameOrNumber.
}

TEST_F(EMSFixture, ParametersGiveTheCurrentComponentTheFile) {
  TStringList none;
  Rec.Processor.SetEngineParameter(0, "/data/a.dbf", 0, none);
  Rec.Processor.SetEngineParameter(0, "/data/b.txt", 2, none);
  EXPECT_EQ(Engine.Importer(0)->FileName, "/data/a.dbf");
  EXPECT_EQ(Engine.Importer(1)->FileName, "");
  EXPECT_EQ(Engine.Importer(2)->FileName, "/data/b.txt");
  EXPECT_FALSE(Engine.EditSettings());  // headless
  EXPECT_EQ(Engine.GetInputFile(), "/data/b.txt");
}

TEST_F(EMSFixture, WizardResultIsAlwaysFalseButItsFileNameIsTaken) {
  TScopedEngineUI ui;
  TQImportDestination seen = qidUserDefined;
  ui->OnEditSettings = [&](IDataImportEngine*, int32_t format) {
    seen = Engine.Importer(format)->ImportDestination;
    Engine.Importer(format)->FileName = "/chosen/by/wizard.txt";
    return true;
  };
  Rec.Processor.SetEngineParameter(0, "/data/a.txt", 2, TStringList{});
  EXPECT_FALSE(Engine.EditSettings());
  EXPECT_EQ(seen, qidDataSet);
  EXPECT_EQ(Engine.GetInputFile(), "/chosen/by/wizard.txt");
  EXPECT_EQ(Engine.Importer(2)->ImportDestination, qidUserDefined);
}

TEST_F(EMSFixture, ComponentErrorsBecomeOneErrorMessage) {
  EXPECT_FALSE(Rec.Run(Dir.File("missing.dbf"), 0));
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].second, imtError);
  EXPECT_EQ(Rec.Messages[0].first.rfind("EQImportError: ", 0), 0u) << Rec.Messages[0].first;
}

TEST_F(EMSFixture, SharedDBaseThroughTheProcessor) {
  FormatSettingsGuard en(FormatSettingsFor("en"));
  ASSERT_TRUE(Rec.Run(SampleFile("dbf/dbfread_people.dbf"), 0));
  ASSERT_EQ(Rec.Rows.size(), 2u);
  EXPECT_EQ(Rec.Value(1, "NAME"), "Bob");
  EXPECT_EQ(Rec.Value(1, "BIRTHDATE"), "1980/11/12");
}

TEST(MakeCompName, KeepsLettersDigitsAndUnderscores) {
  EXPECT_EQ(MakeCompName("XML-DATAPACKET"), "XMLDATAPACKET");
  EXPECT_EQ(MakeCompName("1st file"), "stfile");
  EXPECT_EQ(MakeCompName("--"), "_");
}

}  // namespace
}  // namespace vela::test

#include <gtest/gtest.h>

#include <fstream>

#include "ImportEngine/QImport2ASCII.h"
#include "ImportEngine/_EMSImportEngine.h"
#include "ImportEngine/test_qimport_recorder.h"
#include "TestData.h"

namespace vela::test {
namespace {

constexpr const char* kDbfGuid = "{3BA9F1E6-095F-4F5D-9B0E-87FD312CCA54}";
constexpr const char* kXmlGuid = "{E6D9313A-B24F-40D0-BA0D-FA27F710176D}";
constexpr const char* kTxtGuid = "{4AD627B0-DFD6-4DE3-A51E-AF51926B89FA}";

struct EMSFixture : ::testing::Test {
  TEMSImportEngine Engine;
  TImportRecorder Rec;
  TTempDir Dir{"emsengine"};
  EMSFixture() { Rec.Processor.RegisterEngine(&Engine); }

  std::string Write(std::string_view Name, std::string_view Text) {
    std::string p = Dir.File(Name);
    std::ofstream(p, std::ios::binary) << Text;
    return p;
  }
  bool Run(const std::string& File, int32_t Format, const TStringList& Dest = {}) {
    Rec.Processor.SetEngineParameter(0, File, Format, Dest);
    return Rec.Processor.Execute(0, false);
  }
};

TEST_F(EMSFixture, FormatsInOrderWithTheirFlags) {
  EXPECT_EQ(Engine.GetTitle(), "Standardfile Import");
  ASSERT_EQ(Engine.GetFormatCount(), 3);
  const struct {
    const char *Guid, *Title, *Ext, *Name;
  } expected[] = {{kDbfGuid, "DBase", ".dbf", "DBase"},
                  {kXmlGuid, "XML-DATAPACKET", ".xml", "XMLDATAPACKET"},
                  {kTxtGuid, "Text", ".txt", "Text"}};
  for (int i = 0; i < 3; ++i) {
    std::string guid, title, ext;
    Engine.GetFormatInfo(i, guid, title, ext);
    EXPECT_EQ(guid, expected[i].Guid);
    EXPECT_EQ(title, expected[i].Title);
    EXPECT_EQ(ext, expected[i].Ext);
    TImportFormat* f = Engine.GetFormats(i);
    EXPECT_TRUE(f->HasSettings && f->HandelFieldAssignments && f->CheckFileExt &&
                f->UseFormatForDialog && f->FileNameIsUserReadable);
    EXPECT_FALSE(f->FirstRowIsHeader);
    EXPECT_EQ(f->Data, Engine.Importer(i));
    EXPECT_EQ(Engine.Importer(i)->Name, expected[i].Name);
    EXPECT_EQ(Engine.Importer(i)->ImportDestination, qidUserDefined);
  }
  EXPECT_EQ(static_cast<TQImport2ASCII*>(Engine.Importer(2))->Comma, '\0');
  int32_t e = -1, f = -1;
  EXPECT_TRUE(Rec.Processor.QueryEngine("DATA.DBF", e, f));
  EXPECT_EQ(f, 0);
}

TEST_F(EMSFixture, ValuesArriveAsTextWhateverTheirType) {
  TFormatSettingsGuard de("de");
  std::string file = Write("p.xml", R"(<DATAPACKET><METADATA><FIELDS>
<FIELD attrname="N" fieldtype="i4"/><FIELD attrname="D" fieldtype="date"/>
<FIELD attrname="S" fieldtype="string"/></FIELDS></METADATA>
<ROWDATA><ROW N="5" D="20231231" S="x"/><ROW N="6"/></ROWDATA></DATAPACKET>)");
  ASSERT_TRUE(Run(file, 1));
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
  std::string file = Write("a.txt", "A;B\n1;x\n2;y\n3;z\n");
  bool componentAskedOn = false;
  Rec.AbortAtStart = 1;
  TQImport2* txt = Engine.Importer(2);
  auto cancel = txt->OnImportCancel;
  txt->OnImportCancel = [&](TQImport2* s, bool& Continue) {
    cancel(s, Continue);
    if (Rec.StartCalls > 1) componentAskedOn = componentAskedOn || Continue;
  };
  ASSERT_TRUE(Run(file, 2));
  EXPECT_EQ(Rec.StartCalls, 2);
  ASSERT_EQ(Rec.Rows.size(), 1u);
  EXPECT_EQ(Rec.Value(0, "A"), "1");
  EXPECT_EQ(Rec.ValuesOutsideRecord, 0);
  EXPECT_FALSE(componentAskedOn);
  EXPECT_EQ(txt->RowsDelivered(), 2);

  // The next import starts afresh.
  Rec.AbortAtStart = -1;
  Rec.Rows.clear();
  ASSERT_TRUE(Run(file, 2));
  EXPECT_EQ(Rec.Rows.size(), 3u);
}

TEST_F(EMSFixture, RaisingSetValueStillPostsTheRowAndEndsTheImport) {
  std::string file = Write("r.txt", "A;B\n1;bad\n2;y\n");
  Rec.ThrowOnValue = "bad";
  EXPECT_FALSE(Run(file, 2));
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

  // The map decides what is delivered.
  std::string file = Write("m.txt", "first,second\nx,y\n");
  Rec.Processor.SetEngineParameter(0, file, 2, none);
  Rec.Processor.SetFieldAssignment(0, TStringList{"Dest=second"});
  ASSERT_TRUE(Rec.Processor.Execute(0, false));
  ASSERT_EQ(Rec.Rows.size(), 1u);
  ASSERT_EQ(Rec.Rows[0].size(), 1u);
  EXPECT_EQ(Rec.Value(0, "Dest"), "y");
}

TEST_F(EMSFixture, ParametersSetGivesTheCurrentComponentTheFile) {
  TStringList none;
  Rec.Processor.SetEngineParameter(0, "/data/a.dbf", 0, none);
  Rec.Processor.SetEngineParameter(0, "/data/b.xml", 1, none);
  EXPECT_EQ(Engine.Importer(0)->FileName, "/data/a.dbf");
  EXPECT_EQ(Engine.Importer(1)->FileName, "/data/b.xml");
  EXPECT_EQ(Engine.Importer(2)->FileName, "");
}

TEST_F(EMSFixture, HeadlessEditSettingsIsFalse) {
  TStringList none;
  Rec.Processor.SetEngineParameter(0, "/data/a.txt", 2, none);
  EXPECT_TRUE(Engine.HasSettings());
  EXPECT_TRUE(Engine.HandelFieldAssignments());
  EXPECT_FALSE(Engine.EditSettings());
  EXPECT_EQ(Engine.GetInputFile(), "/data/a.txt");
}

// A settings service standing in for the setup wizard: it changes the file name.
struct TWizardUI : TInterfacedObject, IImportEngineUI {
  VELA_INTERFACES(TInterfacedObject, IImportEngineUI)
  TEMSImportEngine* Engine = nullptr;
  TQImportDestination SeenDestination = qidUserDefined;
  void ShowMessage(std::string_view, TEngineDialogType) override {}
  bool EditSettings(IDataImportEngine*, int32_t Format) override {
    SeenDestination = Engine->Importer(Format)->ImportDestination;
    Engine->Importer(Format)->FileName = "/chosen/by/wizard.txt";
    return true;
  }
  bool SelectSource(IDataImportEngine*, int32_t, std::string&) override { return false; }
};

TEST_F(EMSFixture, WizardResultIsAlwaysFalseButItsFileNameIsTaken) {
  IPtr<TWizardUI> ui(new TWizardUI);
  ui->Engine = &Engine;
  SetImportEngineUI(IPtr<IImportEngineUI>(ui.get()));
  TStringList none;
  Rec.Processor.SetEngineParameter(0, "/data/a.txt", 2, none);
  bool result = Engine.EditSettings();
  SetImportEngineUI(nullptr);
  EXPECT_FALSE(result);
  EXPECT_EQ(ui->SeenDestination, qidDataSet);
  EXPECT_EQ(Engine.GetInputFile(), "/chosen/by/wizard.txt");
  EXPECT_EQ(Engine.Importer(2)->ImportDestination, qidUserDefined);
}

TEST_F(EMSFixture, ComponentErrorsBecomeOneErrorMessage) {
  EXPECT_FALSE(Run(Dir.File("missing.dbf"), 0));
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].second, imtError);
  EXPECT_EQ(Rec.Messages[0].first.rfind("EQImportError: ", 0), 0u) << Rec.Messages[0].first;
}

TEST_F(EMSFixture, CheckFileComparesTheExtension) {
  TStringList none;
  std::string msg;
  Rec.Processor.SetEngineParameter(0, "/data/TABLE.DBF", 0, none);
  EXPECT_TRUE(Engine.CheckFile(msg));
  Rec.Processor.SetEngineParameter(0, "/data/table.csv", 2, none);
  EXPECT_FALSE(Engine.CheckFile(msg));
  EXPECT_EQ(msg, "File '/data/table.csv' is not a valid file for importtype 'Text'!");
}

TEST_F(EMSFixture, SharedDBaseThroughTheProcessor) {
  TFormatSettingsGuard en("en");
  ASSERT_TRUE(Run(SampleFile("dbf/dbfread_people.dbf"), 0));
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

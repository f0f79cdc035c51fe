// The main data module through its external function interface: the engine registry slots,
// import object creation with its engine choice, rights and error display, and the life cycle.
#include <gtest/gtest.h>

#include <thread>

#include "ImportEngine/TestImportEngine.h"
#include "db/DbTestSupport.h"
#include "plugins/_ImportObject.h"
#include "plugins/_dmPluginDataImportMain.h"
#include "rtl/FileUtils.h"
#ifdef VELA_HAVE_VCARD
#include "vcard/VCardConsts.h"
#endif

namespace vela::test {
namespace {

constexpr const char* kGA = "{0A000000-0000-0000-0000-0000000000A1}";
constexpr const char* kGA2 = "{0A000000-0000-0000-0000-0000000000A2}";
constexpr const char* kGB = "{0B000000-0000-0000-0000-0000000000B1}";

std::vector<std::string> gShown;
void RecordShown(const std::exception& E) {
  gShown.push_back(ExceptionText(E));
}

class DmMainTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CreateTable({"person", {{"name", ftString, 40, false, {}}}});
    FEngineA.SetTitle("Engine A");
    FEngineA.Add(kGA, "A one", ".aaa");
    FEngineA.Add(kGA2, "A two", ".noa", /*forDialog=*/false);
    FEngineB.SetTitle("Engine B");
    FEngineB.Add(kGB, "B one", ".bbb");
    gShown.clear();
    // An application folder without data schemas: the text engine brings no formats.
    FSavedFolder = GetApplicationFolder();
    SetApplicationFolder(FDir.string());
    FSavedDisplay = DataImportExceptionDisplay;
    DataImportExceptionDisplay = &RecordShown;
  }
  void TearDown() override {
    Stop();
    DataImportExceptionDisplay = FSavedDisplay;
    if (!FSavedFolder.empty()) SetApplicationFolder(FSavedFolder);
    DbTest::TearDown();
  }

  // Starts the plug-in with the data module; rights empty: all rights.
  void Start(const std::string& rights = {}, bool withDb = true) {
    auto* mi = new TVelaMainInterface(FDir.string());
    FMain = IPtr<IMainInterface>(mi);
    if (!rights.empty()) mi->Session().SetRightsText(rights);
    if (withDb) mi->SetDatabase(&Db());
    FPlugin = IPtr<TClientPluginBase>(
        new TClientPluginBase("{22222222-0000-0000-0000-000000000001}", nullptr, &FClasses, true));
    std::string err;
    ASSERT_TRUE(FPlugin->Do_CreateDataModules(FMain.get(), err)) << err;
    IPtr<IInterface> ext;
    ASSERT_TRUE(FPlugin->Do_GetExtFunc(IExtFuncDataImport::IID(), ext));
    FExt = Supports<IExtFuncDataImport>(ext);
    ASSERT_TRUE(FExt);
    FDm = dynamic_cast<TdmPluginDataImportMain*>(FPlugin->DataModules().at(0));
    ASSERT_NE(FDm, nullptr);
  }
  void StartWithEngines(const std::string& rights = {}) {
    Start(rights);
    if (HasFatalFailure()) return;
    // The module's own engines come first.
    FBase = FDm->DataProcessor().Count();
    FBaseFilter = FExt->Get_DialogFilter();
    FBaseGUIDs = FExt->Get_GUIDCommaText();
    for (int e = 0; e < FBase; ++e) {
      auto engine = FDm->DataProcessor().GetEngines(e);
      for (int f = 0; f < engine->GetFormatCount(); ++f)
        FFilterBase += engine->UseFormatForDialog(f) ? 1 : 0;
    }
    FExt->Do_RegisterEngine(IPtr<IDataImportEngine>(&FEngineA));
    FExt->Do_RegisterEngine(IPtr<IDataImportEngine>(&FEngineB));
  }
  void Stop() {
    FExt = nullptr;
    if (FPlugin) {
      FPlugin->Do_BeforeUnInit();
      FPlugin->Do_FreeDataModules();
    }
    FPlugin = nullptr;
    FMain = nullptr;
    FDm = nullptr;
  }

  // Engine and format index of the import object behind the interface.
  static std::pair<int, int> Choice(const IPtr<IDataImport>& imp) {
    auto* obj = dynamic_cast<TImportObject*>(imp.get());
    if (!obj) return {-9, -9};
    return {obj->GetEngineIndex(), obj->GetFormatIndex()};
  }

  TPluginModuleClassList FClasses{PluginDataModuleClassOf<TdmPluginDataImportMain>()};
  TTestImportEngine FEngineA, FEngineB;
  IPtr<IMainInterface> FMain;
  IPtr<TClientPluginBase> FPlugin;
  IPtr<IExtFuncDataImport> FExt;
  TdmPluginDataImportMain* FDm = nullptr;
  int FBase = 0;
  int FFilterBase = 0;
  std::string FBaseFilter, FBaseGUIDs;
  // The module's own list followed by the test engines' part.
  static std::string After(const std::string& base, const std::string& own, const char* sep) {
    return base.empty() ? own : base + sep + own;
  }
  TExceptionDisplay FSavedDisplay = nullptr;
  std::string FSavedFolder;
};

// The slots answer from the module's registry (its own engines first), as the registry does.
TEST_P(DmMainTest, RegistrySlotsAnswerFromTheModulesRegistry) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines());
  EXPECT_EQ(FExt->Get_DialogFilter(),
            After(FBaseFilter, "A one (*.aaa)|*.aaa|B one (*.bbb)|*.bbb", "|"));
  EXPECT_EQ(FExt->Get_GUIDCommaText(),
            After(FBaseGUIDs,
                  std::string("\"") + kGA + "=A one\",\"" + kGA2 + "=A two\",\"" + kGB + "=B one\"",
                  ","));
  int32_t formatIndex = 7;
  EXPECT_EQ(FExt->Get_Engine(kGA2, formatIndex).get(), static_cast<IDataImportEngine*>(&FEngineA));
  EXPECT_EQ(formatIndex, 1);
  EXPECT_FALSE(FExt->Get_Engine("{00000000-0000-0000-0000-000000000000}", formatIndex));
  EXPECT_EQ(formatIndex, -1);
  std::string guid = "x", title = "x", ext = "x";
  EXPECT_TRUE(FExt->Get_FormatByFilterIndex(FFilterBase + 2, guid, title, ext));
  EXPECT_EQ(guid + "|" + title + "|" + ext, std::string(kGB) + "|B one|.bbb");
  EXPECT_FALSE(FExt->Get_FormatByFilterIndex(FFilterBase + 3, guid, title, ext));
  EXPECT_EQ(guid + title + ext, "");
  FExt->Do_UnRegisterEngine(IPtr<IDataImportEngine>(&FEngineA));
  EXPECT_EQ(FExt->Get_DialogFilter(), After(FBaseFilter, "B one (*.bbb)|*.bbb", "|"));
}

TEST_P(DmMainTest, OwnEnginesAreRegisteredInOrder) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto& registry = FDm->DataProcessor();
  ASSERT_EQ(registry.Count(), 5);
  EXPECT_TRUE(dynamic_cast<TVCardImportEngine*>(registry.GetEngines(0).get()));
  EXPECT_TRUE(dynamic_cast<TTextImportEngine*>(registry.GetEngines(1).get()));
  EXPECT_TRUE(dynamic_cast<TEMSImportEngine*>(registry.GetEngines(2).get()));
  EXPECT_TRUE(dynamic_cast<TADOImportEngine*>(registry.GetEngines(3).get()));
  EXPECT_TRUE(dynamic_cast<TOutlookImportEngine*>(registry.GetEngines(4).get()));
  // The vCard formats are served by the first engine.
  int32_t formatIndex = -1;
  EXPECT_EQ(FExt->Get_Engine(std::string(TVCardImportEngine::VCardFormatGUID), formatIndex).get(),
            registry.GetEngines(0).get());
  // A file that no engine reads gives no import object.
  EXPECT_FALSE(FExt->Do_Import("data.aaa", "person", DimUpdate, false));
  ASSERT_EQ(gShown.size(), 1u);
}

TEST_P(DmMainTest, EngineChoicePrecedence) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines());
  // The file names a format of engine B; filter index and identity win over the file.
  // Filter index 0 falls back to the identity, then to the engine query.
  const std::string file = "in.bbb";
  const auto a = std::pair(FBase, 0), a2 = std::pair(FBase, 1), b = std::pair(FBase + 1, 0);
  EXPECT_EQ((std::vector<std::pair<int, int>>{
                Choice(FExt->Do_ImportEx1(file, "person", DimUpdate, FFilterBase + 1, false)),
                Choice(FExt->Do_ImportEx1(file, "person", DimUpdate, 0, false)),
                Choice(FExt->Do_ImportEx2(file, "person", DimUpdate, kGA2, false)),
                Choice(FExt->Do_ImportEx2(file, "person", DimUpdate, "", false)),
                Choice(FExt->Do_Import("IN.AAA", "person", DimUpdate, false)),
                Choice(FDm->CreateImportObject(file, "person", DimUpdate, 0, kGA2, false)),
                Choice(FDm->CreateImportObject(file, "person", DimUpdate, 0, "", false)),
                Choice(FDm->CreateImportObject(file, "person", DimUpdate, FFilterBase + 2, kGA2,
                                               false))}),
            (std::vector<std::pair<int, int>>{a, b, a2, b, a, a2, b, b}));
  EXPECT_TRUE(gShown.empty());
}

TEST_P(DmMainTest, ImportObjectIsConfiguredFromTheModule) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines());
  FPlugin->Do_SetLanguage(TArdoLanguage::German);
  auto imp = FExt->Do_ImportEx2("in.bbb", "person", DimOnlyNew, kGB, true);
  auto* obj = dynamic_cast<TImportObject*>(imp.get());
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(std::string(obj->ClassName()) + "|" + obj->GetInFile() + "|" + obj->GetLanguage(),
            "TImportObjectDialog|in.bbb|German");
  EXPECT_TRUE(obj->GetImportMode() == DimOnlyNew && obj->GetTransactionsAvailable());
  ASSERT_TRUE(obj->GetDestSchema());
  EXPECT_EQ(obj->DataProcessor().Count(), FBase + 2);
  // The object runs copies of the engines, not the registry's.
  EXPECT_NE(obj->DataProcessor().GetEngines(FBase + 1).get(),
            static_cast<IDataImportEngine*>(&FEngineB));

  auto plain = FExt->Do_ImportEx2("in.bbb", "nosuchtable", DimUpdate, kGB, false);
  auto* plainObj = dynamic_cast<TImportObject*>(plain.get());
  ASSERT_NE(plainObj, nullptr);
  EXPECT_STREQ(plainObj->ClassName(), "TImportObject");
  EXPECT_FALSE(plainObj->GetDestSchema());
}

TEST_P(DmMainTest, EngineNotFoundIsShownAsAUserMessage) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines());
  EXPECT_FALSE(FExt->Do_Import("letter.zzz", "person", DimUpdate, false));
  EXPECT_FALSE(FExt->Do_ImportEx2("letter.zzz", "person", DimUpdate,
                                  "{00000000-0000-0000-0000-000000000000}", false));
  const std::string text =
      "EVelaUserMessageException: Can't find a import engine which supports "
      "the file 'letter.zzz'!";
  EXPECT_EQ(gShown, (std::vector<std::string>{text, text}));
  EXPECT_THROW(FDm->CreateImportObject("letter.zzz", "person", DimUpdate, -1, "", false),
               EVelaUserMessageException);
}

TEST_P(DmMainTest, WithoutTheImportRightThereIsSilentlyNoObject) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines("101"));
  EXPECT_FALSE(FExt->Do_Import("in.aaa", "person", DimUpdate, false));
  EXPECT_FALSE(FExt->Do_ImportEx1("in.aaa", "person", DimUpdate, 1, false));
  EXPECT_FALSE(FExt->Do_ImportEx2("in.zzz", "person", DimUpdate, kGA, false));
  EXPECT_TRUE(gShown.empty());
  // The registry slots need no right.
  EXPECT_NE(FExt->Get_DialogFilter(), "");
}

TEST_P(DmMainTest, WithoutHostDatabaseTheErrorIsShown) {
  ASSERT_NO_FATAL_FAILURE(Start({}, /*withDb=*/false));
  FExt->Do_RegisterEngine(IPtr<IDataImportEngine>(&FEngineA));
  EXPECT_FALSE(FExt->Do_Import("in.aaa", "person", DimUpdate, false));
  ASSERT_EQ(gShown.size(), 1u);
  EXPECT_EQ(gShown[0].rfind("EDatabaseError: ", 0), 0u) << gShown[0];
}

TEST_P(DmMainTest, ShutDownWaitsForMainThreadJobsAndUnInitClearsTheRegistry) {
  ASSERT_NO_FATAL_FAILURE(StartWithEngines());
  int job = 0, other = 0;
  FDm->AddVelaXMLJob(&job);
  EXPECT_FALSE(FPlugin->Do_CanShutDown());
  std::thread([&] { FDm->AddVelaXMLJob(&other); }).join();
  FDm->RemoveVelaXMLJob(&job);
  EXPECT_TRUE(FPlugin->Do_CanShutDown());

  FPlugin->Do_BeforeUnInit();
  EXPECT_EQ(FExt->Get_GUIDCommaText(), "");
  int32_t formatIndex = 0;
  EXPECT_FALSE(FExt->Get_Engine(kGA, formatIndex));
}

#ifdef VELA_HAVE_VCARD
TEST_P(DmMainTest, MessageTableHoldsTheCardFieldCaptions) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_FALSE(VCardFieldCaptions().empty());
  const auto& [field, caption] = VCardFieldCaptions().front();
  const std::string key = std::string(kCardCaptionKeyPrefix) + std::string(field);
  EXPECT_EQ(FDm->siLang().GetText(key, TArdoLanguage::German), caption.De);
  EXPECT_EQ(FDm->siLang().GetText(key, TArdoLanguage::English), caption.En);
}
#endif

// The plug-in's language reaches the data module: its texts label the pick-up states.
TEST_P(DmMainTest, LanguageLabelsThePickupStates) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto states = [&] {
    std::vector<std::string> r;
    auto item = Db().GetSchemaByName("dataimport_userpickupstore");
    if (!item) return r;
    if (auto list = item->GetFieldListData("processedstate"))
      for (const auto& e : *list)
        r.push_back(e.Value + "=" + e.Text);
    return r;
  };
  FPlugin->Do_SetLanguage(TArdoLanguage::English);
  EXPECT_EQ(states(),
            (std::vector<std::string>{"0=New", "1=Successfully", "2=Failed", "3=Deleted"}));
  FPlugin->Do_SetLanguage(TArdoLanguage::German);
  EXPECT_EQ(states(),
            (std::vector<std::string>{"0=Neu", "1=Erfolgreich", "2=Fehlgeschlagen", "3=Gelöscht"}));
}

INSTANTIATE_TEST_SUITE_P(SQLite, DmMainTest, ::testing::Values(TDbBackendKind::SQLite),
                         BackendParamName);

}  // namespace
}  // namespace vela::test

// The source settings of an import object: checked with the engine when set, given to the engine
// again on every run after SetParameter (which makes the engine forget them).
#include "plugins/ImportTestSupport.h"
#include "plugins/_DataImportSourceSettingsIntf.h"

namespace vela::test {
namespace {

// A test engine with one source setting, "table", forgotten by every SetParameter; each run
// records the table it was given.
class TTableEngine : public TTestEngine, public IImportSourceSettings {
  VELA_IMPORT_ENGINE_CLASS(TTableEngine)
  VELA_INTERFACES(TTestEngine, IImportSourceSettings)

  using TTestEngine::TTestEngine;

  bool SetSourceParameter(std::string_view Name, std::string_view Value) override {
    if (!SameText(Name, "table")) return false;
    Table = Value;
    return true;
  }

  std::string Table;
  std::vector<std::string> TablesRead;

 protected:
  void ParametersSet(IFieldChangeConditions*) override { Table.clear(); }
  bool DoImport() override {
    TablesRead.push_back(Table);
    return TTestEngine::DoImport();
  }
};

class ImportSourceSettingsTest : public ImportTest {
 protected:
  void UseTableEngine() {
    NewObject(false, &FTableEngine);
    FTableEngine.Records = {{{"name", "Ann"}}};
  }
  IPtr<IDataImportSourceSettings> Settings() {
    return Supports<IDataImportSourceSettings>(FImport);
  }

  TTableEngine FTableEngine;
};

TEST_P(ImportSourceSettingsTest, NamesCheckedByTheEngineAndKeptOncePerName) {
  // The plain test engine takes none.
  ASSERT_TRUE(Settings());
  EXPECT_FALSE(Settings()->Get_HasSourceSettings());
  EXPECT_FALSE(Settings()->Set_SourceSetting("table", "x"));
  EXPECT_EQ(Settings()->Get_SourceSettings()->Get_Count(), 0);
  UseTableEngine();
  auto settings = Settings();
  EXPECT_TRUE(settings->Get_HasSourceSettings());
  EXPECT_FALSE(settings->Set_SourceSetting("tabel", "x"));
  EXPECT_FALSE(settings->Set_SourceSetting("", "x"));
  EXPECT_TRUE(settings->Set_SourceSetting("table", "first"));
  EXPECT_TRUE(settings->Set_SourceSetting("TABLE", "a=b"));  // replaces, value may hold '='
  EXPECT_EQ(settings->Get_SourceSettings()->Get_Text(), "table=a=b\r\n");
  settings->Clear_SourceSettings();
  EXPECT_EQ(settings->Get_SourceSettings()->Get_Count(), 0);
}

TEST_P(ImportSourceSettingsTest, EveryRunGivesTheSettingsAfterSetParameter) {
  UseTableEngine();
  ASSERT_TRUE(Settings()->Set_SourceSetting("table", "customers"));
  Assign({"name=name"});
  ASSERT_TRUE(Run());
  Assign({"name=name"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(FTableEngine.TablesRead, (std::vector<std::string>{"customers", "customers"}));
  EXPECT_EQ(CountRows("person"), 2);
  // Without a setting the engine runs with what SetParameter left: nothing.
  Settings()->Clear_SourceSettings();
  Assign({"name=name"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(FTableEngine.TablesRead.back(), "");
}

VELA_INSTANTIATE_DB_TEST(ImportSourceSettingsTest);

}  // namespace
}  // namespace vela::test

// The host plug-in framework: data module life cycle, shut-down vote, external functions.
#include <gtest/gtest.h>

#include "host/PluginBase.h"

namespace vela {
namespace {

std::vector<std::string> gEvents;

struct IDemoExtFunc : virtual IInterface {
  VELA_IID("{0D3C2B1A-1111-4222-8333-944455556666}");
  virtual int Answer() = 0;
};

template <int N>
class TTestModule : public TPluginBaseDataModule, public IDemoExtFunc {
  VELA_INTERFACES(TPluginBaseDataModule, IDemoExtFunc)
 public:
  static inline bool RefuseShutDown = false;
  static inline bool FailCreate = false;
  static inline bool FailInit = false;
  explicit TTestModule(TClientPluginBase* owner) : TPluginBaseDataModule(owner) {
    if (FailCreate) throw EConvertError("create " + std::to_string(N));
    gEvents.push_back("create " + std::to_string(N));
    SetSelfIsExtFunc(N == 2);
  }
  ~TTestModule() override { gEvents.push_back("free " + std::to_string(N)); }
  static const char* StaticClassName() noexcept { return N == 1 ? "TdmOne" : "TdmTwo"; }
  const char* ClassName() const noexcept override { return StaticClassName(); }
  void Init() override {
    if (FailInit) throw EConvertError("init " + std::to_string(N));
    gEvents.push_back("init " + std::to_string(N));
  }
  void AfterStartup() override { gEvents.push_back("startup " + std::to_string(N)); }
  bool CanShutDown() override {
    gEvents.push_back("can " + std::to_string(N));
    return !RefuseShutDown;
  }
  void ShutDownAborted() override { gEvents.push_back("aborted " + std::to_string(N)); }
  void BeforeUnInit() override { gEvents.push_back("uninit " + std::to_string(N)); }
  int Answer() override { return N; }
};
using TOne = TTestModule<1>;
using TTwo = TTestModule<2>;

class PluginBase : public ::testing::Test {
 protected:
  void SetUp() override {
    gEvents.clear();
    TTwo::RefuseShutDown = TTwo::FailCreate = TTwo::FailInit = false;
    TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TOne>(), &FList);
    TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TTwo>(), &FList);
    FMain = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  }
  IPtr<IClientPlugin> MakePlugin(bool createModules = true) {
    return MakeIntf<TClientPluginBase, IClientPlugin>("{11111111-2222-3333-4444-555555555555}",
                                                      nullptr, &FList, createModules);
  }
  TPluginModuleClassList FList;
  IPtr<IMainInterface> FMain;
};

TEST_F(PluginBase, LifeCycleRunsInOrderAndFreesInReverse) {
  auto plugin = MakePlugin();
  std::string error;
  ASSERT_TRUE(plugin->Do_CreateDataModules(FMain.get(), error));
  ASSERT_TRUE(plugin->Do_Init(error));
  ASSERT_TRUE(plugin->Do_AfterStartup(error));
  EXPECT_TRUE(plugin->Do_CanShutDown());
  plugin->Do_BeforeUnInit();
  plugin->Do_FreeDataModules();
  EXPECT_EQ(gEvents, (std::vector<std::string>{"create 1", "create 2", "init 1", "init 2",
                                               "startup 1", "startup 2", "can 1", "can 2",
                                               "uninit 1", "uninit 2", "free 2", "free 1"}));
}

TEST_F(PluginBase, RefusedShutDownTellsThoseThatAgreed) {
  auto plugin = MakePlugin();
  std::string error;
  ASSERT_TRUE(plugin->Do_CreateDataModules(FMain.get(), error));
  TTwo::RefuseShutDown = true;
  gEvents.clear();
  EXPECT_FALSE(plugin->Do_CanShutDown());
  EXPECT_EQ(gEvents, (std::vector<std::string>{"can 1", "can 2", "aborted 1"}));
}

TEST_F(PluginBase, FailuresComeBackAsMessages) {
  auto plugin = MakePlugin();
  std::string error;
  TTwo::FailCreate = true;
  EXPECT_FALSE(plugin->Do_CreateDataModules(FMain.get(), error));
  EXPECT_EQ(error, "EConvertError: create 2");
  // The first one was freed again.
  EXPECT_EQ(gEvents, (std::vector<std::string>{"create 1", "free 1"}));
  EXPECT_EQ(plugin->Get_DataModuleCount(), 0);
  TTwo::FailCreate = false;
  TTwo::FailInit = true;
  ASSERT_TRUE(plugin->Do_CreateDataModules(FMain.get(), error));
  EXPECT_FALSE(plugin->Do_Init(error));
  EXPECT_EQ(error, "EConvertError: init 2");
}

TEST_F(PluginBase, WithoutAutomaticDataModulesNoneAreCreated) {
  auto plugin = MakePlugin(false);
  std::string error;
  EXPECT_TRUE(plugin->Do_CreateDataModules(FMain.get(), error));
  EXPECT_EQ(plugin->Get_DataModuleCount(), 0);
  EXPECT_EQ(plugin->Get_DataModuleClassCount(), 2);
  EXPECT_EQ(plugin->Get_DataModuleClassName(1), "TdmTwo");
}

TEST_F(PluginBase, ExternalFunctionsAndServices) {
  auto* base =
      new TClientPluginBase("{11111111-2222-3333-4444-555555555555}", nullptr, &FList, true);
  IPtr<IClientPlugin> plugin(base);
  std::string error;
  ASSERT_TRUE(plugin->Do_CreateDataModules(FMain.get(), error));
  IPtr<IInterface> ext;
  ASSERT_TRUE(plugin->Do_GetExtFunc(IDemoExtFunc::IID(), ext));
  auto demo = Supports<IDemoExtFunc>(ext);
  ASSERT_TRUE(demo);
  EXPECT_EQ(demo->Answer(), 2);  // only the second module declared itself
  EXPECT_FALSE(plugin->Do_GetExtFunc(MakeGUID("{99999999-2222-3333-4444-555555555555}"), ext));
  EXPECT_FALSE(ext);

  auto* mainVela = static_cast<TVelaMainInterface*>(FMain.get());
  mainVela->Session().SetRights({100});
  mainVela->SetGlobalSetting("DBInstanceSource", "main");
  TPluginBaseDataModule* dm = base->DataModules().at(0);
  EXPECT_TRUE(dm->HasRight(100));
  EXPECT_FALSE(dm->HasRight(101));
  EXPECT_EQ(dm->GetGlobalSettings()->Get_Text(), "DBInstanceSource=main\r\n");
  EXPECT_EQ(dm->GetLanguage(), TArdoLanguage::English);
  plugin->Do_SetLanguage(TArdoLanguage::German);
  EXPECT_EQ(dm->GetLanguage(), TArdoLanguage::German);
  // No database opened by the host.
  EXPECT_THROW(dm->GetDBInterface(), EDatabaseError);
  EXPECT_THROW(dm->GetDBFieldSchema(), EDatabaseError);
}

TEST(MainInterface, PathMacrosAndPlaceholders) {
  TVelaMainInterface mi("/srv/app/", THostKind::hkServer, "Vela");
  mi.SetFreeOnRelease(false);
  EXPECT_EQ(mi.Get_ApplicationFolder(), "/srv/app");
  EXPECT_EQ(mi.ExpandPathMacros("$App$\\custom\\a.tic"), "/srv/app/custom/a.tic");
  EXPECT_EQ(mi.ExpandPathMacros("$PLUGINS$/x.vxp"), "/srv/app/custom/plugins/x.vxp");
  EXPECT_EQ(mi.ExpandPathMacros("$custom$"), "/srv/app/custom");
  EXPECT_EQ(mi.ExpandPathMacros("no macro"), "no macro");
  auto values = NewNamedVariantListData();
  values->SetValueByName("FileName", Variant(std::string("a.csv")));
  EXPECT_EQ(mi.ExpandPlaceholders("%filename% by %USERNAME% in %APPTITLE%: 100% %x%", values.get()),
            "a.csv by admin in Vela: 100% %x%");
  EXPECT_EQ(mi.ExpandPlaceholders("50%", nullptr), "50%");
}

}  // namespace
}  // namespace vela

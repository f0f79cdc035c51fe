// The business integration module's copy of the container types, which every post looks its
// type up in: changes made through this process show at once, changes of another process within
// a second, and the copy is not read again for every post.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "business_integration/_dmBusinessIntegration.h"
#include "db/DbTestSupport.h"
#include "host/MainInterface.h"
#include "host/db/VelaRecordSet.h"
#include "module/_PluginModuleRegistration.h"

namespace vela::test {
namespace {

constexpr const char* kTypes = "businessintegration_exchangecontainertype";

class ContainerTypesTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto* mi = new TVelaMainInterface(FDir.string());
    FMain = IPtr<IMainInterface>(mi);
    mi->SetDatabase(&Db());
    FPlugin = IPtr<TClientPluginBase>(
        new TClientPluginBase("{22222222-0000-0000-0000-000000000019}", nullptr, &FClasses, true));
    std::string err;
    ASSERT_TRUE(FPlugin->Do_CreateDataModules(FMain.get(), err)) << err;
    FDm = dynamic_cast<TdmBusinessIntegration*>(FPlugin->DataModules().at(0));
    ASSERT_NE(FDm, nullptr);
  }
  void TearDown() override {
    if (FPlugin) {
      FPlugin->Do_BeforeUnInit();
      FPlugin->Do_FreeDataModules();
    }
    FPlugin = nullptr;
    FMain = nullptr;
    DbTest::TearDown();
  }

  // The names of the types in the module's copy, comma-separated in record order.
  std::string Names() {
    auto types = FDm->ContainerTypesClone();
    std::string names;
    for (int i = 0; i < types->GetRecordCount(); ++i)
      names += (i ? "," : "") + types->ValueByName(i, "descr").AsString();
    return names;
  }

  TPluginModuleClassList FClasses{PluginDataModuleClassOf<TdmBusinessIntegration>()};
  IPtr<IMainInterface> FMain;
  IPtr<TClientPluginBase> FPlugin;
  TdmBusinessIntegration* FDm = nullptr;
};

TEST_P(ContainerTypesTest, OwnChangesShowAtOnceThoseOfAnotherProcessWithinASecond) {
  InsertRow(kTypes, {{"descr", std::string("orders")}});
  EXPECT_EQ(Names(), "orders");
  InsertRow(kTypes, {{"descr", std::string("forms")}});
  const auto read = std::chrono::steady_clock::now();
  EXPECT_EQ(Names(), "orders,forms");

  // Another process: a database of its own, whose writes this one hears nothing of.
  TVelaDatabaseOptions options;
  options.SchemaFile = FSchemaFile;
  auto other = TVelaDatabase::Open(FUrl, options);
  InsertRow(kTypes, {{"descr", std::string("later")}}, other.get());
  const std::string soon = Names();
  // A machine that stalled for most of a second may have read the table again meanwhile.
  if (std::chrono::steady_clock::now() - read < std::chrono::milliseconds(800)) {
    EXPECT_EQ(soon, "orders,forms") << "the types were read again for one lookup";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(Names(), "orders,forms,later");
}

VELA_INSTANTIATE_DB_TEST(ContainerTypesTest);

}  // namespace
}  // namespace vela::test

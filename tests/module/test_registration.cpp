// The module's entry and registration, in process (the module's objects are linked in).
#include <gtest/gtest.h>

#include "business_integration/_dmBusinessIntegration.h"
#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/_dmPluginDataImportMain.h"

namespace vela {
namespace {

TEST(PluginModuleRegistration, ClassListHoldsTheTwoDataModulesInOrder) {
  ASSERT_NE(PluginModuleClassList, nullptr);
  ASSERT_EQ(PluginModuleClassList->size(), 2u);
  EXPECT_STREQ((*PluginModuleClassList)[0]->ClassName, "TdmPluginDataImportMain");
  EXPECT_STREQ((*PluginModuleClassList)[1]->ClassName, "TdmBusinessIntegration");
  // Registering again adds nothing.
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmBusinessIntegration>(),
                                              PluginModuleClassList);
  EXPECT_EQ(PluginModuleClassList->size(), 2u);
}

TEST(PluginModuleRegistration, VersionNeedsNoInitProc) {
  EXPECT_EQ(XMLPreProcVersion(), 2);
  IPtr<IInterface> plugin;
  InitProc(plugin);
  EXPECT_EQ(XMLPreProcVersion(), 2);
}

TEST(PluginModuleRegistration, XMLPreProcYieldsIndependentObjects) {
  IPtr<IXMLPreProcessor> a, b;
  XMLPreProc(a);
  XMLPreProc(b);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->Get_Caption(), "CustomImportPreProcessor");
  a = nullptr;  // releasing one leaves the other usable
  EXPECT_EQ(b->Get_Caption(), "CustomImportPreProcessor");
  std::string error = "x";
  bool user = true;
  EXPECT_TRUE(b->Do_PreConvert(nullptr, nullptr, "", xmpFile, xmpRAW, nullptr, nullptr,
                               pemImportTransformXML, nullptr, false, nullptr, error, user));
}

TEST(PluginModuleRegistration, InitProcYieldsThePluginWithItsDataModules) {
  IPtr<IInterface> obj;
  InitProc(obj);
  auto plugin = Supports<IClientPlugin>(obj);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->Get_PluginGuid(), "{38DA8783-CA9F-4A0D-978F-48A26FE92C8B}");
  ASSERT_EQ(plugin->Get_DataModuleClassCount(), 2);
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  std::string error;
  ASSERT_TRUE(plugin->Do_CreateDataModules(mi.get(), error)) << error;
  ASSERT_EQ(plugin->Get_DataModuleCount(), 2);
  EXPECT_EQ(plugin->Get_DataModuleName(0), "TdmPluginDataImportMain");
  EXPECT_EQ(plugin->Get_DataModuleName(1), "TdmBusinessIntegration");
  ASSERT_NE(dmPluginDataImportMain, nullptr);
  EXPECT_EQ(dmPluginDataImportMain->GetPluginGuid(), plugin->Get_PluginGuid());
  EXPECT_EQ(dmPluginDataImportMain->GetMainInterface().get(), mi.get());
  EXPECT_TRUE(plugin->Do_Init(error));
  EXPECT_TRUE(plugin->Do_AfterStartup(error));
  EXPECT_TRUE(plugin->Do_CanShutDown());
  // BeforeUnInit of the main data module frees the factory.
  PreProcessorFactory();
  EXPECT_TRUE(PreProcessorFactoryAssigned());
  plugin->Do_BeforeUnInit();
  EXPECT_FALSE(PreProcessorFactoryAssigned());
  plugin->Do_FreeDataModules();
  EXPECT_EQ(plugin->Get_DataModuleCount(), 0);
  EXPECT_EQ(dmPluginDataImportMain, nullptr);
  EXPECT_EQ(dmBusinessIntegration, nullptr);
}

}  // namespace
}  // namespace vela

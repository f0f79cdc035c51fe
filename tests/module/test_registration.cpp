// The module's entry and registration: in process (the module's objects are linked in), and as
// the host loads the library, through dlopen with only its three exports.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <set>

#include "business_integration/_dmBusinessIntegration.h"
#include "host/PluginLoader.h"
#include "module/_PluginModuleRegistration.h"
#include "module/_VelaXMLPreProcessorFactory.h"
#include "plugins/_dmPluginDataImportMain.h"
#include "rtl/RtlTestSupport.h"
#include "vela/PluginExport.h"

namespace vela {
namespace {

const std::string kModule = VELA_MODULE_LIBRARY;
const std::string kModuleGuid = "{38DA8783-CA9F-4A0D-978F-48A26FE92C8B}";

std::set<std::string> ExportedSymbols(const std::string& library) {
  std::set<std::string> result;
  const std::string cmd = "nm -D --defined-only --format=posix '" + library + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
  if (!pipe) return result;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string s(line);
    result.insert(s.substr(0, s.find(' ')));
  }
  return result;
}

TEST(ModuleLibrary, ExportsExactlyTheThreeEntryPoints) {
  EXPECT_EQ(ExportedSymbols(kModule),
            (std::set<std::string>{"InitProc", "XMLPreProc", "XMLPreProcVersion"}));
}

TEST(ModuleLibrary, LoadStartShutDownUnload) {
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  TPluginLibrary library(kModule);
  library.Load();
  ASSERT_NE(library.Plugin(), nullptr);
  EXPECT_EQ(library.Plugin()->Get_PluginGuid(), kModuleGuid);
  // The plug-in object knows the library it came from.
  EXPECT_NE(library.Plugin()->Get_ModuleFileName().find("libVelaServerDataImport.so"),
            std::string::npos);
  library.Start(mi.get());
  ASSERT_EQ(library.Plugin()->Get_DataModuleCount(), 2);
  EXPECT_EQ(library.Plugin()->Get_DataModuleName(0), "TdmPluginDataImportMain");
  EXPECT_EQ(library.Plugin()->Get_DataModuleName(1), "TdmBusinessIntegration");
  EXPECT_TRUE(library.CanShutDown());
  library.Shutdown();
  EXPECT_EQ(library.Handle(), nullptr);
  EXPECT_EQ(library.Plugin(), nullptr);
}

TEST(ModuleLibrary, PreProcessorExportsWorkWithoutInitProc) {
  void* handle = ::dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  auto version = reinterpret_cast<TXMLPreProcVersion>(::dlsym(handle, kXMLPreProcVersionExport));
  auto create = reinterpret_cast<TXMLPreProc>(::dlsym(handle, kXMLPreProcExport));
  ASSERT_TRUE(version && create);
  EXPECT_EQ(version(), 2);
  {
    IPtr<IXMLPreProcessor> a, b;
    create(a);
    create(b);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    a = nullptr;  // releasing one leaves the other usable
    // The module's own pre-processor is the SQL dataset pre-processor.
    EXPECT_EQ(b->Get_Caption(), "SQL tables and queries");
    EXPECT_TRUE(Supports<IPreConverterDataBaseConfigSupport>(b)->Get_SupportsTableList());
    std::string error;
    bool user = true;
    IPtr<IDataStream> out = NewDataStream(new TMemoryStream, true);
    EXPECT_FALSE(b->Do_PreConvert(nullptr, out.get(), "[DB]\nTableName=t\n", xmpFile, xmpRAW,
                                  nullptr, nullptr, pemImportTransformXML, nullptr, false, nullptr,
                                  error, user));
    EXPECT_EQ(error, "Exception: PartName for VelaXML not found in configuration!");
  }
  EXPECT_EQ(::dlclose(handle), 0);
}

TEST(ModuleLibrary, MissingLibraryOrEntryIsALoadError) {
  TPluginLibrary missing("/nonexistent/libVelaServerDataImport.so");
  EXPECT_THROW(missing.Load(), EPluginLoadError);
  // A pre-processor library has no InitProc.
  TPluginLibrary noInit(std::string(VELA_TEST_PLUGIN_DIR) + "/GoodPre.vxp");
  const std::string raised = RaisedText([&] { noInit.Load(); });
  EXPECT_EQ(raised.rfind("EPluginLoadError: ", 0), 0u) << raised;
  EXPECT_NE(raised.find("'InitProc' not found"), std::string::npos) << raised;
  EXPECT_EQ(noInit.Handle(), nullptr);
}

// In process: the data module globals and the factory, which the loaded library keeps to itself.
TEST(ModuleRegistration, InitProcWiresTheDataModulesAndUnInitFreesTheFactory) {
  // Registering a data module again adds nothing.
  TClientPluginBase::RegisterPluginDataModule(PluginDataModuleClassOf<TdmBusinessIntegration>(),
                                              PluginModuleClassList);
  EXPECT_EQ(PluginModuleClassList->size(), 2u);
  IPtr<IInterface> obj;
  InitProc(obj);
  auto plugin = Supports<IClientPlugin>(obj);
  ASSERT_TRUE(plugin);
  auto mi = MakeIntf<TVelaMainInterface, IMainInterface>("/srv/app");
  std::string error;
  ASSERT_TRUE(plugin->Do_CreateDataModules(mi.get(), error)) << error;
  ASSERT_NE(dmPluginDataImportMain, nullptr);
  EXPECT_NE(BusinessIntegrationModule, nullptr);
  EXPECT_NE(dmPluginDataImportMain->Get_BusinessIntegration(), nullptr);
  EXPECT_EQ(dmPluginDataImportMain->GetPluginGuid(), kModuleGuid);
  EXPECT_EQ(dmPluginDataImportMain->GetMainInterface().get(), mi.get());
  EXPECT_TRUE(plugin->Do_Init(error));
  EXPECT_TRUE(plugin->Do_AfterStartup(error));
  PreProcessorFactory();
  EXPECT_TRUE(PreProcessorFactoryAssigned());
  plugin->Do_BeforeUnInit();
  EXPECT_FALSE(PreProcessorFactoryAssigned());
  plugin->Do_FreeDataModules();
  EXPECT_EQ(dmPluginDataImportMain, nullptr);
  EXPECT_EQ(BusinessIntegrationModule, nullptr);
  EXPECT_EQ(BusinessIntegration, nullptr);
}

}  // namespace
}  // namespace vela

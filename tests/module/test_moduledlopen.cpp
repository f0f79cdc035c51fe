// The module library as the host loads it: through dlopen, with only its three exports.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <set>

#include "host/PluginLoader.h"
#include "vela/PluginExport.h"

namespace vela {
namespace {

const std::string kModule = VELA_MODULE_LIBRARY;

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
  EXPECT_EQ(library.Plugin()->Get_PluginGuid(), "{38DA8783-CA9F-4A0D-978F-48A26FE92C8B}");
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
    EXPECT_EQ(a->Get_Caption(), "CustomImportPreProcessor");
  }
  EXPECT_EQ(::dlclose(handle), 0);
}

TEST(ModuleLibrary, MissingLibraryOrEntryIsALoadError) {
  TPluginLibrary missing("/nonexistent/libVelaServerDataImport.so");
  EXPECT_THROW(missing.Load(), EPluginLoadError);
  // A pre-processor library has no InitProc.
  TPluginLibrary noInit(std::string(VELA_TEST_PLUGIN_DIR) + "/GoodPre.vxp");
  try {
    noInit.Load();
    ADD_FAILURE();
  } catch (const EPluginLoadError& e) {
    EXPECT_NE(e.Message().find("'InitProc' not found"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(noInit.Handle(), nullptr);
}

}  // namespace
}  // namespace vela

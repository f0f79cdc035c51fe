#include "ModuleHost.h"

#include <unistd.h>

#include <iostream>

#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {
TModuleHost* gCurrent = nullptr;

std::string ExecutableFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return ExtractFileDir(std::string(buf, static_cast<size_t>(n)));
}
}  // namespace

std::string FindModuleLibrary() {
  const std::string exeDir = ExecutableFolder();
  for (const std::string& candidate :
       {exeDir + "/" + kModuleLibraryName, ExtractFileDir(exeDir) + "/lib/" + kModuleLibraryName})
    if (FileExists(candidate)) return candidate;
  return {};
}

TModuleHost* CurrentModuleHost() {
  return gCurrent;
}

TModuleHost::TModuleHost(const GlobalOptions& global) {
  if (!global.Home.empty()) SetApplicationFolder(global.Home);
  auto* mi = new TVelaMainInterface(GetApplicationFolder(), THostKind::hkClient, "velaimport");
  FMainInterface = IPtr<IMainInterface>(mi);
  mi->Session().SetLanguage(LanguageFromName(global.Lang));
  if (!global.Rights.empty()) mi->Session().SetRightsText(global.Rights);
}

TModuleHost::~TModuleHost() {
  if (FLibrary) {
    FLibrary->Shutdown();
    FLibrary.reset();
  }
  if (gCurrent == this) gCurrent = nullptr;
}

void TModuleHost::Start() {
  const std::string fileName = FindModuleLibrary();
  if (fileName.empty())
    throw EPluginLoadError(std::string("The module library ") + kModuleLibraryName +
                           " was found neither next to velaimport nor in ../lib");
  FLibrary = std::make_unique<TPluginLibrary>(fileName);
  FLibrary->Load();
  FLibrary->Start(FMainInterface.get());
  gCurrent = this;
}

void TModuleHost::Shutdown() {
  if (!FLibrary) return;
  if (!FLibrary->CanShutDown())
    std::cerr << "warning: the module reports running work; shutting down anyway\n";
  gCurrent = nullptr;
  FLibrary->Shutdown();
  FLibrary.reset();
}

}  // namespace vela::cli

#include "ModuleHost.h"

#include <unistd.h>

#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {
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

TModuleHost::TModuleHost(const GlobalOptions& global, bool serverHost) {
  auto* mi = new TVelaMainInterface(
      GetApplicationFolder(), serverHost ? THostKind::hkServer : THostKind::hkClient, "velaimport");
  FMainInterface = IPtr<IMainInterface>(mi);
  mi->Session().SetLanguage(LanguageFromName(global.Lang));
  if (!global.Rights.empty()) mi->Session().SetRightsText(global.Rights);
}

TModuleHost::~TModuleHost() {
  if (FLibrary) FLibrary->Shutdown();
}

void TModuleHost::Start() {
  const std::string fileName = FindModuleLibrary();
  if (fileName.empty())
    throw EPluginLoadError(std::string("The module library ") + kModuleLibraryName +
                           " was found neither next to velaimport nor in ../lib");
  FLibrary = std::make_unique<TPluginLibrary>(fileName);
  FLibrary->Load();
  FLibrary->Start(FMainInterface.get());
}

}  // namespace vela::cli

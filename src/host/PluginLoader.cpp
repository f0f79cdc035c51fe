#include "host/PluginLoader.h"

#include <dlfcn.h>

namespace vela {

namespace {
using TInitProcEntry = void (*)(IPtr<IInterface>& APlugin);
}

TPluginLibrary::~TPluginLibrary() {
  Shutdown();
}

void TPluginLibrary::Load() {
  if (FHandle) return;
  // RTLD_LOCAL: the plug-in's own symbols stay out of the global namespace; RTLD_NOW: a missing
  // symbol fails here, not in the middle of a run.
  FHandle = ::dlopen(FFileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* err = ::dlerror();
    throw EPluginLoadError("Can't load plug-in library '" + FFileName + "'" +
                           (err ? std::string(": ") + err : std::string()));
  }
  auto init = reinterpret_cast<TInitProcEntry>(::dlsym(FHandle, "InitProc"));
  if (!init) {
    Shutdown();
    throw EPluginLoadError("Error: Export 'InitProc' not found in '" + FFileName + "'!");
  }
  IPtr<IInterface> plugin;
  try {
    init(plugin);
  } catch (...) {
    plugin = nullptr;
    Shutdown();
    throw;
  }
  FPlugin = Supports<IClientPlugin>(plugin);
  plugin = nullptr;
  if (!FPlugin) {
    Shutdown();
    throw EPluginLoadError("The library '" + FFileName + "' yields no plug-in object");
  }
}

void TPluginLibrary::Start(IMainInterface* mainInterface) {
  if (!FPlugin) throw EPluginLoadError("The plug-in library '" + FFileName + "' is not loaded");
  if (FStarted) return;
  std::string error;
  if (!FPlugin->Do_CreateDataModules(mainInterface, error))
    throw EPluginLoadError("Creating the data modules failed: " + error);
  FStarted = true;
  if (!FPlugin->Do_Init(error) || !FPlugin->Do_AfterStartup(error)) {
    FPlugin->Do_BeforeUnInit();
    FPlugin->Do_FreeDataModules();
    FStarted = false;
    throw EPluginLoadError("Starting the plug-in failed: " + error);
  }
}

bool TPluginLibrary::CanShutDown() {
  return !FStarted || !FPlugin || FPlugin->Do_CanShutDown();
}

void TPluginLibrary::Shutdown() noexcept {
  if (FPlugin) {
    if (FStarted) {
      FPlugin->Do_BeforeUnInit();
      FPlugin->Do_FreeDataModules();
      FStarted = false;
    }
    // The host's reference ends the plug-in object's life, before its code goes away.
    FPlugin = nullptr;
  }
  if (FHandle) {
    ::dlclose(FHandle);
    FHandle = nullptr;
  }
}

void* TPluginLibrary::Symbol(const char* name) const noexcept {
  return FHandle ? ::dlsym(FHandle, name) : nullptr;
}

}  // namespace vela

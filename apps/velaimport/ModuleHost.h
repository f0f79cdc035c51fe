// velaimport as the module's host: finds the module library, loads it and starts it before a
// command runs, and shuts it down cleanly afterwards.
#pragma once

#include <memory>
#include <string>

#include "Commands.h"
#include "host/MainInterface.h"
#include "host/PluginLoader.h"

namespace vela::cli {

inline constexpr const char* kModuleLibraryName = "libVelaServerDataImport.so";

// The module library: next to the executable, else in ../lib beside its folder. Empty when
// neither exists.
std::string FindModuleLibrary();

class TModuleHost {
 public:
  // Sets the application folder ($APP$: --home, $VELA_HOME or the executable's folder) and
  // builds the main interface from the global options; loads nothing yet.
  explicit TModuleHost(const GlobalOptions& global);
  // Shuts down if still running.
  ~TModuleHost();

  // Loads the library (InitProc), creates the data modules, Init and AfterStartup. Raises
  // EPluginLoadError.
  void Start();
  // CanShutDown (a refusal is reported on stderr; the command line cannot wait), BeforeUnInit,
  // frees the data modules, releases the plug-in and unloads the library.
  void Shutdown();

  IMainInterface* MainInterface() const noexcept { return FMainInterface.get(); }
  IClientPlugin* Plugin() const noexcept { return FLibrary ? FLibrary->Plugin() : nullptr; }

 private:
  IPtr<IMainInterface> FMainInterface;
  std::unique_ptr<TPluginLibrary> FLibrary;
};

// The running host while a command runs (nil before and after).
TModuleHost* CurrentModuleHost();

}  // namespace vela::cli

// velaimport as the module's host: finds the module library, loads it and starts it, and shuts
// it down cleanly afterwards.
#pragma once

#include <memory>
#include <string>

#include "CommandLine.h"
#include "host/MainInterface.h"
#include "host/PluginLoader.h"

namespace vela::cli {

inline constexpr const char* kModuleLibraryName = "libVelaServerDataImport.so";

// The module library: next to the executable, else in ../lib beside its folder. Empty when
// neither exists.
std::string FindModuleLibrary();

class TModuleHost {
 public:
  // Builds the main interface for the application folder from the global options (language,
  // rights), as the application server's when serverHost is set; loads nothing yet.
  explicit TModuleHost(const GlobalOptions& global, bool serverHost = false);
  // BeforeUnInit, frees the data modules, releases the plug-in and unloads the library.
  ~TModuleHost();

  // Loads the library (InitProc), creates the data modules, Init and AfterStartup. Raises
  // EPluginLoadError.
  void Start();
  // Whether the module agrees to shut down now.
  bool CanShutDown() { return !FLibrary || FLibrary->CanShutDown(); }

  IMainInterface* MainInterface() const noexcept { return FMainInterface.get(); }
  IClientPlugin* Plugin() const noexcept { return FLibrary ? FLibrary->Plugin() : nullptr; }
  // An export of the module library (nil before Start or when absent).
  void* Symbol(const char* name) const noexcept {
    return FLibrary ? FLibrary->Symbol(name) : nullptr;
  }

 private:
  IPtr<IMainInterface> FMainInterface;
  std::unique_ptr<TPluginLibrary> FLibrary;
};

}  // namespace vela::cli

// The host side of a plug-in library: loads the library, takes the plug-in object from its
// InitProc, runs the data modules through start-up and shut-down, and unloads it again.
#pragma once

#include <string>

#include "host/MainInterface.h"
#include "host/PluginBase.h"
#include "rtl/Exceptions.h"

namespace vela {

VELA_DECLARE_EXCEPTION(EPluginLoadError, Exception);

class TPluginLibrary {
 public:
  explicit TPluginLibrary(std::string fileName) : FFileName(std::move(fileName)) {}
  // Shuts down without asking and unloads.
  ~TPluginLibrary();
  TPluginLibrary(const TPluginLibrary&) = delete;
  TPluginLibrary& operator=(const TPluginLibrary&) = delete;

  // Loads the library and calls InitProc. Raises EPluginLoadError when the library cannot be
  // loaded, lacks InitProc or yields no plug-in object; an exception of InitProc passes through.
  void Load();
  // Creates the data modules, then Init and AfterStartup. Raises EPluginLoadError with the
  // plug-in's message on failure (the data modules are freed again then).
  void Start(IMainInterface* mainInterface);
  // Asks the plug-in whether it may shut down (true when nothing is started).
  bool CanShutDown();
  // BeforeUnInit, frees the data modules, releases the plug-in object and unloads the library.
  void Shutdown() noexcept;

  const std::string& FileName() const noexcept { return FFileName; }
  void* Handle() const noexcept { return FHandle; }
  IClientPlugin* Plugin() const noexcept { return FPlugin.get(); }
  bool Started() const noexcept { return FStarted; }
  // An export of the library (nil when absent or not loaded).
  void* Symbol(const char* name) const noexcept;

 private:
  std::string FFileName;
  void* FHandle = nullptr;
  IPtr<IClientPlugin> FPlugin;
  bool FStarted = false;
};

}  // namespace vela

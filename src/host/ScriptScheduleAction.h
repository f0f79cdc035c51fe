// The host's scheduled action "Script": runs a Lua script of the application folder, sandboxed
// like the system scripts. Its configuration is key=value lines:
//   Script=$CUSTOM$/scripts/nightly.lua   the file, below the application folder ($APP$ and
//                                          $CUSTOM$ expanded; relative names from the folder)
//   Function=Nightly                       optional: the global function to call; without it the
//                                          file's chunk is what runs
//   Days=7                                 any further lines: one table argument of the function
//                                          (of the chunk: its "..."), values as strings
// A first result false, or a script error, fails the action; the error text (or the string
// that follows false) goes to the callback.
#pragma once

#include <string>

#include "host/Scheduler.h"

namespace vela {

inline constexpr const char* kScriptScheduleActionId = "{5D7A31C8-94E2-4B6F-A0D3-2C8E61F947B5}";
inline constexpr const char* kScriptScheduleActionCaption = "Script";

// Runs one configuration against the application folder; true when the script succeeded.
bool RunScriptScheduleAction(const std::string& AApplicationFolder, const std::string& AConfigData,
                             const TScheduleCallback& ACallback);

// Registers the action with the scheduler for the application folder (replacing an earlier
// registration).
void RegisterScriptScheduleAction(TVelaScheduler& AScheduler,
                                  const std::string& AApplicationFolder);

}  // namespace vela

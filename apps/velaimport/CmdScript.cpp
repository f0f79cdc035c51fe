// velaimport script: runs a Lua script with the module's script bindings and the variable
// DataimportModule, against the host database of the run.
#include "Commands.h"
#include "ModuleHost.h"
#include "platform/script/ScriptEngine.h"
#include "rtl/FileUtils.h"

namespace vela::cli {

namespace {

struct TScriptCommandOptions {
  std::string File;
  std::vector<std::string> Args;
  bool Sandbox = false;
};

// The script's first result decides the exit code: false gives 1, an integer that code, anything
// else (or nothing) 0.
int ExitCodeOf(const std::vector<Variant>& AResults) {
  if (AResults.empty()) return kExitOk;
  const Variant& r = AResults.front();
  if (r.kind() == Variant::Kind::Boolean) return r.AsBoolean() ? kExitOk : kExitFailed;
  if (r.kind() == Variant::Kind::Int32 || r.kind() == Variant::Kind::Int64)
    return static_cast<int>(r.AsInt64());
  return kExitOk;
}

int RunScriptCommand(TCommandContext& c, const TScriptCommandOptions& o) {
  if (!FileExists(o.File)) throw EUsageError("script '" + o.File + "' not found");
  c.ModuleDatabase();
  std::vector<Variant> args(o.Args.begin(), o.Args.end());
  std::vector<Variant> results;
  try {
    TScriptEngine engine(
        {.Sandbox = o.Sandbox, .RootFolder = c.Module().MainInterface()->Get_ApplicationFolder()});
    results = engine.DoFile(o.File, args);
  } catch (const EScriptError& e) {
    // The message names the script and the line.
    throw ECommandFailed(e.Message());
  }
  return ExitCodeOf(results);
}

}  // namespace

void RegisterScriptCommands(TCommandLine& cli) {
  auto so = std::make_shared<TScriptCommandOptions>();
  auto* cmd = cli.Add("script", "runs a Lua script with the variable DataimportModule bound",
                      [so](TCommandContext& c) { return RunScriptCommand(c, *so); });
  cmd->add_option("file", so->File, "the script (Lua 5.4)")->required();
  cmd->add_option("args", so->Args, "the script's arguments (its ... and the table arg)");
  cmd->add_flag("--sandbox", so->Sandbox,
                "run as the server runs scripts: no programs, no native modules, files only "
                "below the application folder");
}

}  // namespace vela::cli

// The velaimport command line: global options and the registration of each command group.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vela {
class TVelaDatabase;
}

namespace vela::cli {

// A JSON string literal for s (quotes, backslashes and control characters escaped).
std::string JsonQuote(std::string_view s);

// Exit codes of velaimport.
enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitRecordErrors = 4 };

// Options that stand before or after any command.
struct GlobalOptions {
  std::string Home;         // --home, else $VELA_HOME, else the executable's folder
  std::string Db;           // --db, default sqlite:$APP$/vela.db
  std::string Lang = "en";  // --lang en|de
  bool Json = false;
  bool Quiet = false;
  bool Verbose = false;
  bool NoProgress = false;
  std::string Rights;  // --rights, comma-separated numbers; empty = all rights
};

// A command's action runs after parsing and returns the process exit code.
using CommandAction = std::function<int()>;

// Each command group registers its subcommands on the app and stores the action to run when a
// subcommand was chosen. `action` is set by the callback of the chosen subcommand.
void RegisterDemoCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);
void RegisterCardCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);
void RegisterDbCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);
void RegisterPreprocessorCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);
void RegisterImportCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);
void RegisterOutlookCommands(CLI::App& app, GlobalOptions& global, CommandAction& action);

// Opens the host database that --db names (default sqlite:$APP$/vela.db, $APP$ from --home,
// $VELA_HOME or the executable's folder); creates the host tables on first use.
std::unique_ptr<TVelaDatabase> OpenHostDatabase(const GlobalOptions& global);

}  // namespace vela::cli

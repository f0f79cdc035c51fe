// The command-line layer of velaimport, shared by every command: the global options, the exit
// codes, the output (results on stdout, messages and the progress line on stderr, as JSON with
// --json), the one exception guard, and the module and host database a command works with,
// loaded or opened only when the command first asks for them.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/Interfaces.h"

namespace vela {
class TVelaDatabase;
class TVelaMainInterface;
}  // namespace vela

namespace vela::cli {

class TModuleHost;

// JSON values whose objects keep the order in which their keys were added.
using TJson = nlohmann::ordered_json;

// Exit codes of velaimport.
enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitRecordErrors = 4 };

// A failure whose text is complete as it stands: reported as "error: TEXT", exit code 1.
class ECommandFailed : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ECommandFailed"; }
  bool IsUserMessage() const noexcept override { return true; }
};

// A usage or configuration error (unknown option, missing file, unknown table): exit code 2.
VELA_DECLARE_EXCEPTION(EUsageError, ECommandFailed);

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

// Hint: what to try next, after an error.
enum class TMessageKind { Info, Warning, Error, Hint };

// What a running command works with: its output channels, the module and the host database.
// One per run of velaimport.
class TCommandContext {
 public:
  // Sets the application folder from --home.
  explicit TCommandContext(const GlobalOptions& global);
  // Releases what Close has not (without reporting).
  ~TCommandContext();
  TCommandContext(const TCommandContext&) = delete;
  TCommandContext& operator=(const TCommandContext&) = delete;

  const GlobalOptions& Global() const noexcept { return FGlobal; }
  bool Json() const noexcept { return FGlobal.Json; }

  // A result on stdout: with --json the value as one line, else what text writes (if anything).
  void Output(const TJson& json, const std::function<void(std::ostream&)>& text = nullptr);
  // A message on stderr: "info: ", "warning: ", "error: " or "hint: " and the text, or with --json
  // the line {"type":"info","message":"..."}. --quiet drops information messages.
  void Message(TMessageKind kind, const std::string& text);
  // Redraws the progress line (only when stderr is a terminal, without --no-progress and
  // --json); the next message or the end of the command erases it.
  void Progress(const std::string& text);
  void EndProgress();

  // The module, loaded and started on first use.
  TModuleHost& Module();
  // The module is hosted by the application server (call before Module).
  void UseServerHost() noexcept { FServerHost = true; }
  // A global setting of the host (name=value), given to the module when it starts.
  void SetHostSetting(std::string name, std::string value) {
    FHostSettings.emplace_back(std::move(name), std::move(value));
  }
  // The module's external function interface T; fails naming `what` when the module has none.
  template <class T>
  IPtr<T> ModuleFunction(const char* what) {
    if (auto intf = Supports<T>(ModuleExtFunc(T::IID()))) return intf;
    throw ECommandFailed(std::string("the module offers no ") + what);
  }
  // The host database that --db names, opened on first use. A URL of no known kind is a usage
  // error.
  TVelaDatabase& Database();
  // The host database, also handed to the module for this run.
  TVelaDatabase& ModuleDatabase();

  // Takes the database back from the module, shuts the module down (a refusal becomes a
  // warning: the command line cannot wait) and closes the database.
  void Close();

 private:
  IPtr<IInterface> ModuleExtFunc(const TGUID& iid);

  const GlobalOptions& FGlobal;
  bool FProgressAllowed;
  bool FProgressShown = false;
  bool FServerHost = false;
  std::vector<std::pair<std::string, std::string>> FHostSettings;
  std::unique_ptr<TVelaDatabase> FDatabase;
  std::unique_ptr<TModuleHost> FModule;
  // Hands the database to the host's main interface (once).
  void AttachDatabase(TModuleHost& AModule);
  bool FLanguageSet = false;
  TVelaMainInterface* FDatabaseUser =
      nullptr;  // the module's main interface, once it has FDatabase
};

// A command's work: returns the exit code. Exceptions are the guard's: EUsageError gives 2, a
// silent abort 1 without text, anything else 1 with the exception's text.
using TCommandBody = std::function<int(TCommandContext&)>;

// The velaimport command line: the global options, the commands, and one run.
class TCommandLine {
 public:
  TCommandLine();

  // A command group such as `db`: it needs one of its commands.
  CLI::App* AddGroup(const std::string& name, const std::string& description);
  // A command below the application (or a group). Its options are added to the returned app;
  // body runs when the command was chosen.
  CLI::App* Add(const std::string& name, const std::string& description, TCommandBody body);
  CLI::App* Add(CLI::App& group, const std::string& name, const std::string& description,
                TCommandBody body);

  // Parses the arguments and runs the chosen command under the guard; returns the exit code.
  int Run(int argc, char** argv);

 private:
  CLI::App FApp;
  GlobalOptions FGlobal;
  TCommandBody FChosen;
};

}  // namespace vela::cli

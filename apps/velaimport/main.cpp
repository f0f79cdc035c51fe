// velaimport: the host executable. Parses the global options, then runs the chosen command.
#include <cstdlib>
#include <iostream>

#include "Commands.h"
#include "ModuleHost.h"
#include "rtl/Exceptions.h"

using namespace vela::cli;

int main(int argc, char** argv) {
  CLI::App app{"velaimport - the VelaServerDataImport host: imports and exports data"};
  app.require_subcommand(1);
  app.fallthrough();
  GlobalOptions global;
  if (const char* home = std::getenv("VELA_HOME")) global.Home = home;
  app.add_option("--home", global.Home, "the application folder ($APP$)");
  app.add_option("--db", global.Db, "database URL: sqlite:PATH or postgresql://...");
  app.add_option("--lang", global.Lang, "language of the system's messages")
      ->check(CLI::IsMember({"en", "de"}));
  app.add_flag("--json", global.Json, "machine-readable output");
  app.add_flag("--quiet", global.Quiet, "fewer messages");
  app.add_flag("--verbose", global.Verbose, "more messages");
  app.add_flag("--no-progress", global.NoProgress, "no progress bar");
  app.add_option("--rights", global.Rights, "rights of the running user, comma-separated");

  CommandAction action;
  RegisterDemoCommands(app, global, action);
  RegisterCardCommands(app, global, action);
  RegisterDbCommands(app, global, action);
  RegisterPreprocessorCommands(app, global, action);
  RegisterImportCommands(app, global, action);
  RegisterOutlookCommands(app, global, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? kExitOk : kExitUsage;
  }
  try {
    // The module is loaded and started before any command runs, and shut down after it.
    TModuleHost module(global);
    module.Start();
    const int rc = action ? action() : kExitUsage;
    module.Shutdown();
    return rc;
  } catch (const std::exception& e) {
    std::cerr << "error: " << vela::ExceptionText(e) << "\n";
    return kExitFailed;
  }
}

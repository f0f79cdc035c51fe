// velaimport demo: a short tour of the runtime until the real imports land.
#include <iostream>

#include "Commands.h"

namespace vela::cli {

void RegisterDemoCommands(CLI::App& app, GlobalOptions& /*global*/, CommandAction& action) {
  auto* cmd = app.add_subcommand("demo", "show that the runtime works");
  cmd->callback([&action] {
    action = [] {
      std::cout << "VelaServerDataImport runtime ready\n";
      return 0;
    };
  });
}

}  // namespace vela::cli

// velaimport card ...: contact file conversion through the card library.
#include "Commands.h"

namespace vela::cli {

void RegisterCardCommands(CLI::App& /*app*/, GlobalOptions& /*global*/, CommandAction& /*action*/) {}

}  // namespace vela::cli

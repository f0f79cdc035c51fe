// The command groups of velaimport. Each registers its commands on the command line; a command
// is a name, a description, its options and a body that gets the command context.
#pragma once

#include "CommandLine.h"

namespace vela::cli {

void RegisterCardCommands(TCommandLine& cli);
void RegisterContainerCommands(TCommandLine& cli);
void RegisterDbCommands(TCommandLine& cli);
void RegisterImportCommands(TCommandLine& cli);
void RegisterLogCommands(TCommandLine& cli);
void RegisterOutlookCommands(TCommandLine& cli);
void RegisterPreconvertCommands(TCommandLine& cli);
void RegisterPreprocessorCommands(TCommandLine& cli);
void RegisterScriptCommands(TCommandLine& cli);
void RegisterServerCommands(TCommandLine& cli);
void RegisterVelaXMLCommands(TCommandLine& cli);

}  // namespace vela::cli

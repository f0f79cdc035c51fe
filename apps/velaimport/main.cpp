// velaimport: the host executable. Registers the commands, then parses the arguments and runs
// the chosen one.
#include "Commands.h"

using namespace vela::cli;

int main(int argc, char** argv) {
  TCommandLine cli;
  RegisterImportCommands(cli);
  RegisterPreprocessorCommands(cli);
  RegisterVelaXMLCommands(cli);
  RegisterPreconvertCommands(cli);
  RegisterDbCommands(cli);
  RegisterCardCommands(cli);
  RegisterContainerCommands(cli);
  RegisterOutlookCommands(cli);
  RegisterScriptCommands(cli);
  RegisterServerCommands(cli);
  RegisterLogCommands(cli);
  return cli.Run(argc, argv);
}

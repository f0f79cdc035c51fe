// velaimport: the host executable.
#include <CLI/CLI.hpp>
#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"velaimport - VelaServerDataImport host"};
  CLI11_PARSE(app, argc, argv);
  return 0;
}

// kvcvrt-cli: the command-line companion of the converter window, for scripts,
// batch runs and machines without a display.
#include <CLI/CLI.hpp>

#include "zuduradu/cli/cli_options.h"
#include "zuduradu/cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app("Converts matrix input text into period data files and back, and describes such files.", "kvcvrt-cli");
  app.set_version_flag("--version", std::string("kvcvrt-cli ") + KVCVRT_VERSION);
  kvcli::Options options(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version end with status 0; every parse error is a usage error.
    return app.exit(e) == 0 ? kvcli::kExitSuccess : kvcli::kExitUsage;
  }
  return kvcli::Run(options.Collect());
}

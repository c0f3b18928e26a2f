// kvcvrt-cli: the command-line companion of the converter window, for scripts,
// batch runs and machines without a display.
#include <CLI/CLI.hpp>

#include <iostream>

#include "zuduradu/cli/cli_options.h"
#include "zuduradu/cli/commands.h"
#include "zuduradu/cli/console.h"

namespace {

int Main(const std::vector<std::string>& arguments) {
  const kvcli::Utf8Console console;
  CLI::App app("Converts matrix input text into period data files and back, and describes such files.", "kvcvrt-cli");
  app.set_version_flag("--version", std::string("kvcvrt-cli ") + KVCVRT_VERSION);
  kvcli::Options options(app);
  try {
    // The parser takes the arguments after the program name, last one first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    if (!reversed.empty()) reversed.pop_back();
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    // Help and version end with status 0; every parse error is a usage error.
    return app.exit(e) == 0 ? kvcli::kExitSuccess : kvcli::kExitUsage;
  }
  const int status = kvcli::Run(options.Collect());
  std::cout.flush();
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Main(kvcli::Utf8Arguments(argc, argv)); }
#else
int main(int argc, char** argv) { return Main(kvcli::Utf8Arguments(argc, argv)); }
#endif

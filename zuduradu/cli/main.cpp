// kvcvrt-cli: the command-line companion of the converter window, for scripts,
// batch runs and machines without a display.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "zuduradu/cli/cli_options.h"
#include "zuduradu/cli/commands.h"
#include "zuduradu/cli/console.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/os.h"

namespace {

int Parse(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    return -1;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help and --version
    // A mistyped command or option is named, with the nearest valid one.
    if (const auto unknown = kvcli::DescribeUnknown(app)) {
      std::cerr << *unknown << "\nRun with --help for more information.\n";
      return kvcli::kExitUsage;
    }
    app.exit(e);
    return kvcli::kExitUsage;
  }
}

// Everything written to standard output must have reached it: a script that
// redirects to a full disk is told, by the status, that its file is incomplete.
// A command that already failed has said why.
int CheckStandardOutput(int status) {
  errno = 0;
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  const int reason = errno;
  if (flushed && !std::ferror(stdout) && std::cout.good()) return status;
  if (status != kvcli::kExitSuccess) return status;
  std::cerr << "kvcvrt-cli: could not write to standard output"
            << (reason != 0 ? ": " + kv::SystemReason(reason) : std::string()) << '\n';
  return kvcli::kExitRefused;
}

int Main(std::vector<std::string> args) {
  kv::os::ReportFileSizeLimitAsError();
  kv::os::MarkRunning();
  const kvcli::Utf8Console console;
  CLI::App app("Converts matrix input text into period data files and back, and describes such files.", "kvcvrt-cli");
  app.set_version_flag("-V,--version", std::string("kvcvrt-cli ") + KVCVRT_VERSION);
  app.footer(
      "Exit status: 0 on success, 1 when a run or file is refused (nothing is written), 2 when the command line is "
      "wrong.\nRun kvcvrt-cli help COMMAND (or COMMAND --help) for the options of a command.");
  kvcli::CommandLine line;
  kvcli::DeclareCommands(app, line);

  std::string error;
  if (const auto help = kvcli::HelpArguments(app, args, error)) {
    if (help->empty()) {
      std::cerr << error << "\nRun with --help for more information.\n";
      return kvcli::kExitUsage;
    }
    args = *help;
  }
  int status = Parse(app, args);
  if (status < 0) status = kvcli::Run(line);
  return CheckStandardOutput(status);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Main(kvcli::Utf8Arguments(argc, argv)); }
#else
int main(int argc, char** argv) { return Main(kvcli::Utf8Arguments(argc, argv)); }
#endif

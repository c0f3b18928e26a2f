// The commands of kvcvrt-cli. Each takes the parsed options, calls the core
// and prints; each returns its exit status or throws.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <stdexcept>

#include "zuduradu/cli/cli_options.h"
#include "zuduradu/cli/view_options.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/run/request.h"

namespace kvcli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // a refused run or file
inline constexpr int kExitUsage = 2;    // the command line is wrong

// A mistake in the command line that the parser cannot see by itself.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A run refused before the core was asked: a model that is not accepted, a
// missing input file. The message uses the window's words.
class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The core's request rules, with a request wrong as written told as a usage
// error and a refused model as a refusal in the window's words.
template <typename Rule>
auto Requested(Rule&& rule) {
  try {
    return rule();
  } catch (const kv::RequestError& e) {
    throw UsageError(e.problem());
  } catch (const kv::Error& e) {
    if (e.kind() != kv::ErrorKind::BadRequest && e.kind() != kv::ErrorKind::InputMissing) throw;
    throw Refusal(e.problem());
  }
}

// These throw UsageError, Refusal or kv::Error; out takes the results, err the
// notes that are not results.
int Convert(const ConvertOptions& options, std::ostream& out);
int Export(const ExportOptions& options, std::ostream& out, std::ostream& err);
int Info(const InfoOptions& options, std::ostream& out);
int Types(std::ostream& out);

// The options the command line gave, bound while the parser reads them, and
// the command it chose.
struct CommandLine {
  ConvertOptions convert;
  ExportOptions exportText;
  InfoOptions info;
  ShowOptions show;
  StatsOptions stats;
  DiffOptions diff;
  int (*run)(const CommandLine&) = nullptr;  // the chosen command, set once the whole line parsed
};

// Declares every command on app with its options bound into line, which must
// outlive the parse. The parser requires exactly one command.
void DeclareCommands(CLI::App& app, CommandLine& line);

// Runs the chosen command, prints what went wrong on standard error, and
// returns the exit status.
int Run(const CommandLine& line);

}  // namespace kvcli

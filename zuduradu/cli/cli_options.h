// The command line of kvcvrt-cli: the commands with their options, and the
// readers of the option values that the parser checks while it parses.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/run/request.h"

namespace kvcli {

// How the command line names its options in the core's messages.
inline constexpr kv::RequestWords kWords{"--model",          "--grid",          "--type",      "--output",
                                         "--model FILE",     "--grid NX,NY,NZ", "top or .top", "kvcvrt-cli types"};

using kv::GridChoice;

// An option whose value is kept only when it is given: target stays empty
// otherwise, and an empty value given stays an empty value.
template <typename T>
CLI::Option* AddOptional(CLI::App& command, const std::string& name, std::optional<T>& target,
                         const std::string& description) {
  return command.add_option_function<T>(name, [&target](const T& value) { target = value; }, description);
}

// -m/--model or -g/--grid, on every command that needs the grid.
void AddGrid(CLI::App& command, GridChoice& grid);

// -t/--type as a type code or an extension, stored as the code.
CLI::Option* AddType(CLI::App& command, int& code);
CLI::Option* AddType(CLI::App& command, std::optional<int>& code);

// The name that stands for standard input or standard output in place of a file.
inline constexpr const char* kStandardStream = "-";

struct ConvertOptions {
  std::vector<std::string> inputs;  // in order; "-": standard input
  std::optional<std::string> manifest;  // a CSV file listing more inputs, taken after them
  GridChoice grid;
  int typeCode = 0;
  std::optional<std::string> output;
  bool create = false;
  bool quiet = false;  // no result line
  bool strict = false;  // warnings and skipped sets refuse the run
  int threads = 0;  // parsing threads; 0: one per core (a hidden option for measurements)
  // A raster input's place, band and no-data fill.
  std::optional<int> period;
  std::optional<int> layer;
  int band = 1;
  std::optional<float> nodataFill;
};

struct ExportOptions {
  std::string dataFile;
  GridChoice grid;
  int typeCode = 0;
  std::optional<std::string> periods;
  std::optional<std::string> output;  // none or "-": standard output
  bool quiet = false;                 // no result line
  // A raster export (an output ending in .asc or .tif): the layer, where the
  // raster lies (X,Y of its lower left corner; the cell size DX,DY) and NODATA_value.
  std::optional<int> layer;
  std::optional<std::pair<double, double>> origin;
  std::optional<std::pair<double, double>> cellSize;
  std::optional<float> nodata;
};

struct InfoOptions {
  std::string dataFile;
  GridChoice grid;
  std::optional<int> typeCode;
  bool check = false;
};

// The nearest of the candidates to a mistyped word, counting a swap of two
// neighbouring characters as one edit; nothing when none is close enough to be
// what was meant.
std::optional<std::string> NearestName(std::string_view typed, const std::vector<std::string>& candidates);

// What to say about the command line that made app.parse throw, when it holds
// an unknown command or option: "unknown option --inptu; did you mean --input?".
// Nothing when the error is of another kind.
std::optional<std::string> DescribeUnknown(const CLI::App& app);

// `kvcvrt-cli help [command]` as the arguments that ask the parser for the same
// help: {program, "--help"} or {program, command, "--help"}. Nothing when the
// arguments are not a help command; an empty list, with the reason in error,
// when they name no known command.
std::optional<std::vector<std::string>> HelpArguments(const CLI::App& app, const std::vector<std::string>& args,
                                                      std::string& error);

// Each declares its command on app with the options bound into the struct
// given, and returns the command.
CLI::App* AddConvert(CLI::App& app, ConvertOptions& options);
CLI::App* AddExport(CLI::App& app, ExportOptions& options);
CLI::App* AddInfo(CLI::App& app, InfoOptions& options);

}  // namespace kvcli

// The options of the commands that let the user see the data: show, stats
// and diff.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "zuduradu/cli/cli_options.h"
#include "zuduradu/core/view/heat_map.h"

namespace kvcli {

struct ShowOptions {
  std::optional<std::string> dataFile;  // or input
  std::optional<std::string> input;     // matrix text; "-": standard input
  GridChoice grid;
  std::optional<int> typeCode;
  std::string periods;          // --period P or --periods LIST; empty when neither was given
  std::string layers = "1";     // --layer L or --layers LIST
  int set = 1;
  std::optional<kv::ValueRange> range;
  std::optional<std::string> minus;
  std::optional<float> nodata;
  std::string output;  // the PNG file, with {period} and {layer} for several
  bool quiet = false;
};

struct StatsOptions {
  std::optional<std::string> dataFile;  // or input
  std::optional<std::string> input;
  GridChoice grid;
  std::optional<int> typeCode;
  std::optional<float> nodata;
  bool csv = false;
};

struct DiffOptions {
  std::string first;
  std::string second;
  GridChoice grid;
  int typeCode = 0;
  double tolerance = 0;
  bool csv = false;
  bool quiet = false;
  bool all = false;  // list the layers that agree too
};

// Each declares its command on app with the options bound into the struct
// given, and returns the command.
CLI::App* AddShow(CLI::App& app, ShowOptions& options);
CLI::App* AddStats(CLI::App& app, StatsOptions& options);
CLI::App* AddDiff(CLI::App& app, DiffOptions& options);

}  // namespace kvcli

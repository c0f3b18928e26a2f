// The options of the commands that let the user see the data: show, stats
// and diff.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
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

enum class ViewCommand { None, Show, Stats, Diff };

struct ViewCommandLine {
  ViewCommand command = ViewCommand::None;
  ShowOptions show;
  StatsOptions stats;
  DiffOptions diff;
};

// Declares show, stats and diff on app; after app.parse, Collect tells which
// was chosen, with its options.
class ViewOptions {
 public:
  explicit ViewOptions(CLI::App& app);
  ~ViewOptions();
  ViewOptions(const ViewOptions&) = delete;
  ViewOptions& operator=(const ViewOptions&) = delete;
  ViewCommandLine Collect() const;

 private:
  struct Raw;
  std::unique_ptr<Raw> raw_;
};

}  // namespace kvcli

// The command line of kvcvrt-cli: the commands with their options, and the
// readers of the option values that the parser checks while it parses.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zuduradu/core/grid.h"

namespace kvcli {

// "NX,NY,NZ", each a whole number 1..32767. Nothing, with the reason in error,
// when the text is not that.
std::optional<kv::GridSize> ParseGrid(std::string_view text, std::string& error);

// A type code 0..2000 that has an extension, or an extension of the type list
// written as "top" or ".top". Nothing, with the reason in error, otherwise.
std::optional<int> ParseType(std::string_view text, std::string& error);

// Where the grid comes from: a model description file or NX,NY,NZ.
struct GridChoice {
  std::optional<std::string> model;
  std::optional<std::string> grid;
};

struct ConvertOptions {
  std::string input;
  GridChoice grid;
  int typeCode = 0;
  std::optional<std::string> output;
  bool create = false;
  int threads = 0;  // parsing threads; 0: one per core (a hidden option for measurements)
};

struct ExportOptions {
  std::string dataFile;
  GridChoice grid;
  int typeCode = 0;
  std::optional<std::string> periods;
  std::optional<std::string> output;
};

struct InfoOptions {
  std::string dataFile;
  GridChoice grid;
  std::optional<int> typeCode;
  bool check = false;
};

enum class Command { None, Convert, Export, Info, Types };

// The values the command line gave, filled in by Parse.
struct CommandLine {
  Command command = Command::None;
  ConvertOptions convert;
  ExportOptions exportText;
  InfoOptions info;
};

// Declares the commands and their options on app; after app.parse, Collect
// fills in which command was chosen and the options that were given.
class Options {
 public:
  explicit Options(CLI::App& app);
  ~Options();
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  CommandLine Collect() const;

 private:
  struct Raw;
  std::unique_ptr<Raw> raw_;
};

}  // namespace kvcli

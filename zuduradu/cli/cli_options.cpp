#include "zuduradu/cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/run/request.h"
#include "zuduradu/core/text/field_pipeline.h"
#include "zuduradu/core/text/number_text.h"

namespace kvcli {

void AddGrid(CLI::App& command, GridChoice& grid) {
  CLI::Option* model = AddOptional(command, "-m,--model", grid.model,
                                   "Model description file (.kv5) that gives the grid size; it must exist and "
                                   "have version " + std::to_string(kv::kMinModelVersion) + " or more");
  model->type_name("FILE");
  command
      .add_option_function<std::string>(
          "-g,--grid", [&grid](const std::string& text) { grid.grid = kv::GridFromText(text); },
          "Grid size: columns, rows, layers, such as 120,80,3")
      ->type_name("NX,NY,NZ")
      ->check(
          [](const std::string& text) {
            try {
              kv::GridFromText(text);
              return std::string();
            } catch (const kv::Error& e) {
              return e.problem();
            }
          },
          "")
      ->excludes(model);
}

namespace {

// The type's text, a code or an extension, checked and turned into the code
// while the parser reads it.
CLI::Option* TypeCode(CLI::Option* option) {
  return option->type_name("TYPE")->transform(
      [](std::string text) {
        try {
          return std::to_string(kv::TypeCodeFromText(text, kWords));
        } catch (const kv::Error& e) {
          throw CLI::ValidationError(e.problem());
        }
      },
      "");
}

const std::string kTypeHelp = "Data type: a type code 0.." + std::to_string(kv::kMaxTypeCode) +
                              " that has an extension, or an extension of the type list such as top or .top";

}  // namespace

CLI::Option* AddType(CLI::App& command, int& code) {
  return TypeCode(command.add_option("-t,--type", code, kTypeHelp));
}

CLI::Option* AddType(CLI::App& command, std::optional<int>& code) {
  return TypeCode(AddOptional(command, "-t,--type", code, kTypeHelp));
}

namespace {

// Edits between a and b: insertions, deletions, replacements, and swaps of two
// neighbouring characters (the commonest slip when typing fast).
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::string_view WithoutDashes(std::string_view s) {
  while (!s.empty() && s.front() == '-') s.remove_prefix(1);
  return s;
}

// The names a command accepts, each with its dashes: "--input", "-i".
std::vector<std::string> OptionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

std::string Unknown(const char* what, const std::string& typed, const std::vector<std::string>& candidates) {
  std::string text = std::string("unknown ") + what + " " + typed;
  if (const auto nearest = NearestName(typed, candidates)) text += "; did you mean " + *nearest + "?";
  return text;
}

}  // namespace

std::optional<std::string> NearestName(std::string_view typed, const std::vector<std::string>& candidates) {
  // Dashes do not count: "-input" means "--input". Short words get fewer edits,
  // so that "-x" is not taken for "-i".
  const std::string_view word = WithoutDashes(typed);
  const std::size_t allowed = word.size() <= 2 ? 0 : word.size() <= 5 ? 1 : 2;
  std::optional<std::string> best;
  std::size_t bestDistance = allowed + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, WithoutDashes(candidate));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

std::optional<std::string> DescribeUnknown(const CLI::App& app) {
  // The words the parser could not place belong to the last command it entered.
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  for (const std::string& word : at->remaining()) {
    if (word.size() > 1 && word.front() == '-') {
      return Unknown("option", word.substr(0, word.find('=')), OptionNames(*at));
    }
    if (at == &app) {
      std::vector<std::string> commands;
      for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
      return Unknown("command", word, commands);
    }
  }
  return std::nullopt;
}

namespace {

// "X,Y", or with `one` a single "D" that stands for both: finite numbers; with
// `positive`, above 0. Throws CLI::ValidationError naming the option.
std::pair<double, double> NumberPair(const std::string& option, const std::string& text, bool one, bool positive) {
  auto number = [&](std::string_view part) {
    double v = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
    if (ec != std::errc() || end != part.data() + part.size() || !std::isfinite(v) || (positive && v <= 0)) {
      throw CLI::ValidationError(option + ": " + kv::QuoteField(text) + " is not " +
                                 (one ? "a number above 0, or two separated by a comma (DX,DY)"
                                      : "two numbers separated by a comma (X,Y)"));
    }
    return v;
  };
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) {
    if (!one) number("");
    const double v = number(text);
    return {v, v};
  }
  return {number(std::string_view(text).substr(0, comma)), number(std::string_view(text).substr(comma + 1))};
}

}  // namespace

CLI::App* AddConvert(CLI::App& app, ConvertOptions& options) {
  CLI::App* convert =
      app.add_subcommand("convert", "Convert matrix input text into a period data file, as GO does in the window");
  convert
      ->add_option("-i,--input", options.inputs,
                   "Matrix input file, or a raster as one data set (an ESRI ASCII grid .asc; a GeoTIFF .tif "
                   "where built with GDAL) with --period and --layer; - reads the text from standard input as it "
                   "comes. Given more than once, the files go into the output in one run, with the bytes of "
                   "converting them one after the other; a "
                   "refused file changes nothing")
      ->type_name("FILE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  AddOptional(*convert, "--manifest", options.manifest,
              "CSV file listing more inputs, taken after the -i files: a header file,period,layer, then a file a line "
              "(from the manifest's folder; a matrix input file leaves period and layer empty)")
      ->type_name("FILE.csv");
  AddOptional(*convert, "--period", options.period, "The period a raster input is stored as")->type_name("P");
  AddOptional(*convert, "--layer", options.layer, "The layer a raster input is stored as")->type_name("L");
  convert->add_option("--band", options.band, "The band of a raster input, from 1 (default 1)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  AddOptional(*convert, "--nodata-fill", options.nodataFill,
              "Store V in a raster's no-data cells (default: its own no-data number)")
      ->type_name("V");
  AddGrid(*convert, options.grid);
  AddType(*convert, options.typeCode)->required();
  AddOptional(*convert, "-o,--output", options.output,
              "Period data file to write; with --model the default is the model's name with the type's extension. It "
              "cannot be - (standard output): the file is written in place with seeks")
      ->type_name("FILE");
  convert->add_flag("-c,--create", options.create, "Create a new output file. Existing data will be deleted.");
  convert->add_flag("-q,--quiet", options.quiet, "Print no result line; errors still go to standard error");
  convert->add_flag("--strict", options.strict,
                    "Refuse the run, writing nothing, where it would warn or skip: fields after the last data set, "
                    "a layer above NZ, a grid size the model leaves to its defaults");
  // For measurements: how many threads parse the input. Hidden from the help.
  convert->add_option("--threads", options.threads, "Threads that parse the input (default: one per core)")
      ->check(
          [](const std::string& text) {
            constexpr int kMax = kv::FieldPipeline::kMaxThreads;
            int n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            return ec == std::errc() && end == text.data() + text.size() && n >= 1 && n <= kMax
                       ? std::string()
                       : "--threads: " + kv::QuoteField(text) + " is not a whole number from 1 to " +
                             std::to_string(kMax);
          },
          "")
      ->group("");
  return convert;
}

CLI::App* AddExport(CLI::App& app, ExportOptions& options) {
  CLI::App* exportText = app.add_subcommand(
      "export", "Write a period data file back as matrix input text, or layers of it as rasters (-o NAME.asc or .tif)");
  exportText->add_option("DATAFILE", options.dataFile, "Period data file to read")->type_name("FILE")->required();
  AddGrid(*exportText, options.grid);
  AddType(*exportText, options.typeCode)->required();
  AddOptional(*exportText, "--periods", options.periods,
              "Periods to export, such as 1,5,10-20 (default: every period with data of its own)")
      ->type_name("LIST")
      ->check(
          [](const std::string& text) {
            try {
              kv::ParsePeriodList(text);
              return std::string();
            } catch (const kv::Error& e) {
              return std::string(e.what());
            }
          },
          "");
  AddOptional(*exportText, "-o,--output", options.output,
              "Text file to write, replaced once the text is complete; a FIFO or device is written into (a FIFO "
              "waits up to 5 minutes for its reader); - or none: standard output")
      ->type_name("FILE");
  exportText->add_flag("-q,--quiet", options.quiet, "Print no result line; errors still go to standard error");
  // An output ending in .asc (ESRI ASCII grid) or .tif (GeoTIFF, where built with GDAL): one raster per layer.
  AddOptional(*exportText, "--layer", options.layer,
              "Raster export: the layer (default: every layer; several periods or layers need {period} and {layer} "
              "in the output's name)")
      ->type_name("L");
  exportText
      ->add_option_function<std::string>(
          "--origin", [&options](const std::string& t) { options.origin = NumberPair("--origin", t, false, false); },
          "Raster export: the lower left corner (default 0,0)")
      ->type_name("X,Y");
  exportText
      ->add_option_function<std::string>(
          "--cell-size", [&options](const std::string& t) { options.cellSize = NumberPair("--cell-size", t, true, true); },
          "Raster export: the cells' size (default 1)")
      ->type_name("D|DX,DY");
  AddOptional(*exportText, "--nodata", options.nodata, "Raster export: the NODATA_value written")->type_name("V");
  return exportText;
}

CLI::App* AddInfo(CLI::App& app, InfoOptions& options) {
  CLI::App* info = app.add_subcommand("info", "Describe the header of a period data file and check it against a grid");
  info->add_option("DATAFILE", options.dataFile, "Period data file to read")->type_name("FILE")->required();
  AddGrid(*info, options.grid);
  AddType(*info, options.typeCode);
  info->add_flag("--check", options.check, "Exit with status 1 when anything is inconsistent");
  return info;
}

std::optional<std::vector<std::string>> HelpArguments(const CLI::App& app, const std::vector<std::string>& args,
                                                      std::string& error) {
  if (args.size() < 2 || args[1] != "help") return std::nullopt;
  if (args.size() == 2) return std::vector<std::string>{args[0], "--help"};
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
  if (args.size() > 3 || std::find(commands.begin(), commands.end(), args[2]) == commands.end()) {
    error = args.size() > 3 ? "help takes one command, such as: kvcvrt-cli help convert"
                            : Unknown("command", args[2], commands);
    return std::vector<std::string>{};
  }
  return std::vector<std::string>{args[0], args[2], "--help"};
}

}  // namespace kvcli

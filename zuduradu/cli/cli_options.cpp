#include "zuduradu/cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "zuduradu/cli/view_options.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/run/request.h"
#include "zuduradu/core/text/field_pipeline.h"
#include "zuduradu/core/text/number_text.h"

namespace kvcli {

void GridOptions::Add(CLI::App& command) {
  model.option = command.add_option("-m,--model", model.value,
                                    "Model description file (.kv5) that gives the grid size; it must exist and "
                                    "have version " + std::to_string(kv::kMinModelVersion) + " or more");
  model.option->type_name("FILE");
  grid.option = command.add_option("-g,--grid", grid.value, "Grid size: columns, rows, layers, such as 120,80,3");
  grid.option->type_name("NX,NY,NZ")
      ->check(
          [](const std::string& text) {
            try {
              kv::GridFromText(text);
              return std::string();
            } catch (const kv::Error& e) {
              return e.problem();
            }
          },
          "");
  grid.option->excludes(model.option);
}

GridChoice GridOptions::Get() const {
  const auto text = grid.Get();
  return {model.Get(), text ? std::optional(kv::GridFromText(*text)) : std::nullopt};
}

CLI::Option* AddType(CLI::App& command, int& code) {
  return command
      .add_option("-t,--type", code,
                  "Data type: a type code 0.." + std::to_string(kv::kMaxTypeCode) +
                      " that has an extension, or an extension of the type list such as top or .top")
      ->type_name("TYPE")
      ->transform(
          [](std::string text) {
            try {
              return std::to_string(kv::TypeCodeFromText(text, kWords));
            } catch (const kv::Error& e) {
              throw CLI::ValidationError(e.problem());
            }
          },
          "");
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

struct Options::Raw {
  CLI::App* convert = nullptr;
  CLI::App* exportText = nullptr;
  CLI::App* info = nullptr;
  CLI::App* types = nullptr;

  std::string convertInput;
  GridOptions convertGrid;
  int convertType = 0;
  Text convertOutput;
  bool convertCreate = false;
  bool convertQuiet = false;
  bool convertStrict = false;
  int convertThreads = 0;

  std::string exportFile;
  GridOptions exportGrid;
  int exportType = 0;
  Text exportPeriods;
  Text exportOutput;
  bool exportQuiet = false;

  std::string infoFile;
  GridOptions infoGrid;
  int infoType = 0;
  CLI::Option* infoTypeOption = nullptr;
  bool infoCheck = false;

  std::string helpTopic;
  std::unique_ptr<ViewOptions> view;
};

Options::Options(CLI::App& app) : raw_(std::make_unique<Raw>()) {
  app.require_subcommand(1);
  AddConvert(app);
  AddExport(app);
  AddInfo(app);
  AddTypesAndHelp(app);
}

void Options::AddConvert(CLI::App& app) {
  Raw& r = *raw_;
  r.convert =
      app.add_subcommand("convert", "Convert matrix input text into a period data file, as GO does in the window");
  r.convert
      ->add_option("-i,--input", r.convertInput,
                   "Matrix input file; - reads the text from standard input as it comes")
      ->type_name("FILE")
      ->required();
  r.convertGrid.Add(*r.convert);
  AddType(*r.convert, r.convertType)->required();
  r.convertOutput.option = r.convert->add_option(
      "-o,--output", r.convertOutput.value,
      "Period data file to write; with --model the default is the model's name with the type's extension. It "
      "cannot be - (standard output): the file is written in place with seeks");
  r.convertOutput.option->type_name("FILE");
  r.convert->add_flag("-c,--create", r.convertCreate, "Create a new output file. Existing data will be deleted.");
  r.convert->add_flag("-q,--quiet", r.convertQuiet, "Print no result line; errors still go to standard error");
  r.convert->add_flag("--strict", r.convertStrict,
                      "Refuse the run, writing nothing, where it would warn or skip: fields after the last data set, "
                      "a layer above NZ, a grid size the model leaves to its defaults");
  // For measurements: how many threads parse the input. Hidden from the help.
  r.convert->add_option("--threads", r.convertThreads, "Threads that parse the input (default: one per core)")
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
}

void Options::AddExport(CLI::App& app) {
  Raw& r = *raw_;
  r.exportText = app.add_subcommand("export", "Write a period data file back as matrix input text");
  r.exportText->add_option("DATAFILE", r.exportFile, "Period data file to read")->type_name("FILE")->required();
  r.exportGrid.Add(*r.exportText);
  AddType(*r.exportText, r.exportType)->required();
  r.exportPeriods.option =
      r.exportText->add_option("--periods", r.exportPeriods.value,
                               "Periods to export, such as 1,5,10-20 (default: every period with data of its own)");
  r.exportPeriods.option->type_name("LIST")->check(
      [](const std::string& text) {
        try {
          kv::ParsePeriodList(text);
          return std::string();
        } catch (const kv::Error& e) {
          return std::string(e.what());
        }
      },
      "");
  r.exportOutput.option =
      r.exportText->add_option("-o,--output", r.exportOutput.value,
                               "Text file to write, replaced once the text is complete; a FIFO or device is "
                               "written into (a FIFO waits up to 5 minutes for its reader); - or none: standard "
                               "output");
  r.exportOutput.option->type_name("FILE");
  r.exportText->add_flag("-q,--quiet", r.exportQuiet, "Print no result line; errors still go to standard error");
}

void Options::AddInfo(CLI::App& app) {
  Raw& r = *raw_;
  r.info = app.add_subcommand("info", "Describe the header of a period data file and check it against a grid");
  r.info->add_option("DATAFILE", r.infoFile, "Period data file to read")->type_name("FILE")->required();
  r.infoGrid.Add(*r.info);
  r.infoTypeOption = AddType(*r.info, r.infoType);
  r.info->add_flag("--check", r.infoCheck, "Exit with status 1 when anything is inconsistent");
}

void Options::AddTypesAndHelp(CLI::App& app) {
  Raw& r = *raw_;
  r.types = app.add_subcommand("types", "List the data types: row, text, code, extension, one layer per block");

  r.view = std::make_unique<ViewOptions>(app);

  // Listed for the help text and for the nearest-name suggestions; main answers
  // it before parsing (see HelpArguments).
  CLI::App* help = app.add_subcommand("help", "Print this help, or with a command the help of that command");
  help->add_option("COMMAND", r.helpTopic, "The command to describe")->type_name("COMMAND");
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

Options::~Options() = default;

CommandLine Options::Collect() const {
  const Raw& r = *raw_;
  CommandLine line;
  if (r.convert->parsed()) {
    line.command = Command::Convert;
    line.convert = {r.convertInput, r.convertGrid.Get(), r.convertType, r.convertOutput.Get(), r.convertCreate,
                    r.convertQuiet, r.convertStrict, r.convertThreads};
  } else if (r.exportText->parsed()) {
    line.command = Command::Export;
    line.exportText = {r.exportFile, r.exportGrid.Get(), r.exportType, r.exportPeriods.Get(), r.exportOutput.Get(),
                       r.exportQuiet};
  } else if (r.info->parsed()) {
    line.command = Command::Info;
    line.info = {r.infoFile, r.infoGrid.Get(), r.infoTypeOption->count() > 0 ? std::optional(r.infoType) : std::nullopt,
                 r.infoCheck};
  } else if (r.types->parsed()) {
    line.command = Command::Types;
  } else if (ViewCommandLine view = r.view->Collect(); view.command != ViewCommand::None) {
    line.command = Command::View;
    line.view = std::make_shared<const ViewCommandLine>(std::move(view));
  }
  return line;
}

}  // namespace kvcli

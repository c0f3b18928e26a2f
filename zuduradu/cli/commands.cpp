#include "zuduradu/cli/commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "zuduradu/cli/progress.h"
#include "zuduradu/cli/view_commands.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/input/manifest.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/run/raster_export.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/save_target.h"

namespace kvcli {

namespace {

void SayWarnings(const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) std::cerr << "warning: " << warning << '\n';
}

bool IsStandardStream(const std::string& path) { return path == kStandardStream; }

// A period data file is read and written at chosen offsets, which a pipe
// cannot give.
void RefuseStandardStreamForDataFile(const std::string& path, const std::string& option, bool written) {
  if (!IsStandardStream(path)) return;
  throw UsageError(option + (written ? " cannot be - (standard output): a period data file is written"
                                     : " cannot be - (standard input): a period data file is read") +
                   " in place with seeks, which a pipe cannot do. Give a file name.");
}

}  // namespace

int Convert(const ConvertOptions& options, std::ostream& out) {
  if (options.inputs.empty() && !options.manifest) throw UsageError("convert needs --input FILE or --manifest FILE.csv");
  if (!options.grid.given() || (options.grid.grid && !options.output)) {
    Requested([&] {
      kv::ResolveGrid(options.grid, kWords);
      return kv::OutputFor(options.output, options.grid, {}, options.typeCode, kWords);
    });
  }
  if (options.output) RefuseStandardStreamForDataFile(*options.output, "--output", true);
  const kv::ResolvedGrid resolved = Requested([&] { return kv::ResolveGrid(options.grid, kWords, options.strict); });
  const std::string output =
      Requested([&] { return kv::OutputFor(options.output, options.grid, resolved, options.typeCode, kWords); });
  if (const std::string folder = kv::OutputFolderProblem(kv::PathFromUtf8(output)); !folder.empty()) {
    throw Refusal(folder);
  }
  SayWarnings(resolved.warnings);
  if (const std::string name = Requested([&] { return kv::OutputNameWarning(options.typeCode, output, options.strict); });
      !name.empty()) {
    SayWarnings({name});
  }
  kv::ConversionRequest request = kv::ConversionRequestFor(kv::PathFromUtf8(output), resolved.grid, resolved.model,
                                                           options.typeCode, options.create, options.strict);
  for (const std::string& input : options.inputs) {
    const bool fromStdin = IsStandardStream(input);
    if (const std::string problem = fromStdin ? "" : kv::InputProblem(kv::PathFromUtf8(input), true); !problem.empty()) {
      throw Refusal(problem);
    }
    request.inputs.push_back({kv::PathFromUtf8(fromStdin ? "standard input" : input), fromStdin, options.period,
                              options.layer, options.band, options.nodataFill});
  }
  if (options.manifest) {
    const std::vector<kv::InputSource> listed = kv::ReadManifest(kv::PathFromUtf8(*options.manifest));
    request.inputs.insert(request.inputs.end(), listed.begin(), listed.end());
  }
  request.threads = options.threads;
  ProgressBar bar(stderr, IsTerminal(stderr), output);
  const kv::ConversionResult result = kv::RunConversion(request, bar.Callback());
  bar.Clear();
  SayWarnings(result.warnings);
  if (options.quiet) return kExitSuccess;
  out << kv::DataSetCount(result.stored) << " stored, " << result.skipped << " skipped (layer above NZ)"
      << (options.nodataFill ? ", " + kv::Counted(result.filled, "no-data cell", "no-data cells") + " filled" : "")
      << ": " << (result.rebuilt ? output : "nothing to store, so no file at " + output)
      << '\n';
  return kExitSuccess;
}

namespace {

// Layers out as rasters, one file each: where the raster lies, when not given,
// is said in a warning, since a GIS shows the raster there.
int ExportRasters(const ExportOptions& options, const kv::ExportRequest& data, std::ostream& out, std::ostream& err) {
  kv::RasterExportRequest request{data, options.layer, *options.output, {}, options.nodata};
  if (options.origin) std::tie(request.place.x, request.place.y) = *options.origin;
  if (options.cellSize) std::tie(request.place.dx, request.place.dy) = *options.cellSize;
  if (!options.origin || !options.cellSize) {
    SayWarnings({std::string("the raster is placed ") + (options.origin ? "" : "with its lower left corner at 0,0 ") +
                 (!options.origin && !options.cellSize ? "and " : "") + (options.cellSize ? "" : "with cells of size 1 ") +
                 "(give --origin X,Y and --cell-size D to place it where the model lies)"});
  }
  const kv::RasterExport done = kv::ExportRasters(request);
  if (done.rolledBack) err << kv::RolledBackNote(data.dataFile) << '\n';
  for (int period : done.periodsWithoutLayers) {
    err << "Period " << period << ": its block begins at or past the end of " << options.dataFile
        << ", so none of its layers was exported.\n";
  }
  if (options.quiet) return kExitSuccess;
  std::set<int> periods;
  for (const kv::ExportedRaster& r : done.rasters) periods.insert(r.period);
  out << kv::Counted(static_cast<std::int64_t>(done.rasters.size()), "raster", "rasters") << " of "
      << kv::Counted(static_cast<std::int64_t>(periods.size()), "period", "periods") << " exported: "
      << kv::PathText(done.rasters.front().file)
      << (done.rasters.size() > 1 ? " ... " + kv::PathText(done.rasters.back().file) : "") << '\n';
  return kExitSuccess;
}

}  // namespace

int Export(const ExportOptions& options, std::ostream& out, std::ostream& err) {
  RefuseStandardStreamForDataFile(options.dataFile, "DATAFILE", false);
  const kv::ResolvedGrid resolved = Requested([&] { return kv::ResolveGrid(options.grid, kWords); });
  SayWarnings(resolved.warnings);
  kv::ExportRequest request;
  request.dataFile = kv::PathFromUtf8(options.dataFile);
  request.grid = resolved.grid;
  request.typeCode = options.typeCode;
  ProgressBar waiting(stderr, false, options.dataFile);
  request.lockWait.waiting = [&] { return waiting.SayWaiting(), true; };
  if (options.grid.model) request.model = kv::PathFromUtf8(*options.grid.model);
  // Into a FIFO: wait, as for a lock, for a program that reads it, and say so once.
  bool saidReaderWait = false;
  request.readerWait.waiting = [&] {
    if (!std::exchange(saidReaderWait, true)) err << "Waiting for a program to read from " << *options.output << "...\n" << std::flush;
    return true;
  };
  try {
    if (options.periods) request.periods = kv::ParsePeriodList(*options.periods);
  } catch (const kv::Error& e) {
    throw UsageError(std::string("--periods: ") + e.what());
  }
  const bool raster = options.output && kv::IsRasterName(*options.output);
  if (!raster && (options.layer || options.origin || options.cellSize || options.nodata)) {
    throw UsageError("--layer, --origin, --cell-size and --nodata are for a raster export: give --output a name "
                     "ending in .asc (or .tif)");
  }
  if (raster) return ExportRasters(options, request, out, err);
  const bool toFile = options.output && !IsStandardStream(*options.output);
  const kv::ExportPlan plan = toFile ? kv::ExportMatrixTextToFile(request, kv::PathFromUtf8(*options.output))
                                     : kv::ExportMatrixText(request, out);
  if (plan.rolledBack) err << kv::RolledBackNote(request.dataFile) << '\n';
  for (int period : plan.periodsWithoutLayers) {
    err << "Period " << period << ": its block begins at or past the end of " << options.dataFile
        << ", so none of its layers was exported.\n";
  }
  if (toFile && !options.quiet) {
    std::set<int> periods;
    for (const kv::ExportedLayer& layer : plan.layers) periods.insert(layer.period);
    out << kv::DataSetCount(static_cast<std::int64_t>(plan.layers.size())) << " of "
        << kv::Counted(static_cast<std::int64_t>(periods.size()), "period", "periods")
        << " exported: " << *options.output << '\n';
  }
  return kExitSuccess;
}

int Info(const InfoOptions& options, std::ostream& out) {
  RefuseStandardStreamForDataFile(options.dataFile, "DATAFILE", false);
  std::vector<std::string> warnings;
  const std::optional<kv::FileGeometry> geometry =
      Requested([&] { return kv::InfoGeometry(options.grid, options.typeCode, kWords, false, &warnings); });
  SayWarnings(warnings);
  ProgressBar waiting(stderr, false, options.dataFile);
  const kv::LockWait wait{std::chrono::minutes(5), [&] { return waiting.SayWaiting(), true; }};
  const kv::DataFileInfo info = kv::DescribeDataFile(kv::PathFromUtf8(options.dataFile), geometry, wait);
  for (const std::string& line : kv::RenderDataFileInfo(info)) out << line << '\n';
  return options.check && !info.problems.empty() ? kExitRefused : kExitSuccess;
}

int Types(std::ostream& out) {
  const auto rows = kv::TypeList();
  std::size_t width = 4;
  for (const kv::TypeRow& row : rows) width = std::max(width, row.text.size());
  auto pad = [](std::string text, std::size_t n, bool right) {
    const std::string fill(text.size() < n ? n - text.size() : 0, ' ');
    return right ? fill + text : text + fill;
  };
  out << "row  " << pad("text", width, false) << "  code  extension  one layer per block\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const kv::TypeRow& row = rows[i];
    out << pad(std::to_string(i), 3, true) << "  " << pad(std::string(row.text), width, false) << "  "
        << pad(std::to_string(row.code), 4, true) << "  " << pad(std::string(kv::ExtensionFor(row.code)), 9, false)
        << "  " << (kv::IsSingleLayerType(row.code) ? "yes" : "no") << '\n';
  }
  return kExitSuccess;
}

void DeclareCommands(CLI::App& app, CommandLine& line) {
  app.require_subcommand(1);
  // Runs after the parser has checked the whole line, so only for a line it accepts.
  const auto runs = [&line](CLI::App* command, int (*run)(const CommandLine&)) {
    command->callback([&line, run] { line.run = run; });
  };
  runs(AddConvert(app, line.convert), [](const CommandLine& l) { return Convert(l.convert, std::cout); });
  runs(AddExport(app, line.exportText),
       [](const CommandLine& l) { return Export(l.exportText, std::cout, std::cerr); });
  runs(AddInfo(app, line.info), [](const CommandLine& l) { return Info(l.info, std::cout); });
  runs(app.add_subcommand("types", "List the data types: row, text, code, extension, one layer per block"),
       [](const CommandLine&) { return Types(std::cout); });
  runs(AddShow(app, line.show), [](const CommandLine& l) { return Show(l.show, std::cout, std::cerr); });
  runs(AddStats(app, line.stats), [](const CommandLine& l) { return Stats(l.stats, std::cout, std::cerr); });
  runs(AddDiff(app, line.diff), [](const CommandLine& l) { return Diff(l.diff, std::cout, std::cerr); });
  // Listed for the help text and for the nearest-name suggestions; main answers
  // it before parsing (see HelpArguments).
  app.add_subcommand("help", "Print this help, or with a command the help of that command")
      ->add_option_function<std::string>("COMMAND", [](const std::string&) {}, "The command to describe")
      ->type_name("COMMAND");
}

int Run(const CommandLine& line) {
  try {
    return line.run(line);
  } catch (const UsageError& e) {
    std::cerr << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  } catch (const Refusal& e) {
    std::cerr << e.what() << '\n';
    return kExitRefused;
  } catch (const kv::Error& e) {
    std::cerr << e.what() << '\n';
    return kExitRefused;
  } catch (const std::exception& e) {
    std::cerr << "kvcvrt-cli: " << e.what() << '\n';
    return kExitRefused;
  }
}

}  // namespace kvcli

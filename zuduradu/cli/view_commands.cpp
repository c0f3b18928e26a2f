#include "zuduradu/cli/view_commands.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <iostream>
#include <memory>
#include <string>

#include "zuduradu/cli/commands.h"
#include "zuduradu/cli/progress.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/core/view/stored_layers.h"

namespace kvcli {

namespace {

kv::GridSize GridOf(const GridChoice& choice) {
  return Requested([&] { return kv::ResolveGrid(choice, kWords); }).grid;
}

// Exactly one of DATAFILE and --input; a data file needs its type.
void CheckSource(const std::optional<std::string>& dataFile, const std::optional<std::string>& input,
                 const std::optional<int>& type) {
  if (!dataFile && !input) throw UsageError("Give a period data file (DATAFILE) or matrix input text (--input FILE)");
  if (dataFile && !type) throw UsageError("--type is needed with DATAFILE: the type decides how many layers a block holds");
  if (dataFile && *dataFile == kStandardStream) {
    throw UsageError("DATAFILE cannot be - (standard input): a period data file is read in place with seeks");
  }
}

kv::StoredFile Stored(const std::string& path, const kv::GridSize& grid, int type, ProgressBar& waiting) {
  kv::StoredFile file{kv::PathFromUtf8(path), grid, type, {}};
  file.lockWait.waiting = [&waiting] { return waiting.SayWaiting(), true; };
  return file;
}

// The matrix text of --input: a file, or standard input for "-".
std::unique_ptr<kv::ByteSource> OpenText(const std::string& input) {
  if (input == kStandardStream) return std::make_unique<kv::StdinSource>();
  if (const std::string problem = kv::InputProblem(kv::PathFromUtf8(input), true); !problem.empty()) throw Refusal(problem);
  return std::make_unique<kv::FileSource>(kv::PathFromUtf8(input));
}

std::string TextName(const std::string& input) { return input == kStandardStream ? "standard input" : input; }

// The shortest text that reads back as the same double; "nan" for NaN.
std::string Exact(double v) {
  if (std::isnan(v)) return "nan";
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, ec == std::errc() ? end : buffer);
}

std::string Short(double v) {
  if (std::isnan(v)) return "nan";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

std::string FloatText(float v) { return std::isnan(v) ? "nan" : kv::ShortestText(v); }

std::string Pad(const std::string& text, std::size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string BaseName(const std::string& path) { return kv::PathText(kv::PathFromUtf8(path).filename()); }

void SayRolledBack(bool rolledBack, const std::string& file, std::ostream& err) {
  if (rolledBack) err << kv::RolledBackNote(kv::PathFromUtf8(file)) << '\n';
}

}  // namespace

int Show(const ShowOptions& o, std::ostream& out, std::ostream& err) {
  CheckSource(o.dataFile, o.input, o.typeCode);
  if (o.dataFile && o.period == 0) throw UsageError("--period is needed with DATAFILE: which period's values to draw");
  if (o.output == kStandardStream) throw UsageError("--output cannot be -: give the name of the PNG file to write");
  const kv::GridSize grid = GridOf(o.grid);
  // The picture never replaces a file it was made from.
  for (const std::optional<std::string>& source : {o.dataFile, o.input, o.grid.model}) {
    std::error_code ec;
    if (source && *source != kStandardStream &&
        std::filesystem::equivalent(kv::PathFromUtf8(*source), kv::PathFromUtf8(o.output), ec)) {
      throw Refusal("The picture would overwrite " + *source + ", which it is made from; give another --output. " +
                    "Nothing was written.");
    }
  }
  std::vector<float> values;
  std::string title;
  if (o.dataFile) {
    ProgressBar waiting(stderr, false, *o.dataFile);
    kv::LockWait wait{std::chrono::minutes(5), [&] { return waiting.SayWaiting(), true; }};
    const kv::PeriodValues read =
        kv::ReadPeriodValues(kv::PathFromUtf8(*o.dataFile), grid, *o.typeCode, o.period, o.layer, wait);
    SayRolledBack(read.rolledBack, *o.dataFile, err);
    values = read.values;
    title = BaseName(*o.dataFile) + "  period " + std::to_string(o.period) +
            (read.source != o.period ? " (values of period " + std::to_string(read.source) + ")" : "") + "  layer " +
            std::to_string(o.layer) + "  type " + std::to_string(*o.typeCode) + " (" +
            std::string(kv::ExtensionFor(*o.typeCode)) + ")";
  } else {
    const auto text = OpenText(*o.input);
    kv::MatrixSet set = kv::ReadMatrixSet(*text, kv::PathFromUtf8(TextName(*o.input)), grid, o.set);
    values = std::move(set.values);
    title = BaseName(TextName(*o.input)) + "  set " + std::to_string(set.set) + " of " + std::to_string(set.setCount) +
            "  period " + std::to_string(set.period) + "  layer " + std::to_string(set.layer);
  }
  kv::WritePng(kv::DrawHeatMap(values, grid.nx, grid.ny, o.nodata, title), kv::PathFromUtf8(o.output));
  if (!o.quiet) {
    const kv::LayerStats s = kv::StatsOf(values, o.nodata);
    out << o.output << ": " << grid.nx << " x " << grid.ny << " cells, min " << FloatText(s.min) << ", max "
        << FloatText(s.max) << ", mean " << Short(s.mean) << '\n';
  }
  return kExitSuccess;
}

int Stats(const StatsOptions& o, std::ostream& out, std::ostream& err) {
  CheckSource(o.dataFile, o.input, o.typeCode);
  const kv::GridSize grid = GridOf(o.grid);
  kv::StatsReport report;
  if (o.dataFile) {
    ProgressBar waiting(stderr, false, *o.dataFile);
    report = kv::DataFileStats(Stored(*o.dataFile, grid, *o.typeCode, waiting), o.nodata);
    SayRolledBack(report.rolledBack, *o.dataFile, err);
  } else {
    const auto text = OpenText(*o.input);
    report = kv::MatrixTextStats(*text, kv::PathFromUtf8(TextName(*o.input)), grid, o.nodata);
  }
  if (o.csv) {
    out << "period,layer,min,max,mean,std,zeros,nodata\n";
    for (const kv::LayerStatsRow& row : report.rows) {
      const kv::LayerStats& s = row.stats;
      out << row.period << ',' << row.layer << ',' << FloatText(s.min) << ',' << FloatText(s.max) << ','
          << Exact(s.mean) << ',' << Exact(s.std) << ',' << s.zeros << ',' << s.nodata << '\n';
    }
    return kExitSuccess;
  }
  out << "period  layer" << Pad("min", 14) << Pad("max", 14) << Pad("mean", 14) << Pad("std", 14) << Pad("zeros", 11)
      << Pad("nodata", 11) << '\n';
  for (const kv::LayerStatsRow& row : report.rows) {
    const kv::LayerStats& s = row.stats;
    out << Pad(std::to_string(row.period), 6) << Pad(std::to_string(row.layer), 7) << Pad(FloatText(s.min), 14)
        << Pad(FloatText(s.max), 14) << Pad(Short(s.mean), 14) << Pad(Short(s.std), 14)
        << Pad(std::to_string(s.zeros), 11) << Pad(std::to_string(s.nodata), 11) << '\n';
  }
  if (report.rows.empty()) out << "(no layers)\n";
  return kExitSuccess;
}

int Diff(const DiffOptions& o, std::ostream& out, std::ostream& err) {
  for (const std::string* file : {&o.first, &o.second}) {
    if (*file == kStandardStream) throw UsageError("FIRST and SECOND cannot be -: a period data file is read in place with seeks");
  }
  const kv::GridSize grid = GridOf(o.grid);
  ProgressBar waiting(stderr, false, o.first);
  const kv::DiffReport report =
      kv::DiffDataFiles(Stored(o.first, grid, o.typeCode, waiting), kv::PathFromUtf8(o.second), o.tolerance);
  SayRolledBack(report.rolledBackFirst, o.first, err);
  SayRolledBack(report.rolledBackSecond, o.second, err);
  const int status = report.within ? kExitSuccess : kExitRefused;
  if (o.quiet) return status;
  using Presence = kv::LayerComparison::Presence;
  auto statusOf = [](const kv::LayerComparison& c) -> std::string {
    if (c.presence == Presence::OnlyFirst) return "only_first";
    if (c.presence == Presence::OnlySecond) return "only_second";
    return c.difference.maxAbs == 0 ? "equal" : c.within ? "within" : "differs";
  };
  auto place = [](int row, int column) { return row == 0 ? std::string("-") : std::to_string(row) + "," + std::to_string(column); };
  if (o.csv) {
    out << "period,layer,max_abs,abs_row,abs_column,max_rel,rel_row,rel_column,status\n";
    for (const kv::LayerComparison& c : report.layers) {
      out << c.period << ',' << c.layer << ',';
      if (c.presence == Presence::Both) {
        const kv::LayerDifference& d = c.difference;
        out << Exact(d.maxAbs) << ',' << d.absRow << ',' << d.absColumn << ',' << Exact(d.maxRel) << ',' << d.relRow
            << ',' << d.relColumn;
      } else {
        out << ",,,,,";
      }
      out << ',' << statusOf(c) << '\n';
    }
    return status;
  }
  out << "period  layer" << Pad("max abs", 14) << Pad("at row,col", 14) << Pad("max rel", 14) << Pad("at row,col", 14)
      << "  status\n";
  int differ = 0;
  int alone = 0;
  for (const kv::LayerComparison& c : report.layers) {
    out << Pad(std::to_string(c.period), 6) << Pad(std::to_string(c.layer), 7);
    if (c.presence == Presence::Both) {
      const kv::LayerDifference& d = c.difference;
      out << Pad(Short(d.maxAbs), 14) << Pad(place(d.absRow, d.absColumn), 14) << Pad(Short(d.maxRel), 14)
          << Pad(place(d.relRow, d.relColumn), 14) << "  " << statusOf(c) << '\n';
      differ += !c.within;
    } else {
      out << "  only in " << (c.presence == Presence::OnlyFirst ? o.first : o.second) << '\n';
      ++alone;
    }
  }
  if (report.within) {
    out << o.first << " and " << o.second << " agree within " << Short(o.tolerance) << " in "
        << report.layers.size() << (report.layers.size() == 1 ? " layer\n" : " layers\n");
  } else {
    out << o.first << " and " << o.second << " differ: " << differ << " of " << report.layers.size()
        << " layers beyond the tolerance " << Short(o.tolerance) << ", " << alone << " in one file only\n";
  }
  return status;
}

int RunView(const ViewCommandLine& line) {
  switch (line.command) {
    case ViewCommand::Show:
      return Show(line.show, std::cout, std::cerr);
    case ViewCommand::Stats:
      return Stats(line.stats, std::cout, std::cerr);
    case ViewCommand::Diff:
      return Diff(line.diff, std::cout, std::cerr);
    case ViewCommand::None:
      break;
  }
  throw UsageError("A command is required");
}

}  // namespace kvcli

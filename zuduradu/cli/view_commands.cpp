#include "zuduradu/cli/view_commands.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "zuduradu/cli/commands.h"
#include "zuduradu/cli/progress.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/core/view/layer_pictures.h"
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

void SayRolledBack(bool rolledBack, const std::string& file, std::ostream& err) {
  if (rolledBack) err << kv::RolledBackNote(kv::PathFromUtf8(file)) << '\n';
}

// The result line of one picture.
std::string PictureLine(const kv::DrawnPicture& p, const kv::GridSize& grid, bool minus) {
  std::string line = kv::PathText(p.output) + ": " + std::to_string(grid.nx) + " x " + std::to_string(grid.ny) + " cells";
  if (minus) {
    line += p.largestRow == 0 ? ", no cell with data on both sides"
                              : ", largest difference " + Short(p.largest) + " at row " +
                                    std::to_string(p.largestRow) + ", column " + std::to_string(p.largestColumn);
  } else {
    line += ", min " + FloatText(p.stats.min) + ", max " + FloatText(p.stats.max) + ", mean " + Short(p.stats.mean);
  }
  line += "; colours from " + Short(p.range.lo) + " to " + Short(p.range.hi);
  if (p.below + p.above > 0) {
    line += " (" + std::to_string(p.below) + " cells below, " + std::to_string(p.above) + " above: end colours)";
  }
  return line;
}

}  // namespace

int Show(const ShowOptions& o, std::ostream& out, std::ostream& err) {
  CheckSource(o.dataFile, o.input, o.typeCode);
  if (o.dataFile && o.periods.empty()) {
    throw UsageError("--period or --periods is needed with DATAFILE: which period's values to draw");
  }
  if (o.input && (o.minus || !o.periods.empty() || o.layers != "1")) {
    throw UsageError("--period, --periods, --layer, --layers and --minus go with DATAFILE; --set chooses the data set of --input");
  }
  if (o.output == kStandardStream) throw UsageError("--output cannot be -: give the name of the PNG file to write");
  if (o.minus && *o.minus == kStandardStream) throw UsageError("--minus cannot be -: a period data file is read in place with seeks");
  const kv::GridSize grid = GridOf(o.grid);
  std::vector<std::filesystem::path> sources;
  if (o.grid.model) sources.push_back(kv::PathFromUtf8(*o.grid.model));
  if (o.dataFile) {
    ProgressBar waiting(stderr, false, *o.dataFile);
    kv::StoredPictures request{Stored(*o.dataFile, grid, *o.typeCode, waiting),
                               o.minus ? std::optional(kv::PathFromUtf8(*o.minus)) : std::nullopt,
                               o.periods,
                               o.layers,
                               o.range,
                               o.nodata,
                               o.output,
                               sources};
    const kv::PicturesResult result = kv::DrawStoredPictures(request);
    SayRolledBack(result.rolledBack, *o.dataFile, err);
    for (const std::string& note : result.notes) err << "note: " << note << '\n';
    if (!o.quiet) {
      for (const kv::DrawnPicture& p : result.pictures) out << PictureLine(p, grid, o.minus.has_value()) << '\n';
    }
    return kExitSuccess;
  }
  const std::filesystem::path output = kv::PathFromUtf8(o.output);
  if (*o.input != kStandardStream) sources.push_back(kv::PathFromUtf8(*o.input));
  kv::RefuseOverwritingSource(output, sources);
  const auto text = OpenText(*o.input);
  const kv::HeatMapStyle style{o.nodata, o.range, kv::Palette::Sequential};
  const kv::DrawnPicture p =
      kv::DrawTextSetPicture(*text, kv::PathFromUtf8(TextName(*o.input)), grid, o.set, o.typeCode, style, output);
  if (!o.quiet) out << PictureLine(p, grid, false) << '\n';
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
  // The layers that agree are counted in one line unless --all asks for them.
  auto listed = [&](const kv::LayerComparison& c) { return o.all || c.presence != Presence::Both || !c.within; };
  const auto agreeing = std::ranges::count_if(report.layers, [&](const kv::LayerComparison& c) { return !listed(c); });
  if (std::cmp_less(agreeing, report.layers.size())) {
    out << "period  layer" << Pad("max abs", 14) << Pad("at row,col", 14) << Pad("max rel", 14) << Pad("at row,col", 14)
        << "  status\n";
  }
  int differ = 0;
  int alone = 0;
  for (const kv::LayerComparison& c : report.layers) {
    if (!listed(c)) continue;
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
  if (agreeing > 0 && !report.within) {
    out << (agreeing == 1 ? "The other layer agrees" : "The other " + std::to_string(agreeing) + " layers agree") << " within "
        << Short(o.tolerance) << " (--all lists every layer)\n";
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

}  // namespace kvcli

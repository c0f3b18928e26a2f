#include "zuduradu/cli/view_options.h"

#include <charconv>

#include "zuduradu/core/text/number_text.h"

namespace kvcli {

namespace {

using Grid = GridOptions;

// -t/--type where a command may leave it out.
struct Type {
  int code = 0;
  CLI::Option* option = nullptr;
  void Add(CLI::App& command) { option = AddType(command, code); }
  std::optional<int> Get() const { return option->count() > 0 ? std::optional(code) : std::nullopt; }
};

// --nodata VALUE: a value written as the matrix text writes values.
struct NoData {
  Text text;
  void Add(CLI::App& command) {
    text.option = command.add_option("--nodata", text.value, "Cells equal to this value are no data: grey, and left "
                                                             "out of min, max, mean and std");
    text.option->type_name("VALUE")->check(
        [](const std::string& value) {
          float v = 0;
          return kv::ParseFloatField(value, v) == kv::NumberStatus::Ok ? std::string()
                                                                        : kv::QuoteField(value) + " is not a number";
        },
        "");
  }
  std::optional<float> Get() const {
    if (!text.Get()) return std::nullopt;
    float v = 0;
    kv::ParseFloatField(text.value, v);
    return v;
  }
};

// A whole number from lo to hi, checked as the other commands check theirs.
CLI::Validator Whole(int lo, int hi) {
  return CLI::Validator(
      [lo, hi](const std::string& text) {
        int n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        return ec == std::errc() && end == text.data() + text.size() && n >= lo && n <= hi
                   ? std::string()
                   : kv::QuoteField(text) + " is not a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
      },
      "");
}

// LO,HI: two numbers, the first below the second.
std::optional<kv::ValueRange> RangeOf(const std::string& text) {
  const std::size_t comma = text.find(',');
  float lo = 0, hi = 0;
  if (comma == std::string::npos || kv::ParseFloatField(text.substr(0, comma), lo) != kv::NumberStatus::Ok ||
      kv::ParseFloatField(text.substr(comma + 1), hi) != kv::NumberStatus::Ok || !(lo < hi)) {
    return std::nullopt;
  }
  return kv::ValueRange{lo, hi};
}

// A list such as 1,5-8 or "all", checked when the file's block size is known.
CLI::Validator ListOrAll() {
  return CLI::Validator(
      [](const std::string& text) {
        const bool shaped = !text.empty() && text.find_first_not_of("0123456789,- \t") == std::string::npos;
        return text == "all" || shaped ? std::string()
                                       : kv::QuoteField(text) + " is not a list such as 1,5-8 or all";
      },
      "");
}

}  // namespace

struct ViewOptions::Raw {
  CLI::App* show = nullptr;
  CLI::App* stats = nullptr;
  CLI::App* diff = nullptr;

  Text showFile, showInput;
  Grid showGrid;
  Type showType;
  int showPeriod = 0;
  CLI::Option* showPeriodOption = nullptr;
  int showLayer = 1;
  Text showPeriods, showLayers, showRange, showMinus;
  int showSet = 1;
  NoData showNoData;
  std::string showOutput;
  bool showQuiet = false;

  Text statsFile, statsInput;
  Grid statsGrid;
  Type statsType;
  NoData statsNoData;
  bool statsCsv = false;

  std::string diffFirst, diffSecond;
  Grid diffGrid;
  Type diffType;
  double diffTolerance = 0;
  bool diffCsv = false;
  bool diffQuiet = false;
  bool diffAll = false;
};

ViewOptions::ViewOptions(CLI::App& app) : raw_(std::make_unique<Raw>()) {
  Raw& r = *raw_;
  r.show = app.add_subcommand("show", "Draw one stored layer, or one data set of matrix input text, as a PNG picture");
  r.showFile.option = r.show->add_option("DATAFILE", r.showFile.value, "Period data file to read");
  r.showFile.option->type_name("FILE");
  r.showInput.option = r.show->add_option(
      "-i,--input", r.showInput.value, "Matrix input text to draw a data set of, before it is converted; - reads standard input");
  r.showInput.option->type_name("FILE")->excludes(r.showFile.option);
  r.showGrid.Add(*r.show);
  r.showType.Add(*r.show);
  r.showPeriodOption = r.show->add_option("--period", r.showPeriod, "Period whose values in force are drawn (with DATAFILE)");
  r.showPeriodOption->type_name("P")->check(Whole(1, 1000));
  CLI::Option* layer =
      r.show->add_option("--layer", r.showLayer, "Layer of the period's block (default 1)")->type_name("L")->check(Whole(1, 32767));
  r.showPeriods.option = r.show->add_option(
      "--periods", r.showPeriods.value,
      "Periods to draw, one picture each: a list such as 1,5-8, or all (every period with data of its own); "
      "{period} in --output stands for each");
  r.showPeriods.option->type_name("LIST")->check(ListOrAll())->excludes(r.showPeriodOption);
  r.showLayers.option = r.show->add_option(
      "--layers", r.showLayers.value, "Layers to draw, one picture each: a list, or all; {layer} in --output stands for each");
  r.showLayers.option->type_name("LIST")->check(ListOrAll())->excludes(layer);
  r.showRange.option = r.show->add_option(
      "--range", r.showRange.value,
      "Values from LO to HI take the colour scale (beyond it, its end colours), the same in every picture drawn with "
      "them; default: the range of all pictures of the run (write --range=-5,5 for a negative LO)");
  r.showRange.option->type_name("LO,HI")->check(CLI::Validator(
      [](const std::string& text) {
        return RangeOf(text) ? std::string() : kv::QuoteField(text) + " is not two numbers LO,HI with LO below HI";
      },
      ""));
  r.showMinus.option = r.show->add_option(
      "--minus", r.showMinus.value,
      "Draw DATAFILE minus this period data file (same grid and type), blue below zero, red above, zero light grey");
  r.showMinus.option->type_name("FILE");
  r.show->add_option("--set", r.showSet, "Data set of the input text (default 1); reading stops after it")
      ->type_name("N")->check(Whole(1, 32767));
  r.showNoData.Add(*r.show);
  r.show->add_option("-o,--output", r.showOutput, "PNG file to write; with several pictures {period} and {layer} in its name stand for each one's")->type_name("FILE")->required();
  r.show->add_flag("-q,--quiet", r.showQuiet, "Print no result line");

  r.stats = app.add_subcommand(
      "stats", "Print min, max, mean, std and the counts of zeros and no-data cells of every stored layer or data set");
  r.statsFile.option = r.stats->add_option("DATAFILE", r.statsFile.value, "Period data file to read");
  r.statsFile.option->type_name("FILE");
  r.statsInput.option =
      r.stats->add_option("-i,--input", r.statsInput.value, "Matrix input text to describe instead; - reads standard input");
  r.statsInput.option->type_name("FILE")->excludes(r.statsFile.option);
  r.statsGrid.Add(*r.stats);
  r.statsType.Add(*r.stats);
  r.statsNoData.Add(*r.stats);
  r.stats->add_flag("--csv", r.statsCsv, "Write CSV with the header period,layer,min,max,mean,std,zeros,nodata");

  r.diff = app.add_subcommand(
      "diff", "Compare two period data files layer by layer; exit status 1 when they differ by more than the tolerance");
  r.diff->footer("For diff, exit status 1 also means that the files differ beyond the tolerance or that a layer is in one "
                 "file only.");
  r.diff->add_option("FIRST", r.diffFirst, "Period data file")->type_name("FILE")->required();
  r.diff->add_option("SECOND", r.diffSecond, "Period data file to compare with")->type_name("FILE")->required();
  r.diffGrid.Add(*r.diff);
  r.diffType.Add(*r.diff);
  r.diffType.option->required();
  r.diff->add_option("--tolerance", r.diffTolerance, "Largest absolute difference still taken as equal (default 0)")
      ->type_name("X")
      ->check(CLI::Validator(
          [](const std::string& text) {
            float v = 0;
            return kv::ParseFloatField(text, v) == kv::NumberStatus::Ok && v >= 0
                       ? std::string()
                       : kv::QuoteField(text) + " is not a number of 0 or more";
          },
          ""));
  r.diff->add_flag("--csv", r.diffCsv, "Write CSV: period,layer,max_abs,abs_row,abs_column,max_rel,rel_row,rel_column,status");
  r.diff->add_flag("-q,--quiet", r.diffQuiet, "Print nothing; the exit status says whether the files agree");
  r.diff->add_flag("--all", r.diffAll,
                   "List every layer, also those that agree (otherwise one line counts them; CSV lists every layer)");
}

ViewOptions::~ViewOptions() = default;

ViewCommandLine ViewOptions::Collect() const {
  const Raw& r = *raw_;
  ViewCommandLine line;
  if (r.show->parsed()) {
    line.command = ViewCommand::Show;
    std::string periods = r.showPeriods.Get().value_or("");
    if (r.showPeriodOption->count() > 0) periods = std::to_string(r.showPeriod);
    const auto range = r.showRange.Get();
    line.show = {r.showFile.Get(),
                 r.showInput.Get(),
                 r.showGrid.Get(),
                 r.showType.Get(),
                 periods,
                 r.showLayers.Get().value_or(std::to_string(r.showLayer)),
                 r.showSet,
                 range ? RangeOf(*range) : std::nullopt,
                 r.showMinus.Get(),
                 r.showNoData.Get(),
                 r.showOutput,
                 r.showQuiet};
  } else if (r.stats->parsed()) {
    line.command = ViewCommand::Stats;
    line.stats = {r.statsFile.Get(), r.statsInput.Get(), r.statsGrid.Get(), r.statsType.Get(), r.statsNoData.Get(),
                  r.statsCsv};
  } else if (r.diff->parsed()) {
    line.command = ViewCommand::Diff;
    line.diff = {r.diffFirst, r.diffSecond, r.diffGrid.Get(), r.diffType.code, r.diffTolerance, r.diffCsv, r.diffQuiet,
                 r.diffAll};
  }
  return line;
}

}  // namespace kvcli

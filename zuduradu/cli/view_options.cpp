#include "zuduradu/cli/view_options.h"

#include <charconv>

#include "zuduradu/core/text/number_text.h"

namespace kvcli {

namespace {

// --nodata VALUE: a value written as the matrix text writes values.
void AddNoData(CLI::App& command, std::optional<float>& nodata) {
  command
      .add_option_function<std::string>(
          "--nodata",
          [&nodata](const std::string& text) {
            float v = 0;
            kv::ParseFloatField(text, v);
            nodata = v;
          },
          "Cells equal to this value are no data: grey, and left out of min, max, mean and std")
      ->type_name("VALUE")
      ->check(
          [](const std::string& value) {
            float v = 0;
            return kv::ParseFloatField(value, v) == kv::NumberStatus::Ok ? std::string()
                                                                          : kv::QuoteField(value) + " is not a number";
          },
          "");
}

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

CLI::App* AddShow(CLI::App& app, ShowOptions& options) {
  CLI::App* show =
      app.add_subcommand("show", "Draw one stored layer, or one data set of matrix input text, as a PNG picture");
  CLI::Option* file = AddOptional(*show, "DATAFILE", options.dataFile, "Period data file to read");
  file->type_name("FILE");
  AddOptional(*show, "-i,--input", options.input,
              "Matrix input text to draw a data set of, before it is converted; - reads standard input")
      ->type_name("FILE")
      ->excludes(file);
  AddGrid(*show, options.grid);
  AddType(*show, options.typeCode);
  // --period and --layer are the one-picture spellings of --periods and --layers.
  CLI::Option* period = show->add_option_function<int>(
      "--period", [&options](const int& p) { options.periods = std::to_string(p); },
      "Period whose values in force are drawn (with DATAFILE)");
  period->type_name("P")->check(Whole(1, 1000));
  CLI::Option* layer = show->add_option_function<int>(
                               "--layer", [&options](const int& l) { options.layers = std::to_string(l); },
                               "Layer of the period's block (default 1)")
                           ->type_name("L")
                           ->check(Whole(1, 32767));
  show->add_option("--periods", options.periods,
                   "Periods to draw, one picture each: a list such as 1,5-8, or all (every period with data of its "
                   "own); {period} in --output stands for each")
      ->type_name("LIST")
      ->check(ListOrAll())
      ->excludes(period);
  show->add_option("--layers", options.layers,
                   "Layers to draw, one picture each: a list, or all; {layer} in --output stands for each")
      ->type_name("LIST")
      ->check(ListOrAll())
      ->excludes(layer);
  show->add_option_function<std::string>(
          "--range", [&options](const std::string& text) { options.range = RangeOf(text); },
          "Values from LO to HI take the colour scale (beyond it, its end colours), the same in every picture drawn "
          "with them; default: the range of all pictures of the run (write --range=-5,5 for a negative LO)")
      ->type_name("LO,HI")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return RangeOf(text) ? std::string() : kv::QuoteField(text) + " is not two numbers LO,HI with LO below HI";
          },
          ""));
  AddOptional(*show, "--minus", options.minus,
              "Draw DATAFILE minus this period data file (same grid and type), blue below zero, red above, zero "
              "light grey")
      ->type_name("FILE");
  show->add_option("--set", options.set, "Data set of the input text (default 1); reading stops after it")
      ->type_name("N")
      ->check(Whole(1, 32767));
  AddNoData(*show, options.nodata);
  show->add_option("-o,--output", options.output,
                   "PNG file to write; with several pictures {period} and {layer} in its name stand for each one's")
      ->type_name("FILE")
      ->required();
  show->add_flag("-q,--quiet", options.quiet, "Print no result line");
  return show;
}

CLI::App* AddStats(CLI::App& app, StatsOptions& options) {
  CLI::App* stats = app.add_subcommand(
      "stats", "Print min, max, mean, std and the counts of zeros and no-data cells of every stored layer or data set");
  CLI::Option* file = AddOptional(*stats, "DATAFILE", options.dataFile, "Period data file to read");
  file->type_name("FILE");
  AddOptional(*stats, "-i,--input", options.input, "Matrix input text to describe instead; - reads standard input")
      ->type_name("FILE")
      ->excludes(file);
  AddGrid(*stats, options.grid);
  AddType(*stats, options.typeCode);
  AddNoData(*stats, options.nodata);
  stats->add_flag("--csv", options.csv, "Write CSV with the header period,layer,min,max,mean,std,zeros,nodata");
  return stats;
}

CLI::App* AddDiff(CLI::App& app, DiffOptions& options) {
  CLI::App* diff = app.add_subcommand(
      "diff", "Compare two period data files layer by layer; exit status 1 when they differ by more than the tolerance");
  diff->footer(
      "For diff, exit status 1 also means that the files differ beyond the tolerance or that a layer is in one "
      "file only.");
  diff->add_option("FIRST", options.first, "Period data file")->type_name("FILE")->required();
  diff->add_option("SECOND", options.second, "Period data file to compare with")->type_name("FILE")->required();
  AddGrid(*diff, options.grid);
  AddType(*diff, options.typeCode)->required();
  diff->add_option("--tolerance", options.tolerance, "Largest absolute difference still taken as equal (default 0)")
      ->type_name("X")
      ->check(CLI::Validator(
          [](const std::string& text) {
            float v = 0;
            return kv::ParseFloatField(text, v) == kv::NumberStatus::Ok && v >= 0
                       ? std::string()
                       : kv::QuoteField(text) + " is not a number of 0 or more";
          },
          ""));
  diff->add_flag("--csv", options.csv,
                 "Write CSV: period,layer,max_abs,abs_row,abs_column,max_rel,rel_row,rel_column,status");
  diff->add_flag("-q,--quiet", options.quiet, "Print nothing; the exit status says whether the files agree");
  diff->add_flag("--all", options.all,
                 "List every layer, also those that agree (otherwise one line counts them; CSV lists every layer)");
  return diff;
}

}  // namespace kvcli

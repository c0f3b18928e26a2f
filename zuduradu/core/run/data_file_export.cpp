#include "zuduradu/core/run/data_file_export.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A period written as decimal digits; nothing when the text is not one. Values
// too large for a period come back as kPeriodCount + 1, so they read as "outside".
std::optional<int> PeriodDigits(std::string_view s) {
  if (s.empty()) return std::nullopt;
  int value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min(value * 10 + (c - '0'), kPeriodCount + 1);
  }
  return value;
}

[[noreturn]] void BadList(const std::string& what) { throw Error(ErrorKind::BadRequest, what); }

int CheckedPeriod(std::string_view digits, std::string_view entry) {
  const auto p = PeriodDigits(digits);
  if (!p) BadList(QuoteField(entry) + " in the period list is not a period or a range such as 10-20");
  if (*p < 1 || *p > kPeriodCount) {
    BadList("Period " + std::string(digits) + " in the period list is outside 1.." + std::to_string(kPeriodCount));
  }
  return *p;
}

}  // namespace

std::vector<int> ParsePeriodList(std::string_view text) {
  std::vector<int> periods;
  if (TrimBlanks(text).empty()) BadList("The period list is empty");
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view entry =
        TrimBlanks(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (entry.empty()) BadList("The period list " + QuoteField(text) + " has an empty entry");
    const std::size_t dash = entry.find('-');
    if (dash == std::string_view::npos) {
      periods.push_back(CheckedPeriod(entry, entry));
    } else {
      const int first = CheckedPeriod(TrimBlanks(entry.substr(0, dash)), entry);
      const int last = CheckedPeriod(TrimBlanks(entry.substr(dash + 1)), entry);
      if (last < first) BadList("The range " + QuoteField(entry) + " in the period list runs backwards");
      for (int p = first; p <= last; ++p) periods.push_back(p);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::ranges::sort(periods);
  periods.erase(std::unique(periods.begin(), periods.end()), periods.end());
  return periods;
}

namespace {

// The number of data sets a matrix input text can announce: its count is 16-bit.
constexpr std::size_t kMaxSets = kInt16Max;

// The plan for an open file, refused as an append refuses a file that another
// grid or type made, and when its text could not be read back.
ExportPlan Prepare(const ExportRequest& request, DataFileReader& file) {
  ExportPlan plan = file.Plan(request.grid, request.typeCode, request.periods, MisfitRule::Refuse);
  if (plan.layers.size() > kMaxSets) {
    throw Error(ErrorKind::BadRequest, "The export would hold " + std::to_string(plan.layers.size()) +
                                           " data sets, more than the " + std::to_string(kMaxSets) +
                                           " that one matrix input file can announce; export fewer periods at a time");
  }
  return plan;
}

// Reads every planned layer row by row and hands each row to `row`.
template <typename Row>
void ForEachRow(DataFileReader& file, const ExportRequest& request, const ExportPlan& plan, Row&& row) {
  std::vector<float> values(static_cast<std::size_t>(request.grid.nx));
  for (const ExportedLayer& layer : plan.layers) {
    for (int j = 1; j <= request.grid.ny; ++j) {
      file.ReadFloatsAt(layer.offset + std::int64_t{j - 1} * request.grid.nx * 4, values);
      row(layer, j, values);
    }
  }
}

void CheckFinite(const ExportRequest& request, const ExportedLayer& layer, int row, std::span<const float> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) {
      throw Error(ErrorKind::BadOutput,
                  PathText(request.dataFile) + ": layer " + std::to_string(layer.layer) + " of block " +
                      std::to_string(layer.block) + " (period " + std::to_string(layer.source) + "), row " +
                      std::to_string(row) + ", column " + std::to_string(i + 1) + " holds " + ShortestText(values[i]) +
                      ", which matrix input text cannot express",
                  {}, "Nothing was exported.");
    }
  }
}

void WriteText(DataFileReader& file, const ExportRequest& request, const ExportPlan& plan, std::ostream& out) {
  out << plan.layers.size() << '\n';
  std::string line;
  ForEachRow(file, request, plan, [&](const ExportedLayer& layer, int row, std::span<const float> values) {
    CheckFinite(request, layer, row, values);
    line.clear();
    if (row == 1) line = std::to_string(layer.period) + ' ' + std::to_string(layer.layer) + '\n';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) line += ' ';
      line += ShortestText(values[i]);
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  });
}

}  // namespace

ExportPlan ExportMatrixText(const ExportRequest& request, std::ostream& out) {
  // Read under the shared lock: no run changes the file meanwhile.
  DataFileReader file(request.dataFile, request.lockWait);
  ExportPlan plan = Prepare(request, file);
  // Check every value first: a stream cannot take back what it was given.
  ForEachRow(file, request, plan, [&](const ExportedLayer& layer, int row, std::span<const float> values) {
    CheckFinite(request, layer, row, values);
  });
  WriteText(file, request, plan, out);
  out.flush();
  if (!out) throw Error(ErrorKind::Io, "Could not write the exported text");
  return plan;
}

ExportPlan ExportMatrixTextToFile(const ExportRequest& request, const fs::path& output) {
  SaveTarget target(output, SaveTarget::Kind::InOrder);
  if (target.IsFile(request.dataFile)) {
    throw Error(ErrorKind::BadRequest, "The export would overwrite the period data file it reads, " + PathText(output),
                {}, "The output file " + PathText(output) + " was not changed.");
  }
  target.RefuseOwnFile(request.model, "model file");
  if (target.IsStream()) {
    // Checked in full before the first character goes out: a refused export writes nothing into it.
    try {
      ExportPlan plan = ExportMatrixText(request, target.Begin(request.readerWait));
      target.Finish();
      return plan;
    } catch (const Error& e) {
      throw e.WithIntact(target.IntactNote("the exported text", "the text"));
    }
  }
  target.CheckKind();
  try {
    DataFileReader file(request.dataFile, request.lockWait);
    ExportPlan plan = Prepare(request, file);
    WriteText(file, request, plan, target.Begin());
    target.Finish();
    return plan;
  } catch (const Error& e) {
    throw e.WithIntact(target.IntactNote("the exported text", "the text"));
  }
}

}  // namespace kv

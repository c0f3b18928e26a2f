#include "zuduradu/core/run/data_file_export.h"

#include <algorithm>
#include <cmath>
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

#include "zuduradu/core/run/data_file_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/matrix_reader.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/text/row_text.h"

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

// Rows are read and formatted this many values at a time (at least one row):
// memory stays the same however large the file is.
constexpr std::size_t kBatchValues = std::size_t{1} << 18;
// Below this many values a batch is formatted on the calling thread alone.
constexpr std::size_t kSharedBatch = std::size_t{1} << 14;

// One row of a batch: its layer, its number (1-based) and where its values are.
struct BatchRow {
  const ExportedLayer* layer;
  int row;
  std::size_t at;
};

// Reads the planned layers in batches of whole rows, in file order, and hands
// each batch (its rows and their values) to `batch`.
template <typename Batch>
void ForEachBatch(DataFileReader& file, const ExportRequest& request, const ExportPlan& plan, Batch&& batch) {
  const auto nx = static_cast<std::size_t>(request.grid.nx);
  const std::size_t rowsPerBatch = std::max<std::size_t>(1, kBatchValues / nx);
  std::vector<float> values(nx * std::min(rowsPerBatch, plan.layers.size() * static_cast<std::size_t>(request.grid.ny)));
  std::vector<BatchRow> rows;
  auto flush = [&] {
    if (rows.empty()) return;
    batch(std::span<const BatchRow>(rows), std::span<const float>(values).first(rows.size() * nx));
    rows.clear();
  };
  for (const ExportedLayer& layer : plan.layers) {
    for (int j = 1; j <= request.grid.ny;) {
      // The rest of this layer that fits into the batch lies in one piece of the file.
      const auto take = std::min(rowsPerBatch - rows.size(), static_cast<std::size_t>(request.grid.ny - j + 1));
      file.ReadFloatsAt(layer.offset + std::int64_t{j - 1} * request.grid.nx * 4,
                        std::span(values).subspan(rows.size() * nx, take * nx));
      for (std::size_t k = 0; k < take; ++k) rows.push_back({&layer, j++, rows.size() * nx});
      if (rows.size() == rowsPerBatch) flush();
    }
  }
  flush();
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

void CheckBatch(const ExportRequest& request, std::span<const BatchRow> rows, std::span<const float> values) {
  const auto nx = static_cast<std::size_t>(request.grid.nx);
  for (const BatchRow& r : rows) CheckFinite(request, *r.layer, r.row, values.subspan(r.at, nx));
}

// Formats rows into `text`: a data set's period and layer before its first row.
void FormatRows(std::span<const BatchRow> rows, std::span<const float> values, std::size_t nx, std::vector<char>& text) {
  // "period layer\n" takes at most 2 x 11 + 2 characters.
  constexpr std::size_t kSetLineRoom = 24;
  text.resize(rows.size() * (RowTextRoom(nx) + kSetLineRoom));
  char* out = text.data();
  for (const BatchRow& r : rows) {
    if (r.row == 1) {
      char* const end = out + kSetLineRoom;
      out = std::to_chars(out, end, r.layer->period).ptr;
      *out++ = ' ';
      out = std::to_chars(out, end, r.layer->layer).ptr;
      *out++ = '\n';
    }
    out = WriteRowText(out, values.subspan(r.at, nx));
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
}

void WriteText(DataFileReader& file, const ExportRequest& request, const ExportPlan& plan, std::ostream& out) {
  const std::string count = std::to_string(plan.layers.size()) + '\n';
  out.write(count.data(), static_cast<std::streamsize>(count.size()));
  const auto nx = static_cast<std::size_t>(request.grid.nx);
  const auto threads = static_cast<std::size_t>(MatrixReader::DefaultThreads());
  std::vector<std::vector<char>> parts(threads);
  ForEachBatch(file, request, plan, [&](std::span<const BatchRow> rows, std::span<const float> values) {
    CheckBatch(request, rows, values);
    // The batch's rows are cut into one part per thread; the parts go out in order.
    const std::size_t used = values.size() < kSharedBatch ? 1 : std::min(threads, rows.size());
    const std::size_t per = (rows.size() + used - 1) / used;
    auto format = [&](std::size_t p) {
      const std::size_t first = std::min(rows.size(), p * per);
      FormatRows(rows.subspan(first, std::min(rows.size(), first + per) - first), values, nx, parts[p]);
    };
    std::vector<std::jthread> helpers;
    for (std::size_t p = 1; p < used; ++p) helpers.emplace_back(format, p);
    format(0);
    helpers.clear();
    for (std::size_t p = 0; p < used; ++p) out.write(parts[p].data(), static_cast<std::streamsize>(parts[p].size()));
  });
}

}  // namespace

ExportPlan ExportMatrixText(const ExportRequest& request, std::ostream& out) {
  // Read under the shared lock: no run changes the file meanwhile.
  DataFileReader file(request.dataFile, request.lockWait);
  ExportPlan plan = Prepare(request, file);
  // Check every value first: a stream cannot take back what it was given.
  ForEachBatch(file, request, plan, [&](std::span<const BatchRow> rows, std::span<const float> values) {
    CheckBatch(request, rows, values);
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

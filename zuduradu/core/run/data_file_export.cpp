#include "zuduradu/core/run/data_file_export.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <streambuf>
#include <vector>
#include <string>
#include <system_error>

#include "zuduradu/core/run/data_file_info.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/le_bytes.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/storage/output_guard.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/storage/replacement_file.h"
#include "zuduradu/core/storage/stream_output.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

// The number of data sets a matrix input text can announce: its count is 16-bit.
constexpr std::size_t kMaxSets = kInt16Max;

// The plan, refused as an append refuses a file that another grid or type made.
ExportPlan CheckedPlan(const PeriodHeader& header, std::int64_t length, const GridSize& grid, int typeCode,
                       std::span<const int> periods, const fs::path& name) {
  RefuseMisfit(DescribeHeader(header, length, FileGeometry{grid, typeCode}), name);
  return PlanExport(header, length, grid, typeCode, periods, name);
}

// The plan for an open file, refused when its text could not be read back.
ExportPlan Prepare(const ExportRequest& request, BinaryFile& file) {
  CheckGrid(request.grid, request.typeCode);
  const PeriodHeader header = ReadHeader(file);
  ExportPlan plan = CheckedPlan(header, file.Length(), request.grid, request.typeCode, request.periods,
                                request.dataFile);
  if (plan.layers.size() > kMaxSets) {
    throw Error(ErrorKind::BadRequest, "The export would hold " + std::to_string(plan.layers.size()) +
                                           " data sets, more than the " + std::to_string(kMaxSets) +
                                           " that one matrix input file can announce; export fewer periods at a time");
  }
  return plan;
}

// Reads every planned layer row by row and hands each row to `row`.
template <typename Row>
void ForEachRow(BinaryFile& file, const ExportRequest& request, const ExportPlan& plan, Row&& row) {
  const auto nx = static_cast<std::size_t>(request.grid.nx);
  std::vector<unsigned char> bytes(4 * nx);
  std::vector<float> values(nx);
  for (const ExportedLayer& layer : plan.layers) {
    for (int j = 1; j <= request.grid.ny; ++j) {
      file.ReadAt(layer.offset + std::int64_t{j - 1} * request.grid.nx * 4, bytes);
      for (std::size_t i = 0; i < nx; ++i) values[i] = GetFloat(&bytes[4 * i]);
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

void WriteText(BinaryFile& file, const ExportRequest& request, const ExportPlan& plan, std::ostream& out) {
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


namespace {

// A period to export, the period whose values are in force for it, and that one's block.
struct Pick {
  int period, source, block;
};

// The periods asked for, or every period with data of its own.
std::vector<int> ChosenPeriods(const PeriodHeader& header, std::span<const int> periods) {
  std::vector<int> chosen(periods.begin(), periods.end());
  if (chosen.empty()) {
    const PeriodTable classified = ClassifyPeriods(header);
    for (int p = 1; p <= kPeriodCount; ++p) {
      if (classified[static_cast<std::size_t>(p - 1)] == kOwnData) chosen.push_back(p);
    }
  }
  return chosen;
}

// The block in force for every chosen period, in block order; refused for a
// period that has none.
std::vector<Pick> PickBlocks(const PeriodHeader& header, std::span<const int> chosen, const std::string& file) {
  std::vector<Pick> picks;
  for (int p : chosen) {
    if (p < 1 || p > kPeriodCount) {
      throw Error(ErrorKind::BadRequest,
                  "Period " + std::to_string(p) + " is outside 1.." + std::to_string(kPeriodCount));
    }
    const int source = header.references[static_cast<std::size_t>(p - 1)];
    if (source < 1 || source > kPeriodCount) {
      throw Error(ErrorKind::BadOutput, file + ": period " + std::to_string(p) + " refers to period " +
                                            std::to_string(source) + ", outside 1.." + std::to_string(kPeriodCount) +
                                            ", so no values are in force for it");
    }
    const int block = header.blocks[static_cast<std::size_t>(source - 1)];
    if (block == 0) {
      throw Error(ErrorKind::BadOutput, file + ": period " + std::to_string(p) + " uses period " +
                                            std::to_string(source) +
                                            ", which has no block, so no values are in force for it");
    }
    picks.push_back({p, source, block});
  }
  std::ranges::stable_sort(picks, [](const Pick& a, const Pick& b) { return a.block < b.block; });
  return picks;
}

// The layers of every picked block that the file holds; refused when a block
// lies beyond what the file can address or the file ends inside a layer.
ExportPlan PlanLayers(std::span<const Pick> picks, std::int64_t fileLength, const GridSize& grid, int typeCode,
                      const std::string& file) {
  const int layers = LayersPerBlock(typeCode, grid.nz);
  const std::int64_t layerBytes = CellsPerLayer(grid) * 4;
  ExportPlan plan;
  for (const Pick& pick : picks) {
    const std::size_t before = plan.layers.size();
    for (int layer = 1; layer <= layers; ++layer) {
      const auto offset = LayerOffset(grid, layers, pick.block, layer);
      if (!offset) {
        throw Error(ErrorKind::BadOutput, file + ": the block number " + std::to_string(pick.block) + " of period " +
                                              std::to_string(pick.source) +
                                              " puts its data outside the range the file can address");
      }
      // A file may end inside its last block; the layers from there on were never written.
      if (*offset >= fileLength) break;
      if (*offset + layerBytes > fileLength) {
        throw Error(ErrorKind::BadOutput, file + " ends at byte " + std::to_string(fileLength) + ", inside layer " +
                                              std::to_string(layer) + " of block " + std::to_string(pick.block) +
                                              " (period " + std::to_string(pick.source) +
                                              "): its length does not fit this grid and type");
      }
      plan.layers.push_back({pick.period, pick.source, pick.block, layer, *offset});
    }
    if (plan.layers.size() == before) plan.periodsWithoutLayers.push_back(pick.period);
  }
  return plan;
}

}  // namespace

ExportPlan PlanExport(const PeriodHeader& header, std::int64_t fileLength, const GridSize& grid, int typeCode,
                      std::span<const int> periods, const fs::path& name) {
  const std::string file = PathText(name);
  return PlanLayers(PickBlocks(header, ChosenPeriods(header, periods), file), fileLength, grid, typeCode, file);
}

ExportPlan ExportMatrixText(const ExportRequest& request, std::ostream& out) {
  // Read under the shared lock: no run changes the file meanwhile.
  const OutputGuard guard(FollowLinks(request.dataFile), LockKind::Shared, request.lockWait);
  BinaryFile file(request.dataFile, BinaryFile::Mode::Read);
  ExportPlan plan = Prepare(request, file);
  plan.rolledBack = guard.rolledBack();
  // Check every value first: a stream cannot take back what it was given.
  ForEachRow(file, request, plan, [&](const ExportedLayer& layer, int row, std::span<const float> values) {
    CheckFinite(request, layer, row, values);
  });
  WriteText(file, request, plan, out);
  out.flush();
  if (!out) throw Error(ErrorKind::Io, "Could not write the exported text");
  return plan;
}

namespace {

// Hands what a stream is given to `drain` in pieces, so that text goes through
// the same exclusive, synced replacement as the binary files, or into a FIFO.
class SinkStreamBuffer : public std::streambuf {
 public:
  using Sink = std::function<void(std::span<const char>)>;
  explicit SinkStreamBuffer(Sink drain) : drain_(std::move(drain)), buffer_(std::size_t{1} << 16) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

 protected:
  int_type overflow(int_type c) override {
    Drain();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    Drain();
    return 0;
  }

 private:
  void Drain() {
    drain_({pbase(), static_cast<std::size_t>(pptr() - pbase())});
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

  Sink drain_;
  std::vector<char> buffer_;
};

// The data file and the model are read, never written: caught by the file's
// identity, so that links and other spellings of a path count too.
void RefuseOwnFilesAsOutput(const ExportRequest& request, const fs::path& output) {
  const auto out = IdentityOf(output);
  if (!out) return;
  const std::string intact = "The output file " + PathText(output) + " was not changed.";
  if (out == IdentityOf(request.dataFile)) {
    throw Error(ErrorKind::BadRequest, "The export would overwrite the period data file it reads, " + PathText(output),
                {}, intact);
  }
  if (!request.model.empty() && out == IdentityOf(request.model)) {
    throw Error(ErrorKind::BadRequest,
                "The output file " + PathText(output) + " is the model file " + PathText(request.model) +
                    " itself; choose another output file",
                {}, intact);
  }
}

// A FIFO or device is written into: the values are checked before the first
// character goes out, so a refused export writes nothing into it.
ExportPlan ExportIntoStream(const ExportRequest& request, const fs::path& output) {
  std::optional<StreamOutput> stream;
  try {
    stream.emplace(output, request.readerWait);
    SinkStreamBuffer buffer([&](std::span<const char> bytes) { stream->Write(bytes); });
    std::ostream out(&buffer);
    out.exceptions(std::ios::badbit);
    return ExportMatrixText(request, out);
  } catch (const Error& e) {
    throw e.WithIntact(stream && stream->written() ? PathText(output) + " received only part of the text."
                                                   : "Nothing was written to " + PathText(output) + ".");
  }
}

}  // namespace

ExportPlan ExportMatrixTextToFile(const ExportRequest& request, const fs::path& output) {
  RefuseOwnFilesAsOutput(request, output);
  if (IsStreamOutput(output)) return ExportIntoStream(request, output);
  const fs::path target = FollowLinks(output);
  std::error_code ec;
  const fs::file_status status = fs::status(target, ec);
  if (fs::is_directory(status)) {
    throw Error(ErrorKind::BadRequest, "The output path " + PathText(output) + " is a folder, not a file");
  }
  const bool present = fs::exists(status);
  if (present && !fs::is_regular_file(status)) {
    throw Error(ErrorKind::BadRequest, "The output path " + PathText(output) +
                                           " is neither a regular file nor a FIFO or character device",
                {}, "Nothing was written to it.");
  }
  std::optional<ReplacementFile> replacement;
  try {
    const OutputGuard guard(FollowLinks(request.dataFile), LockKind::Shared, request.lockWait);
    BinaryFile file(request.dataFile, BinaryFile::Mode::Read);
    ExportPlan plan = Prepare(request, file);
    plan.rolledBack = guard.rolledBack();
    replacement.emplace(target);
    BinaryFile& text = replacement->CreateEmpty();
    std::int64_t at = 0;
    {
      SinkStreamBuffer buffer([&](std::span<const char> bytes) {
        text.WriteAt(at, {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
        at += static_cast<std::int64_t>(bytes.size());
      });
      std::ostream out(&buffer);
      out.exceptions(std::ios::badbit);
      WriteText(file, request, plan, out);
      out.flush();
    }
    replacement->PutInPlace();
    return plan;
  } catch (const Error& e) {
    if (replacement && replacement->placed()) {
      throw e.WithIntact("The output file " + PathText(output) +
                         " holds the exported text, but the system has not confirmed that the change is on the disk.");
    }
    throw e.WithIntact(present ? "The output file " + PathText(output) + " was not changed."
                               : "No output file was created.");
  }
}

PeriodValues ReadPeriodValues(const fs::path& dataFile, const GridSize& grid, int typeCode, int period, int layer,
                              const LockWait& wait) {
  CheckGrid(grid, typeCode);
  if (period < 1 || period > kPeriodCount) {
    throw Error(ErrorKind::BadRequest, "Period " + std::to_string(period) + " is outside 1.." + std::to_string(kPeriodCount));
  }
  const int perBlock = LayersPerBlock(typeCode, grid.nz);
  if (layer < 0 || layer > perBlock) {
    throw Error(ErrorKind::BadRequest, "Layer " + std::to_string(layer) + " is outside 1.." + std::to_string(perBlock) +
                                           ", the layers a block of type " + std::to_string(typeCode) + " holds");
  }
  const OutputGuard guard(FollowLinks(dataFile), LockKind::Shared, wait);
  BinaryFile file(dataFile, BinaryFile::Mode::Read);
  const PeriodHeader header = ReadHeader(file);
  const int wanted[] = {period};
  const ExportPlan plan = CheckedPlan(header, file.Length(), grid, typeCode, wanted, dataFile);

  PeriodValues result;
  result.rolledBack = guard.rolledBack();
  result.source = header.references[static_cast<std::size_t>(period - 1)];
  result.block = header.blocks[static_cast<std::size_t>(result.source - 1)];
  result.layers = layer == 0 ? perBlock : 1;
  const auto cells = static_cast<std::size_t>(CellsPerLayer(grid));
  result.values.assign(cells * static_cast<std::size_t>(result.layers), std::numeric_limits<float>::quiet_NaN());
  std::vector<unsigned char> bytes(cells * 4);
  for (const ExportedLayer& present : plan.layers) {
    if (layer != 0 && present.layer != layer) continue;
    file.ReadAt(present.offset, bytes);
    float* out = result.values.data() + cells * static_cast<std::size_t>(layer == 0 ? present.layer - 1 : 0);
    for (std::size_t i = 0; i < cells; ++i) out[i] = GetFloat(&bytes[4 * i]);
    ++result.layersPresent;
  }
  if (layer != 0 && result.layersPresent == 0) {
    throw Error(ErrorKind::BadOutput, PathText(dataFile) + ": layer " + std::to_string(layer) + " of block " +
                                          std::to_string(result.block) + " (period " + std::to_string(result.source) +
                                          ") lies past the end of the file; it was never written");
  }
  return result;
}

FileValues ReadFileValues(const fs::path& dataFile, const GridSize& grid, int typeCode, const LockWait& wait) {
  CheckGrid(grid, typeCode);
  const OutputGuard guard(FollowLinks(dataFile), LockKind::Shared, wait);
  BinaryFile file(dataFile, BinaryFile::Mode::Read);
  const PeriodHeader header = ReadHeader(file);
  const ExportPlan plan = CheckedPlan(header, file.Length(), grid, typeCode, {}, dataFile);
  FileValues result;
  result.rolledBack = guard.rolledBack();
  result.layers = LayersPerBlock(typeCode, grid.nz);
  for (const ExportedLayer& layer : plan.layers) result.periods.push_back(layer.period);
  for (int period : plan.periodsWithoutLayers) result.periods.push_back(period);
  std::sort(result.periods.begin(), result.periods.end());
  result.periods.erase(std::unique(result.periods.begin(), result.periods.end()), result.periods.end());
  const auto cells = static_cast<std::size_t>(CellsPerLayer(grid));
  const std::size_t perPeriod = cells * static_cast<std::size_t>(result.layers);
  result.values.assign(perPeriod * result.periods.size(), std::numeric_limits<float>::quiet_NaN());
  std::vector<unsigned char> bytes(cells * 4);
  for (const ExportedLayer& layer : plan.layers) {
    const auto at = static_cast<std::size_t>(
        std::lower_bound(result.periods.begin(), result.periods.end(), layer.period) - result.periods.begin());
    file.ReadAt(layer.offset, bytes);
    float* out = result.values.data() + at * perPeriod + cells * static_cast<std::size_t>(layer.layer - 1);
    for (std::size_t i = 0; i < cells; ++i) out[i] = GetFloat(&bytes[4 * i]);
  }
  return result;
}

}  // namespace kv

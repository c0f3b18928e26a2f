#include "zuduradu/core/view/stored_layers.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/input/matrix_text.h"
#include "zuduradu/core/message_text.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

// Cells read at a time: a layer of any size is described in fixed memory.
constexpr std::int64_t kCellsPerRead = std::int64_t{1} << 18;

// A data file open to read, with the layers it stores for its periods that
// have data of their own. A file that another grid or type made, or whose
// period table is damaged, is refused, as every reader of values refuses it.
class OpenDataFile {
 public:
  OpenDataFile(const fs::path& path, const GridSize& grid, int typeCode, const LockWait& wait) : file_(path, wait) {
    const ExportPlan plan = file_.Plan(grid, typeCode, {}, MisfitRule::Refuse);
    for (const ExportedLayer& layer : plan.layers) layers_[{layer.period, layer.layer}] = layer.offset;
  }

  bool rolledBack() const { return file_.rolledBack(); }
  // (period, layer) -> offset of the layer's first value, by period then layer.
  const std::map<std::pair<int, int>, std::int64_t>& layers() const { return layers_; }

  // Reads `cells.size()` values from cell `first` of the layer at `offset`.
  void Read(std::int64_t offset, std::int64_t first, std::span<float> cells) { file_.ReadFloatsAt(offset + first * 4, cells); }

 private:
  DataFileReader file_;
  std::map<std::pair<int, int>, std::int64_t> layers_;
};

// Calls step(first cell, count) for the stretches a layer is read in.
template <typename Step>
void InStretches(const GridSize& grid, Step&& step) {
  const std::int64_t cells = CellsPerLayer(grid);
  for (std::int64_t first = 0; first < cells; first += kCellsPerRead) step(first, std::min(kCellsPerRead, cells - first));
}

}  // namespace

StatsReport DataFileStats(const StoredFile& stored, std::optional<float> nodata) {
  OpenDataFile file(stored.dataFile, stored.grid, stored.typeCode, stored.lockWait);
  StatsReport report;
  report.rolledBack = file.rolledBack();
  std::vector<float> values;
  for (const auto& [key, at] : file.layers()) {
    const std::int64_t offset = at;  // a lambda may not capture a structured binding before C++20's clang 16
    StatsSum sum(nodata);
    InStretches(stored.grid, [&](std::int64_t first, std::int64_t count) {
      values.resize(static_cast<std::size_t>(count));
      file.Read(offset, first, values);
      sum.Add(values);
    });
    report.rows.push_back({key.first, key.second, 0, sum.Result()});
  }
  return report;
}

StatsReport MatrixTextStats(ByteSource& text, const fs::path& name, const GridSize& grid,
                            std::optional<float> nodata) {
  if (grid.nx < 1 || grid.ny < 1) throw Error(ErrorKind::BadRequest, "The grid has no cells");
  MatrixTextSets input(text, name);
  SetStream& in = input.sets();
  StatsReport report;
  const int count = in.ReadInteger("set count", 0);
  std::vector<float> values(static_cast<std::size_t>(std::min(CellsPerLayer(grid), kCellsPerRead)));
  for (int s = 1; s <= count; ++s) {
    const int period = in.ReadInteger("period", s);
    const int layer = in.ReadInteger("layer", s);
    StatsSum sum(nodata);
    InStretches(grid, [&](std::int64_t, std::int64_t n) {
      const std::span<float> part(values.data(), static_cast<std::size_t>(n));
      in.ReadValues(part, s);
      sum.Add(part);
    });
    report.rows.push_back({period, layer, s, sum.Result()});
  }
  return report;
}

DiffReport DiffDataFiles(const StoredFile& first, const fs::path& second, double tolerance) {
  OpenDataFile a(first.dataFile, first.grid, first.typeCode, first.lockWait);
  OpenDataFile b(second, first.grid, first.typeCode, first.lockWait);
  DiffReport report;
  report.rolledBackFirst = a.rolledBack();
  report.rolledBackSecond = b.rolledBack();
  std::map<std::pair<int, int>, LayerComparison> layers;
  for (const auto& [key, offset] : a.layers()) {
    LayerComparison& c = layers[key];
    c.period = key.first;
    c.layer = key.second;
    if (!b.layers().contains(key)) c.presence = LayerComparison::Presence::OnlyFirst;
  }
  for (const auto& [key, offset] : b.layers()) {
    if (a.layers().contains(key)) continue;
    layers[key] = {key.first, key.second, LayerComparison::Presence::OnlySecond, {}, false};
  }
  std::vector<float> x;
  std::vector<float> y;
  for (auto& entry : layers) {
    LayerComparison& c = entry.second;
    const auto& key = entry.first;
    if (c.presence == LayerComparison::Presence::Both) {
      const std::int64_t atA = a.layers().at(key);
      const std::int64_t atB = b.layers().at(key);
      InStretches(first.grid, [&](std::int64_t cell, std::int64_t n) {
        x.resize(static_cast<std::size_t>(n));
        y.resize(static_cast<std::size_t>(n));
        a.Read(atA, cell, x);
        b.Read(atB, cell, y);
        AddDifference(c.difference, x, y, first.grid.nx, cell);
      });
      c.within = c.difference.maxAbs <= tolerance;
    }
    report.within = report.within && c.within;
    report.layers.push_back(c);
  }
  return report;
}

MatrixSet ReadMatrixSet(ByteSource& text, const fs::path& name, const GridSize& grid, int set) {
  if (grid.nx < 1 || grid.ny < 1) throw Error(ErrorKind::BadRequest, "The grid has no cells");
  MatrixTextSets input(text, name, 1);
  SetStream& in = input.sets();
  MatrixSet result;
  result.set = set;
  result.setCount = in.ReadInteger("set count", 0);
  if (set < 1 || set > result.setCount) {
    throw Error(ErrorKind::BadRequest, PathText(name) + " announces " + DataSetCount(std::max(result.setCount, 0)) +
                                           ", so it has no data set " + std::to_string(set));
  }
  const std::int64_t cells = CellsPerLayer(grid);
  for (int s = 1; s < set; ++s) {
    in.ReadInteger("period", s);
    in.ReadInteger("layer", s);
    in.SkipValues(cells, s);
  }
  result.period = in.ReadInteger("period", set);
  result.layer = in.ReadInteger("layer", set);
  result.values.resize(static_cast<std::size_t>(cells));
  in.ReadValues(result.values, set);
  return result;
}

}  // namespace kv

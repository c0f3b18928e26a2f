// The numbers that describe one layer of values, and the difference between
// two layers of the same grid. They hold no files: the readers in
// stored_layers.h hand them one layer at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace kv {

// Min, max, mean and standard deviation are over the data cells: every cell
// that is not the no-data value. NaN when no cell is a data cell.
struct LayerStats {
  float min = 0;
  float max = 0;
  double mean = 0;
  double std = 0;             // population standard deviation (divided by the cell count)
  std::int64_t cells = 0;     // every cell of the layer
  std::int64_t zeros = 0;     // data cells equal to 0
  std::int64_t nodata = 0;    // cells equal to the no-data value
};

LayerStats StatsOf(std::span<const float> values, std::optional<float> nodata = std::nullopt);

// The same numbers gathered a stretch of cells at a time, so that a layer
// larger than memory can be described.
class StatsSum {
 public:
  explicit StatsSum(std::optional<float> nodata = std::nullopt) : nodata_(nodata) {}
  void Add(std::span<const float> values);
  LayerStats Result() const;

 private:
  std::optional<float> nodata_;
  LayerStats partial_;
  double shift_ = 0;
  double sum_ = 0;
  double squares_ = 0;
  std::int64_t n_ = 0;
  float lo_ = 0;
  float hi_ = 0;
  bool anyNaN_ = false;
};

// The largest absolute and relative difference between two layers and the
// first cell (1-based row and column, row 1 first as the layer is stored)
// where each occurs; row and column are 0 when every cell is the same. The
// relative difference is |a - b| / max(|a|, |b|). Two NaN are the same value;
// a NaN against a number is an infinite difference.
struct LayerDifference {
  double maxAbs = 0;
  int absRow = 0;
  int absColumn = 0;
  double maxRel = 0;
  int relRow = 0;
  int relColumn = 0;
};

// a and b hold the same number of cells, nx to a row.
LayerDifference DifferenceOf(std::span<const float> a, std::span<const float> b, int nx);

// Folds the difference of a further stretch of cells, starting at cell
// `firstCell` of the layer, into `into`.
void AddDifference(LayerDifference& into, std::span<const float> a, std::span<const float> b, int nx,
                   std::int64_t firstCell);

}  // namespace kv

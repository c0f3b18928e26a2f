// The model grid and the limits of the period data file.
#pragma once

#include <cstdint>

namespace kv {

// Columns, rows and layers of the model, as read from its description file.
struct GridSize {
  int nx = 0;
  int ny = 0;
  int nz = 0;
  friend bool operator==(const GridSize&, const GridSize&) = default;
};

inline constexpr int kPeriodCount = 1000;            // stress periods a file can hold
inline constexpr int kMaxBlockNumber = 32767;        // block numbers are signed 16-bit
inline constexpr std::int64_t kHeaderBytes = 4000;   // reference table + block table
inline constexpr std::int64_t kBlockTableOffset = 2000;
inline constexpr std::int64_t kMaxLayerOffset = 2147483646;  // offsets are signed 32-bit
inline constexpr int kInt16Min = -32768;
inline constexpr int kInt16Max = 32767;

// Cells in one layer: NX * NY.
inline std::int64_t CellsPerLayer(const GridSize& g) { return std::int64_t{g.nx} * g.ny; }

}  // namespace kv

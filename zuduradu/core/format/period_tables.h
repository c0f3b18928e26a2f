// The header of a period data file and the pure rules over it: which codes hold
// one layer per block, where a layer lies, which block a new period gets, and how
// the period reference table is rebuilt. No file is touched here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "zuduradu/core/grid.h"

namespace kv {

// One 16-bit entry per period; the entry of period p is at index p - 1.
using PeriodTable = std::array<std::int16_t, kPeriodCount>;

struct PeriodHeader {
  PeriodTable references{};  // bytes 0..1999: the period whose values are in force
  PeriodTable blocks{};      // bytes 2000..3999: the period's own block, 0 for none
  friend bool operator==(const PeriodHeader&, const PeriodHeader&) = default;
};

// Classification of a period after loading the tables (kept in the reference copy).
inline constexpr std::int16_t kOwnData = -1;       // has a block and names itself
inline constexpr std::int16_t kBorrowedData = -2;  // has a block but names another period
inline constexpr std::int16_t kNoBlock = 0;

bool IsSingleLayerType(int typeCode);
// Layers in one data block: 1 for single-layer types, NZ otherwise.
int LayersPerBlock(int typeCode, int nz);

// The header of a new file: every reference 1, block entry 1 = 1, the rest 0.
PeriodHeader NewHeader();
void EncodeHeader(const PeriodHeader& header, std::span<unsigned char, kHeaderBytes> out);
PeriodHeader DecodeHeader(std::span<const unsigned char, kHeaderBytes> in);

// The largest block entry plus one (negative entries never count, gaps are never
// filled); nothing when that would pass 32767.
std::optional<std::int16_t> NextBlockNumber(const PeriodTable& blocks);

// Byte offset of a layer (1-based) of a block (1-based), or nothing when it would
// fall outside 4000..2,147,483,646 or any step overflows 32 bits.
std::optional<std::int64_t> LayerOffset(const GridSize& grid, int layersPerBlock, int block, int layer);

// Refuses (kv::Error, BadRequest) a grid that has no cells, a type code outside
// 0..kMaxTypeCode, or a grid whose first block does not lie whole within the
// offsets the file can address (the limit is in the message).
void CheckGrid(const GridSize& grid, int typeCode);

// The reference copy after loading: kOwnData, kBorrowedData or kNoBlock per period.
PeriodTable ClassifyPeriods(const PeriodHeader& header);
// The rebuilt reference table: own periods name themselves, the others the nearest
// own period before them, or period 1 when there is none.
PeriodTable RebuildReferences(const PeriodTable& classified);

// Why a data set cannot be placed into a file.
enum class PlaceFailure { PeriodOutOfRange, LayerOutOfRange, BlockNumberOverflow, OffsetOutOfRange };

struct Placement {
  std::int64_t offset = 0;  // where the layer's first value goes
  bool newBlock = false;    // the period received its block with this layer
};

// The header of one file as a run changes it, together with the geometry that
// turns periods and layers into offsets. Placing a layer does to the tables
// exactly what storing it does to the file: the period names itself, and a
// period without a block gets the next block number.
class DataFileLayout {
 public:
  DataFileLayout(const GridSize& grid, int typeCode, const PeriodHeader& header);

  std::variant<Placement, PlaceFailure> Place(int period, int layer);

  const PeriodHeader& header() const { return header_; }
  int layersPerBlock() const { return layers_; }
  std::int64_t layerBytes() const { return CellsPerLayer(grid_) * 4; }
  // Length of a new file: the header and one block.
  std::int64_t newFileLength() const { return kHeaderBytes + layers_ * layerBytes(); }

 private:
  GridSize grid_;
  int layers_;
  PeriodHeader header_;
};

// Whether every non-zero block entry of a header names a block whose layers can be
// addressed; the first period that cannot, or nothing when all can.
std::optional<int> FirstUnaddressableBlock(const GridSize& grid, int layersPerBlock, const PeriodHeader& header);

}  // namespace kv

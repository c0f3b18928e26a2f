#include "zuduradu/core/format/period_tables.h"

#include <algorithm>
#include <limits>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/le_bytes.h"

namespace kv {

bool IsSingleLayerType(int typeCode) {
  return (typeCode >= 17 && typeCode <= 20) || typeCode == 23 || typeCode == 24 || typeCode == 46 ||
         typeCode == 48 || (typeCode >= 85 && typeCode <= 89) || (typeCode >= 231 && typeCode <= 290);
}

int LayersPerBlock(int typeCode, int nz) { return IsSingleLayerType(typeCode) ? 1 : nz; }

PeriodHeader NewHeader() {
  PeriodHeader h;
  h.references.fill(1);
  h.blocks.fill(0);
  h.blocks[0] = 1;
  return h;
}

void EncodeHeader(const PeriodHeader& header, std::span<unsigned char, kHeaderBytes> out) {
  for (int i = 0; i < kPeriodCount; ++i) {
    PutInt16(&out[static_cast<std::size_t>(2 * i)], header.references[static_cast<std::size_t>(i)]);
    PutInt16(&out[static_cast<std::size_t>(kBlockTableOffset + 2 * i)], header.blocks[static_cast<std::size_t>(i)]);
  }
}

PeriodHeader DecodeHeader(std::span<const unsigned char, kHeaderBytes> in) {
  PeriodHeader h;
  for (int i = 0; i < kPeriodCount; ++i) {
    h.references[static_cast<std::size_t>(i)] = GetInt16(&in[static_cast<std::size_t>(2 * i)]);
    h.blocks[static_cast<std::size_t>(i)] = GetInt16(&in[static_cast<std::size_t>(kBlockTableOffset + 2 * i)]);
  }
  return h;
}

std::optional<std::int16_t> NextBlockNumber(const PeriodTable& blocks) {
  int largest = 0;
  for (std::int16_t b : blocks) largest = std::max<int>(largest, b);
  if (largest >= kMaxBlockNumber) return std::nullopt;
  return static_cast<std::int16_t>(largest + 1);
}

std::optional<std::int64_t> LayerOffset(const GridSize& grid, int layersPerBlock, int block, int layer) {
  // Every step must fit a signed 32-bit integer, as the package computes it so.
  constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  auto fits = [](std::int64_t v) { return v >= lo && v <= hi; };
  const std::int64_t cells = std::int64_t{grid.nx} * grid.ny;
  const std::int64_t perBlock = cells * layersPerBlock;
  const std::int64_t blockPart = perBlock * (block - 1);
  const std::int64_t layerPart = cells * (layer - 1);
  const std::int64_t sum = blockPart + layerPart;
  const std::int64_t bytes = sum * 4;
  const std::int64_t offset = bytes + kHeaderBytes;
  if (!fits(cells) || !fits(perBlock) || !fits(blockPart) || !fits(layerPart) || !fits(sum) || !fits(bytes) ||
      offset < kHeaderBytes || offset > kMaxLayerOffset) {
    return std::nullopt;
  }
  return offset;
}

void CheckGrid(const GridSize& grid, int typeCode) {
  const std::string size =
      std::to_string(grid.nx) + " x " + std::to_string(grid.ny) + " x " + std::to_string(grid.nz);
  if (grid.nx < 1 || grid.ny < 1 || grid.nz < 1 || grid.nx > kInt16Max || grid.ny > kInt16Max ||
      grid.nz > kInt16Max) {
    throw Error(ErrorKind::BadRequest, "The grid size " + size + " (columns x rows x layers) is not usable: each must be 1.." +
                                           std::to_string(kInt16Max));
  }
  if (typeCode < 0 || typeCode > kMaxTypeCode) {
    throw Error(ErrorKind::BadRequest, "The type code " + std::to_string(typeCode) + " is outside 0.." +
                                           std::to_string(kMaxTypeCode));
  }
  // Every byte of the first block, which every file of this grid has, must lie
  // where 32-bit offsets reach; a layer beyond them could not be read back, and
  // checking this first spares the run from asking for memory it cannot use.
  const int layers = LayersPerBlock(typeCode, grid.nz);
  const std::int64_t lastByte = kHeaderBytes + layers * CellsPerLayer(grid) * 4 - 1;
  if (!LayerOffset(grid, layers, 1, layers) || lastByte > kMaxLayerOffset) {
    throw Error(ErrorKind::BadRequest,
                "The grid size " + size + " is too large for a period data file: its first block (" +
                    std::to_string(layers) + (layers == 1 ? " layer of " : " layers of ") +
                    GroupedThousands(CellsPerLayer(grid)) + " values) would reach byte " + GroupedThousands(lastByte) +
                    ", past byte " + GroupedThousands(kMaxLayerOffset) + ", the last the file can address");
  }
}

PeriodTable ClassifyPeriods(const PeriodHeader& header) {
  PeriodTable c{};
  for (int p = 1; p <= kPeriodCount; ++p) {
    const auto i = static_cast<std::size_t>(p - 1);
    if (header.blocks[i] != 0) {
      c[i] = header.references[i] == p ? kOwnData : kBorrowedData;
    } else {
      c[i] = kNoBlock;
    }
  }
  return c;
}

PeriodTable RebuildReferences(const PeriodTable& classified) {
  PeriodTable refs{};
  std::int16_t running = 1;
  for (int p = 1; p <= kPeriodCount; ++p) {
    const auto i = static_cast<std::size_t>(p - 1);
    if (classified[i] == kOwnData) running = static_cast<std::int16_t>(p);
    refs[i] = running;
  }
  return refs;
}

DataFileLayout::DataFileLayout(const GridSize& grid, int typeCode, const PeriodHeader& header)
    : grid_(grid), layers_(LayersPerBlock(typeCode, grid.nz)), header_(header) {}

std::variant<Placement, PlaceFailure> DataFileLayout::Place(int period, int layer) {
  if (period < 1 || period > kPeriodCount) return PlaceFailure::PeriodOutOfRange;
  if (layer < 1 || layer > layers_) return PlaceFailure::LayerOutOfRange;
  const auto i = static_cast<std::size_t>(period - 1);
  std::int16_t block = header_.blocks[i];
  const bool newBlock = block == 0;
  if (newBlock) {
    auto next = NextBlockNumber(header_.blocks);
    if (!next) return PlaceFailure::BlockNumberOverflow;
    block = *next;
  }
  auto offset = LayerOffset(grid_, layers_, block, layer);
  if (!offset) return PlaceFailure::OffsetOutOfRange;
  header_.references[i] = static_cast<std::int16_t>(period);
  header_.blocks[i] = block;
  return Placement{*offset, newBlock};
}

std::optional<int> FirstUnaddressableBlock(const GridSize& grid, int layersPerBlock, const PeriodHeader& header) {
  for (int p = 1; p <= kPeriodCount; ++p) {
    const int block = header.blocks[static_cast<std::size_t>(p - 1)];
    if (block != 0 && !LayerOffset(grid, layersPerBlock, block, layersPerBlock)) return p;
  }
  return std::nullopt;
}

}  // namespace kv

// Which layers of a period data file a reader takes: the periods asked for (or
// every period with data of its own), each with the block its reference names,
// and every layer of such a block that the file holds. Pure: no file is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"

namespace kv {

// One layer taken: the values in force for `period` are layer `layer` of block
// `block`, the block of period `source`.
struct ExportedLayer {
  int period = 0;
  int source = 0;
  int block = 0;
  int layer = 0;
  std::int64_t offset = 0;
  friend bool operator==(const ExportedLayer&, const ExportedLayer&) = default;
};

struct ExportPlan {
  std::vector<ExportedLayer> layers;      // in the order they are read
  std::vector<int> periodsWithoutLayers;  // chosen periods whose block begins at or past the end of the file
  bool rolledBack = false;                // an interrupted run on the data file was rolled back first
};

// Which layers are taken. With no periods given, every period that has data of
// its own; otherwise the given ones, each with the block its reference names.
// Every layer of such a block that begins before the end of the file is taken,
// blocks in block-number order. Throws kv::Error (BadOutput) when a chosen
// period has no values in force, when a block cannot be addressed, or when the
// file ends inside a layer. `name` is the file named in those errors.
ExportPlan PlanExport(const PeriodHeader& header, std::int64_t fileLength, const GridSize& grid, int typeCode,
                      std::span<const int> periods, const std::filesystem::path& name);

}  // namespace kv

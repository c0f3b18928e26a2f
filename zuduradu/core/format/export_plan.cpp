#include "zuduradu/core/format/export_plan.h"

#include <algorithm>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"

namespace kv {
namespace fs = std::filesystem;

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

}  // namespace kv

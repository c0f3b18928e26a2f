#include "zuduradu/core/format/data_file_reader.h"

#include <algorithm>
#include <limits>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {
namespace fs = std::filesystem;

DataFileReader::DataFileReader(const fs::path& path, const LockWait& wait)
    : path_(path), guard_(FollowLinks(path), LockKind::Shared, wait), file_(path, BinaryFile::Mode::Read) {}

PeriodHeader DataFileReader::ReadHeader() { return kv::ReadHeader(file_); }

ExportPlan DataFileReader::Plan(const GridSize& grid, int typeCode, std::span<const int> periods, MisfitRule misfits) {
  CheckGrid(grid, typeCode);
  header_ = ReadHeader();
  const std::int64_t length = file_.Length();
  if (misfits == MisfitRule::Refuse) RefuseMisfit(DescribeHeader(header_, length, FileGeometry{grid, typeCode}), path_);
  ExportPlan plan = PlanExport(header_, length, grid, typeCode, periods, path_);
  plan.rolledBack = rolledBack();
  return plan;
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
  DataFileReader file(dataFile, wait);
  const int wanted[] = {period};
  const ExportPlan plan = file.Plan(grid, typeCode, wanted, MisfitRule::Refuse);

  PeriodValues result;
  result.rolledBack = plan.rolledBack;
  result.source = file.header().references[static_cast<std::size_t>(period - 1)];
  result.block = file.header().blocks[static_cast<std::size_t>(result.source - 1)];
  result.layers = layer == 0 ? perBlock : 1;
  const auto cells = static_cast<std::size_t>(CellsPerLayer(grid));
  result.values.assign(cells * static_cast<std::size_t>(result.layers), std::numeric_limits<float>::quiet_NaN());
  for (const ExportedLayer& present : plan.layers) {
    if (layer != 0 && present.layer != layer) continue;
    const std::size_t at = cells * static_cast<std::size_t>(layer == 0 ? present.layer - 1 : 0);
    file.ReadFloatsAt(present.offset, std::span(result.values).subspan(at, cells));
    ++result.layersPresent;
  }
  if (layer != 0 && result.layersPresent == 0) {
    throw Error(ErrorKind::BadOutput, PathText(dataFile) + ": layer " + std::to_string(layer) + " of block " +
                                          std::to_string(result.block) + " (period " + std::to_string(result.source) +
                                          ") lies past the end of the file; it was never written");
  }
  return result;
}

FileValues ReadFileValues(const fs::path& dataFile, const GridSize& grid, int typeCode,
                          const std::function<std::span<float>(const FileValues&)>& place, const LockWait& wait) {
  CheckGrid(grid, typeCode);
  DataFileReader file(dataFile, wait);
  const ExportPlan plan = file.Plan(grid, typeCode, {}, MisfitRule::Refuse);
  FileValues result;
  result.rolledBack = plan.rolledBack;
  result.layers = LayersPerBlock(typeCode, grid.nz);
  for (const ExportedLayer& layer : plan.layers) result.periods.push_back(layer.period);
  for (int period : plan.periodsWithoutLayers) result.periods.push_back(period);
  std::ranges::sort(result.periods);
  result.periods.erase(std::unique(result.periods.begin(), result.periods.end()), result.periods.end());
  const auto cells = static_cast<std::size_t>(CellsPerLayer(grid));
  const auto layers = static_cast<std::size_t>(result.layers);
  const std::span<float> values = place(result);
  std::vector<bool> stored(layers * result.periods.size(), false);
  for (const ExportedLayer& layer : plan.layers) {
    const auto at = static_cast<std::size_t>(std::ranges::lower_bound(result.periods, layer.period) - result.periods.begin()) *
                        layers + static_cast<std::size_t>(layer.layer - 1);
    file.ReadFloatsAt(layer.offset, values.subspan(at * cells, cells));
    stored[at] = true;
  }
  for (std::size_t at = 0; at < stored.size(); ++at) {
    if (!stored[at]) std::ranges::fill(values.subspan(at * cells, cells), std::numeric_limits<float>::quiet_NaN());
  }
  return result;
}

}  // namespace kv

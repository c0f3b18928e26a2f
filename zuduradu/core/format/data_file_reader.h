// A period data file opened to be read, the one way every reader opens one
// (export, info, stats, show, diff and the Python module): under the shared
// lock, after rolling back a run that was interrupted on it, its header read
// and its layers planned against the grid and type, the values read as floats.
// While the reader lives no run changes the file. Like BinaryFile, one thread
// at a time may use it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "zuduradu/core/format/export_plan.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/storage/output_guard.h"

namespace kv {

// What a plan does with a file whose blocks or length this grid and type
// cannot have made (data_file_info.h): refuse it as an append would, or take
// whatever layers can still be read at this grid's offsets.
enum class MisfitRule { Refuse, Read };

class DataFileReader {
 public:
  // Takes the shared lock (links followed) and opens the file. Throws kv::Error
  // when the lock, the rollback or the open fails.
  DataFileReader(const std::filesystem::path& path, const LockWait& wait);

  const std::filesystem::path& path() const { return path_; }
  bool rolledBack() const { return guard_.rolledBack(); }
  std::int64_t Length() { return file_.Length(); }
  // The header; throws kv::Error for a file shorter than it.
  PeriodHeader ReadHeader();

  // The layers in force for `periods` (none: every period with data of its
  // own), as PlanExport takes them, after the grid and type were checked; the
  // plan says whether the file was rolled back. Throws kv::Error.
  ExportPlan Plan(const GridSize& grid, int typeCode, std::span<const int> periods, MisfitRule misfits);
  // The header the last Plan read.
  const PeriodHeader& header() const { return header_; }

  void ReadFloatsAt(std::int64_t offset, std::span<float> out) { file_.ReadFloatsAt(offset, out); }

 private:
  std::filesystem::path path_;
  OutputGuard guard_;
  BinaryFile file_;
  PeriodHeader header_{};
};

// The values in force for one period, read from the block its reference names.
struct PeriodValues {
  int source = 0;  // the period whose block holds them
  int block = 0;
  int layers = 0;             // layers in `values`: one, or every layer of the block
  int layersPresent = 0;      // of those, the layers that begin before the end of the file
  std::vector<float> values;  // layers x NY x NX; a layer past the end of the file is NaN
  bool rolledBack = false;    // an interrupted run on the data file was rolled back first
};

// Reads the values in force for `period`: every layer of its block, or only
// layer `layer` (1-based) when it is not 0. A file may end inside its last
// block; the layers from there on were never written, and come back as NaN.
// Throws kv::Error: BadRequest for a period or layer outside the file's range,
// BadOutput as PlanExport does, for a file another grid or type made, and when
// the one layer asked for lies past the end of the file.
PeriodValues ReadPeriodValues(const std::filesystem::path& dataFile, const GridSize& grid, int typeCode, int period,
                              int layer = 0, const LockWait& wait = {});

// The values of every period that has data of its own, as an export without
// periods chooses them: which periods, and how many layers a block has.
struct FileValues {
  std::vector<int> periods;  // ascending
  int layers = 0;            // layers of a block
  bool rolledBack = false;
};
// Reads them into the memory `place` gives once the periods are known (periods
// x layers x NY x NX floats): each stored layer straight into its place, and
// only the layers past the end of the file filled, with NaN.
FileValues ReadFileValues(const std::filesystem::path& dataFile, const GridSize& grid, int typeCode,
                          const std::function<std::span<float>(const FileValues&)>& place, const LockWait& wait = {});

}  // namespace kv

// The numbers of every stored layer of a period data file or every data set of
// a matrix input text, the difference of two data files, and the values of one
// data set of a text. The files are read under the shared lock, after rolling
// back an interrupted run, as an export reads them; one layer is held at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/view/layer_numbers.h"

namespace kv {

struct LayerStatsRow {
  int period = 0;  // for a text: the period the data set names
  int layer = 0;
  int set = 0;     // for a text: the data set's number; 0 for a data file
  LayerStats stats;
};

struct StatsReport {
  std::vector<LayerStatsRow> rows;  // data files: by period, then layer
  bool rolledBack = false;          // an interrupted run on the file was rolled back first
};

struct StoredFile {
  std::filesystem::path dataFile;
  GridSize grid;
  int typeCode = 0;
  LockWait lockWait;
};

// Every layer stored for every period that has data of its own. Throws
// kv::Error as an export of the file does.
StatsReport DataFileStats(const StoredFile& file, std::optional<float> nodata = std::nullopt);

// Every data set of a matrix input text read against `grid`, in file order.
// `name` is the file named in errors. Throws kv::Error as a conversion's check does.
StatsReport MatrixTextStats(ByteSource& text, const std::filesystem::path& name, const GridSize& grid,
                            std::optional<float> nodata = std::nullopt);

struct LayerComparison {
  int period = 0;
  int layer = 0;
  enum class Presence { Both, OnlyFirst, OnlySecond } presence = Presence::Both;
  LayerDifference difference;  // when in both
  bool within = false;         // in both, and no cell differs by more than the tolerance
};

struct DiffReport {
  std::vector<LayerComparison> layers;  // by period, then layer
  bool within = true;                   // every layer in both files and within the tolerance
  bool rolledBackFirst = false;
  bool rolledBackSecond = false;
};

// Compares, for every period that has data of its own in either file, every
// layer stored in either. A period or layer stored in one file only is listed
// as such and counts as a difference. Both files are read against the same
// grid and type. Throws kv::Error as an export does.
DiffReport DiffDataFiles(const StoredFile& first, const std::filesystem::path& second, double tolerance);

// One data set of a matrix input text, read against `grid`. Reading stops
// after it.
struct MatrixSet {
  int set = 0;
  int setCount = 0;  // the count the text announces
  int period = 0;
  int layer = 0;
  std::vector<float> values;  // NX * NY, row 1 first
};

// Throws kv::Error (BadRequest) when the text announces fewer sets than `set`,
// and as the reader does for malformed text.
MatrixSet ReadMatrixSet(ByteSource& text, const std::filesystem::path& name, const GridSize& grid, int set);

}  // namespace kv

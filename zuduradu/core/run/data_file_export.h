// Export of a period data file back to matrix input text: the set count, then
// per data set its period, its layer and NY rows of NX values, each value in the
// shortest text that reads back to the same float. Converting that text into a
// new file gives the same values for the exported periods, and for a file that
// kvcvrt wrote whole, the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <span>
#include <string_view>
#include <vector>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/text/number_list.h"

namespace kv {


// One data set of the text: the values in force for `period` are layer `layer`
// of block `block`, the block of period `source`.
struct ExportedLayer {
  int period = 0;
  int source = 0;
  int block = 0;
  int layer = 0;
  std::int64_t offset = 0;
  friend bool operator==(const ExportedLayer&, const ExportedLayer&) = default;
};

struct ExportPlan {
  std::vector<ExportedLayer> layers;      // in the order they are written
  std::vector<int> periodsWithoutLayers;  // chosen periods whose block begins at or past the end of the file
  bool rolledBack = false;                // an interrupted run on the data file was rolled back first
};

// Which layers an export writes. With no periods given, every period that has
// data of its own; otherwise the given ones, each with the block its reference
// names. Every layer of such a block that begins before the end of the file goes
// out, blocks in block-number order. Throws kv::Error (BadOutput) when a chosen
// period has no values in force, when a block cannot be addressed, or when the
// file ends inside a layer. `name` is the file named in those errors.
ExportPlan PlanExport(const PeriodHeader& header, std::int64_t fileLength, const GridSize& grid, int typeCode,
                      std::span<const int> periods, const std::filesystem::path& name);

struct ExportRequest {
  std::filesystem::path dataFile;
  GridSize grid;
  int typeCode = 0;
  std::vector<int> periods;  // empty: every period with data of its own
  LockWait lockWait;         // while a run changes the data file, the export waits for it
  // The model description file the grid came from, if any: an export to a file
  // never replaces it.
  std::filesystem::path model{};
  // How long an export into a FIFO waits for a program that reads it.
  LockWait readerWait{};
};

// Writes the text to out. Every value is read and checked before the first
// character goes out, so a refused export writes nothing. Returns the plan it
// carried out. Throws kv::Error.
ExportPlan ExportMatrixText(const ExportRequest& request, std::ostream& out);

// Writes the text to a file through a temporary file that replaces the output
// only when complete and on the disk; a refused or failed export leaves the
// output as it was. A link at the output is followed and stays. A FIFO or a
// character device at the output is written into instead, as any tool writes
// to one (a FIFO is waited for as readerWait says); a refused export writes
// nothing into it. The data file and the model are never the output.
ExportPlan ExportMatrixTextToFile(const ExportRequest& request, const std::filesystem::path& output);

// The values in force for one period, read from the block its reference names.
struct PeriodValues {
  int source = 0;       // the period whose block holds them
  int block = 0;
  int layers = 0;       // layers in `values`: one, or every layer of the block
  int layersPresent = 0;  // of those, the layers that begin before the end of the file
  std::vector<float> values;  // layers x NY x NX; a layer past the end of the file is NaN
  bool rolledBack = false;    // an interrupted run on the data file was rolled back first
};

// Reads under the shared lock the values in force for `period`: every layer of
// its block, or only layer `layer` (1-based) when it is not 0. A file may end
// inside its last block; the layers from there on were never written, and come
// back as NaN. Throws kv::Error: BadRequest for a period or layer outside the
// file's range, BadOutput as PlanExport does, and when the one layer asked for
// lies past the end of the file.
PeriodValues ReadPeriodValues(const std::filesystem::path& dataFile, const GridSize& grid, int typeCode, int period,
                              int layer = 0, const LockWait& wait = {});

// The values of every period that has data of its own, as an export without
// periods chooses them, under the shared lock.
struct FileValues {
  std::vector<int> periods;   // ascending
  int layers = 0;             // layers of a block
  std::vector<float> values;  // periods x layers x NY x NX; a layer past the end of the file is NaN
  bool rolledBack = false;
};
FileValues ReadFileValues(const std::filesystem::path& dataFile, const GridSize& grid, int typeCode,
                          const LockWait& wait = {});

}  // namespace kv

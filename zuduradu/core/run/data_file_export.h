// Export of a period data file back to matrix input text: the set count, then
// per data set its period, its layer and NY rows of NX values, each value in the
// shortest text that reads back to the same float. Converting that text into a
// new file gives the same values for the exported periods, and for a file that
// kvcvrt wrote whole, the same bytes.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string_view>
#include <vector>

#include "zuduradu/core/format/export_plan.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/text/number_list.h"

namespace kv {

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

// Writes the text to a file as every output is saved (save_target.h): through
// a file that replaces the output only when complete and on the disk, or into
// a FIFO or character device (a FIFO is waited for as readerWait says), where a
// refused export writes nothing. The data file and the model are never the output.
ExportPlan ExportMatrixTextToFile(const ExportRequest& request, const std::filesystem::path& output);

}  // namespace kv

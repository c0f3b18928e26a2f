// A period data file described in words: its length, the periods that have data
// of their own with their blocks, the runs of periods that use the same period's
// values, and, when the grid and type are known, the length expected and
// anything that does not fit together.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/output_lock.h"

namespace kv {

// The grid and type that give a file its geometry; the file itself names neither.
struct FileGeometry {
  GridSize grid;
  int typeCode = 0;
};

// Periods first..last all name `source` in the reference table.
struct ReferenceRun {
  int first = 0;
  int last = 0;
  int source = 0;
  friend bool operator==(const ReferenceRun&, const ReferenceRun&) = default;
};

struct PeriodBlock {
  int period = 0;
  int block = 0;
  int uses = 0;  // the period its reference names
  friend bool operator==(const PeriodBlock&, const PeriodBlock&) = default;
};

// One thing that says a file's blocks or length were not made by this grid and
// type: what does not fit, with its numbers. The reference table is no part of
// it: every run rebuilds that.
struct Misfit {
  enum class Kind {
    ShortHeader,      // the file is `bytes` long, shorter than the header
    BlockBelowOne,    // period `period` has the block number `block`, below 1
    SharedBlock,      // periods `firstPeriod` and `period` both have block `block`
    Unaddressable,    // block `block` of period `period` lies past the last byte the file can address
    BlockPastEnd,     // block `block` of period `period` begins at byte `bytes`, at or past the end
    EndsInsideLayer,  // the file ends `bytes` into a layer of the grid's NX x NY values
    TooLong,          // the file is `bytes` longer than its blocks need
  };
  Kind kind = Kind::ShortHeader;
  int period = 0;
  int firstPeriod = 0;
  int block = 0;
  std::int64_t bytes = 0;
  GridSize grid{};  // for EndsInsideLayer
  friend bool operator==(const Misfit&, const Misfit&) = default;
};

// The misfit in words: as a sentence opens ("The file is 8 bytes longer than
// its blocks need"), or within a sentence ("the file is 8 bytes ...").
std::string MisfitText(const Misfit& misfit, bool opening = true);

struct DataFileInfo {
  std::filesystem::path file;
  std::int64_t length = 0;
  bool fullHeader = false;               // the file holds the 4000-byte header
  std::vector<PeriodBlock> own;          // data of their own, in period order
  std::vector<PeriodBlock> borrowing;    // a block of their own, yet another period's values
  std::vector<ReferenceRun> references;  // the whole reference table, run by run
  std::optional<FileGeometry> geometry;
  int layersPerBlock = 0;
  std::int64_t blockBytes = 0;
  int expectedBlocks = 0;             // the largest block number the file can address
  std::int64_t expectedLength = 0;    // the header and every block up to that one
  std::vector<std::string> notes;     // facts worth knowing that are not faults
  std::vector<std::string> problems;  // anything inconsistent: the misfits in words, then the references
  std::vector<Misfit> misfits;        // what says the blocks or the length do not fit the geometry
  bool rolledBack = false;            // an interrupted run on the file was rolled back first
};

// The reference table as runs of consecutive periods naming the same period.
std::vector<ReferenceRun> ReferenceRuns(const PeriodTable& references);
// "periods 1-14: their own blocks; 15-1000: period 14's": periods that name themselves, summed up,
// and the periods that name another one.
std::string DescribeReferenceRuns(std::span<const ReferenceRun> runs);

// Describes a header read from a file of `length` bytes. Pure: no file is read.
DataFileInfo DescribeHeader(const PeriodHeader& header, std::int64_t length,
                            const std::optional<FileGeometry>& geometry);

// Reads the file's header under the shared lock (after rolling back a run that
// was interrupted on it) and describes it; a file shorter than the header is
// described as such. Throws kv::Error when the file cannot be read, or when the
// geometry's grid or type code cannot be used.
DataFileInfo DescribeDataFile(const std::filesystem::path& file, const std::optional<FileGeometry>& geometry,
                              const LockWait& wait = {});

// A file whose blocks or length this grid and type cannot have produced was
// made for another model or type: appending at this grid's offsets would
// overwrite its values, and reading at them would give other values. Throws
// kv::Error (BadOutput) naming `name` when info, described with a geometry,
// has a misfit; the same refusal for an append and for a read.
void RefuseMisfit(const DataFileInfo& info, const std::filesystem::path& name);

// The description as lines of text, without line ends.
std::vector<std::string> RenderDataFileInfo(const DataFileInfo& info);

}  // namespace kv

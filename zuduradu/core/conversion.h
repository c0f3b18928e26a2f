// The conversion run: every data set of a matrix input file stored into a
// period data file, then the period reference table rebuilt.
//
// The run checks before it writes. With a new file (create-new, or no file yet)
// the sets stream into a temporary file beside the output, which replaces the
// output only when it is complete. When appending to an existing file, the sets
// are parsed and checked into memory first (up to a budget), the room that new
// blocks need is reserved, and only then are existing bytes changed; past the
// budget the file is copied and the copy takes the rest, as with a new file.
// Any error before the end leaves the output file byte for byte as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "zuduradu/core/grid.h"

namespace kv {

struct ConversionRequest {
  std::filesystem::path input;
  std::filesystem::path output;
  int typeCode = 0;
  GridSize grid;
  bool createNew = false;  // delete the existing data first
  std::size_t memoryBudgetBytes = std::size_t{256} << 20;
  int threads = 0;                 // threads that parse the input; 0: one per core (up to eight)
  std::size_t readChunkBytes = 0;  // bytes the reader takes at a time; 0: its default
};

struct ConversionResult {
  int stored = 0;        // data sets written
  int skipped = 0;       // data sets whose layer exceeds NZ
  bool rebuilt = false;  // the output file exists and its reference table was rebuilt
  friend bool operator==(const ConversionResult&, const ConversionResult&) = default;
};

enum class RunPhase { Checking, Writing };

struct ConversionProgress {
  RunPhase phase = RunPhase::Checking;
  std::uint64_t bytesRead = 0;
  std::uint64_t inputBytes = 0;  // the input file's length
  int setsDone = 0;
  int setsTotal = 0;
};

// Called after every data set and while writing. Returning false cancels the run;
// that is honoured only while nothing has been written (phase Checking), and the
// run then throws kv::Error of kind Cancelled.
using ProgressCallback = std::function<bool(const ConversionProgress&)>;

// Throws kv::Error when the run is refused or fails; the message says what, where,
// and what was left intact.
ConversionResult RunConversion(const ConversionRequest& request, const ProgressCallback& progress = {});

// Refuses a grid that has no cells or whose layers the file cannot address.
void CheckGrid(const GridSize& grid, int typeCode);

// The temporary file a new output is written to before it replaces the output.
std::filesystem::path PartialPath(const std::filesystem::path& output);

}  // namespace kv

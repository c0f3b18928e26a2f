// The conversion run: every data set of its inputs, in order, stored into a
// period data file, then the period reference table rebuilt. Many inputs make
// one run with the bytes of converting them one after the other: all of them
// are checked before the output changes, under one lock, with one sync.
//
// The run holds the output's exclusive lock from start to end and first rolls
// back a run that was interrupted on it. It checks before it writes. With a new
// file (create-new, or no file yet) the sets stream into a temporary file beside
// the output, which replaces the output only when it is complete and on the
// disk. When appending to an existing file, the sets are parsed and checked into
// memory first (up to a budget); then the bytes about to be overwritten are
// saved to a journal, and only then are existing bytes changed; past the budget
// the file is copied and the copy takes the rest, as with a new file. Whatever
// happens, the output is afterwards the old file or the complete new one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/input/input_source.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

struct ConversionRequest {
  // The inputs in order; standard input at most once.
  std::vector<InputSource> inputs;
  std::filesystem::path output;
  int typeCode = 0;
  GridSize grid;
  bool createNew = false;  // delete the existing data first
  std::size_t memoryBudgetBytes = std::size_t{256} << 20;
  int threads = 0;                 // threads that parse the input; 0: one per core (up to eight)
  std::size_t readChunkBytes = 0;  // bytes the reader takes at a time; 0: its default
  // How long to wait while another run works on the same output.
  std::chrono::milliseconds lockWait{std::chrono::minutes(5)};
  // Refuse, writing nothing, what would otherwise be a warning or a skipped set.
  bool strict = false;
  // The model description file the grid came from, if any: it is never the output.
  std::filesystem::path model{};
};

struct ConversionResult {
  int stored = 0;        // data sets written
  int skipped = 0;       // data sets whose layer exceeds NZ
  bool rebuilt = false;  // the output file exists and its reference table was rebuilt
  std::vector<std::string> warnings;  // what the user should know although the run succeeded
  std::int64_t filled = 0;  // raster cells whose no-data number was replaced by the fill value
  friend bool operator==(const ConversionResult&, const ConversionResult&) = default;
};

// Waiting: another run holds the output; nothing has been read yet.
enum class RunPhase { Waiting, Checking, Writing };

struct ConversionProgress {
  RunPhase phase = RunPhase::Checking;
  std::uint64_t bytesRead = 0;
  std::uint64_t inputBytes = 0;  // the input files' length; 0 when not known (standard input)
  int setsDone = 0;
  int setsTotal = 0;
  std::string output;  // while waiting: the output file another run holds
};

// Called while waiting for the output's lock, after every data set and while
// writing. Returning false cancels the run; that is honoured only while nothing
// has been written (phases Waiting and Checking), and the run then throws
// kv::Error of kind Cancelled.
using ProgressCallback = std::function<bool(const ConversionProgress&)>;

// Throws kv::Error when the run is refused or fails; the message says what, where,
// and what was left intact.
ConversionResult RunConversion(const ConversionRequest& request, const ProgressCallback& progress = {});

// The same run with the sets taken from `sets` instead of the request's inputs
// (which are then not read): every check, lock and guarantee is the same.
ConversionResult RunConversionFrom(const ConversionRequest& request, SetStream& sets,
                                   const ProgressCallback& progress = {});

// Why a path cannot serve as the matrix input file ("Could not find the input
// file ...", "The input file ... is not a regular file"), or "" when it can. A
// pipe serves when `pipesAllowed`, as for a caller that streams.
std::string InputProblem(const std::filesystem::path& input, bool pipesAllowed);

}  // namespace kv

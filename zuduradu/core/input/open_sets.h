// Every input of a run is opened here, by its kind, as a stream of data sets:
// the one place that decides how an InputSource is read. Matrix text is the
// kind there is; it brings its own periods and layers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zuduradu/core/input/input_source.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

// An input opened for reading: its sets, and what they are read from.
class OpenedInput {
 public:
  virtual ~OpenedInput() = default;
  virtual SetStream& sets() = 0;
  // The input's length in bytes; 0 when it is not known (standard input).
  virtual std::uint64_t length() const = 0;
};

struct ReadOptions {
  int threads = 0;             // threads that parse; 0: one for an input of one chunk, else one per core
  std::size_t chunkBytes = 0;  // bytes the reader takes at a time; 0: its default
};

// Refuses (kv::Error naming the file) a period, layer, band or no-data fill
// that the kind of `input` does not take; a run asks this of every input before
// it reads the first.
void CheckInputOptions(const InputSource& input);

// Opens `input` by its kind. Throws kv::Error naming the file when it cannot be
// read, or when it is given a period, layer, band or no-data fill that its kind
// does not take.
std::unique_ptr<OpenedInput> OpenSets(const InputSource& input, const ReadOptions& options);

}  // namespace kv

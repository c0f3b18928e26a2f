// The matrix input text as a stream of data sets, the first kind of input a
// run takes (another kind is a file of its own here that yields a SetStream).
// The bytes are parsed by the matrix reader of text/: with one parsing thread
// they are read ahead on a second one; several parsing threads read them in
// turns themselves.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

#include "zuduradu/core/input/set_stream.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/matrix_reader.h"
#include "zuduradu/core/text/read_ahead_source.h"

namespace kv {

class MatrixTextSets {
 public:
  // `name` is the file named in errors; threads 0: the reader's default;
  // chunkBytes 0: the reader's default; without `readAhead` a single parsing
  // thread reads for itself (an input of one chunk has nothing to read ahead).
  // `bytes` must outlive this object.
  MatrixTextSets(ByteSource& bytes, const std::filesystem::path& name, int threads = 0, std::size_t chunkBytes = 0,
                 bool readAhead = true);

  SetStream& sets() { return *reader_; }

 private:
  int threads_;
  std::unique_ptr<ReadAheadSource> ahead_;
  std::unique_ptr<FieldReader> reader_;
};

}  // namespace kv

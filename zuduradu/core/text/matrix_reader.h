// A streaming reader of the matrix input text. It reads fixed-size chunks, so
// its memory stays the same however large the file; it hands out the set count,
// periods, layers and values in file order, and every error it raises names the
// field as it stands, its line and column, and the data set. The reader is a
// SetStream (input/set_stream.h): the matrix text is one kind of input.
//
// Fields are separated by blanks, tabs, commas, CR and LF in any mix; a comma
// between blanks makes no extra field, but two commas with nothing between them
// on one line are an error (an empty field would shift every later value).
// A UTF-8 byte order mark at the start is skipped; UTF-16 and UTF-32 text is
// refused (text_encoding.h).
//
// With more than one thread, fields are found and converted on that many
// threads (see FieldPipeline) and this reader only gives them their meaning in
// order. Values, errors and their places are the same as with one thread: an
// error is raised only when the reader reaches its field, so the first in file
// order wins and text after the last data set is never judged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/field_reader.h"
#include "zuduradu/core/text/field_scan.h"

namespace kv {

// Opens the reader over `source`: one of the two roads of field_reader.h, the
// one thread's or the pipeline of several, picked by the number of threads.
struct MatrixReader {
  static constexpr std::size_t kDefaultChunkBytes = 1 << 20;
  static constexpr std::size_t kMaxFieldBytes = scan::kMaxFieldBytes;

  // name is the file named in error messages. With threads > 1 the fields are
  // parsed on that many threads, which read `source` one at a time.
  static std::unique_ptr<FieldReader> Open(ByteSource& source, std::filesystem::path name,
                                           std::size_t chunkBytes = kDefaultChunkBytes, int threads = 1);
  // One thread per core, up to eight.
  static int DefaultThreads();
};

}  // namespace kv

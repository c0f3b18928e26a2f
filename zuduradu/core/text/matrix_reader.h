// A streaming reader of the matrix input text. It reads fixed-size chunks, so
// its memory stays the same however large the file; it hands out the set count,
// periods, layers and values in file order, and every error it raises names the
// field as it stands, its line and column, and the data set.
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
#include <span>
#include <string_view>

#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/field_scan.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

class FieldReader;

class MatrixReader final : public SetStream {
 public:
  static constexpr std::size_t kDefaultChunkBytes = 1 << 20;
  static constexpr std::size_t kMaxFieldBytes = scan::kMaxFieldBytes;

  // name is the file named in error messages. With threads > 1 the fields are
  // parsed on that many threads, which read `source` one at a time.
  MatrixReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes = kDefaultChunkBytes,
               int threads = 1);
  ~MatrixReader() override;
  // One thread per core, up to eight.
  static int DefaultThreads();

  // Reads a whole-number field (count, period, layer) of data set `set` (0 for the count).
  std::int16_t ReadInteger(std::string_view field, int set) override;
  // Reads values.size() values of data set `set`, expanding repeats such as 6*0.5.
  void ReadValues(std::span<float> values, int set) override;
  // Reads and checks n values of data set `set` without keeping them.
  void SkipValues(std::int64_t n, int set) override;

  // Counts, without reading them as numbers, the fields from here to the end.
  LeftOverFields CountLeftOverFields() override;

  // Where the last field that was read starts.
  FieldLocation lastField() const override;
  // Bytes of the input consumed so far.
  std::uint64_t bytesRead() const override;
  void TrackLineShapes(std::int64_t rowLength, std::int64_t values) override;
  const LineShape* lineShapes() const override;
  // The buffers' size: fixed for the reader's life.
  std::size_t bufferCapacity() const;
  const std::filesystem::path& name() const;

 private:
  // One of the two roads (field_reader.h): on one thread, or on a pipeline of several.
  std::unique_ptr<FieldReader> road_;
};

}  // namespace kv

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
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/field_pipeline.h"
#include "zuduradu/core/text/field_scan.h"
#include "zuduradu/core/text/set_stream.h"

namespace kv {

class MatrixReader final : public SetStream {
 public:
  static constexpr std::size_t kDefaultChunkBytes = 1 << 20;
  static constexpr std::size_t kMaxFieldBytes = scan::kMaxFieldBytes;

  // name is the file named in error messages. With threads > 1 the fields are
  // parsed on that many threads, which read `source` one at a time.
  MatrixReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes = kDefaultChunkBytes,
               int threads = 1);
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
  FieldLocation lastField() const override { return last_; }
  // Bytes of the input consumed so far.
  std::uint64_t bytesRead() const override;
  // The buffers' size: fixed for the reader's life.
  std::size_t bufferCapacity() const { return pipeline_ ? pipeline_->bufferBytes() : buffer_.capacity(); }
  const std::filesystem::path& name() const { return name_; }

 private:
  struct Field {
    std::string_view text;
    FieldLocation at;
  };

  bool NextField(Field& field, int set, std::string_view fieldName);
  bool Refill(std::size_t keep);
  template <bool Store>
  std::int64_t FastValues(float* out, std::int64_t n);
  template <bool Store>
  void ReadSetValues(float* out, std::int64_t n, int set);
  template <bool Store>
  std::int64_t ReadValueField(const Field& f, float* out, std::int64_t left, int set) const;
  [[noreturn]] void FailInsideSet(int set, std::int64_t missing, std::int64_t n) const;
  void CheckLength(const Field& f, int set, std::string_view fieldName) const;
  [[noreturn]] void FailAt(FieldLocation at, int set, std::string_view field, std::string what) const;
  [[noreturn]] void FailAtEnd(int set, std::string_view field, std::string what) const;

  // With several threads: the chunks of parsed fields, taken in file order.
  bool ChunkHasMore() const;
  bool NextChunk();
  FieldLocation ChunkPlace(std::size_t offset, std::uint32_t lines, std::uint32_t lineStart) const;
  FieldPipeline::Spot LocateInChunk(std::uint32_t field) const;
  bool NextParsedField(Field& field, int set, std::string_view fieldName);
  LeftOverFields CountLeftOverParsedFields();
  template <bool Store>
  void ReadParsedValues(float* out, std::int64_t n, int set);

  ByteSource& source_;
  std::filesystem::path name_;
  std::size_t chunkBytes_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t base_ = 0;       // offset in the file of buffer_[0]
  std::int64_t line_ = 1;
  std::int64_t lineStart_ = 0;  // offset in the file of the current line's first byte
  bool eof_ = false;
  bool started_ = false;  // the start of the text has been checked
  FieldLocation last_;

  std::unique_ptr<FieldPipeline> pipeline_;
  const FieldPipeline::Chunk* chunk_ = nullptr;
  std::uint32_t index_ = 0;         // the next field of chunk_
  std::size_t note_ = 0;            // the next note of chunk_
  std::int64_t chunkLine_ = 1;      // the line of chunk_'s first byte
  std::int64_t chunkLineStart_ = 0; // the offset of that line's first byte
  std::int64_t doneEnd_ = 0;        // the end of the last field of the chunks before chunk_
  bool atEnd_ = false;              // every field was read
  // The field of chunk_ found last: the next one is searched from there.
  mutable std::uint64_t locatedChunk_ = UINT64_MAX;
  mutable std::uint32_t locatedField_ = 0;
  mutable FieldPipeline::Spot located_;
};

}  // namespace kv

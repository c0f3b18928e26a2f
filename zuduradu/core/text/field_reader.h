// The two roads of the matrix text reader behind one interface. Both hand out
// the same fields with the same places and raise the same errors; they differ
// in who finds the fields:
// - SerialFieldReader finds and converts them itself, in one buffer;
// - PipelineFieldReader takes them from a FieldPipeline, which finds and
//   converts them on several threads, and only gives them their meaning here.
// MatrixReader (matrix_reader.h) picks one by the number of threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/input/set_stream.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/field_pipeline.h"

namespace kv {

// What both roads share: the meaning of a field, and the errors with their places.
class FieldReader : public SetStream {
 public:
  explicit FieldReader(std::filesystem::path name) : name_(std::move(name)) {}

  std::int16_t ReadInteger(std::string_view field, int set) final;
  FieldLocation lastField() const final { return last_; }
  void TrackLineShapes(std::int64_t rowLength, std::int64_t values) final { shape_.Track(rowLength, values); }
  const LineShape* lineShapes() const final { return &shape_; }
  // The buffers' size: fixed for the reader's life.
  virtual std::size_t bufferCapacity() const = 0;
  const std::filesystem::path& name() const { return name_; }

 protected:
  struct Field {
    std::string_view text;
    FieldLocation at;
  };
  static constexpr const char* kTwoCommas = "two commas with no number between them (an empty field)";

  // The next field of data set `set`, or false at the end of the input.
  virtual bool NextField(Field& field, int set, std::string_view fieldName) = 0;
  // Where reading stands: the end of the input once every field was read.
  virtual FieldLocation Here() const = 0;

  // One field that is not a plain decimal: a value, a repeat (how many values
  // it gave, stored when Store), or the error that the field is.
  template <bool Store>
  std::int64_t ReadValueField(const Field& f, float* out, std::int64_t left, int set) const;
  // Raises the error of a field longer than any number.
  void CheckLength(const Field& f, int set, std::string_view fieldName) const;
  [[noreturn]] void FailInsideSet(int set, std::int64_t missing, std::int64_t n) const;
  [[noreturn]] void FailAt(FieldLocation at, int set, std::string_view field, std::string what) const;
  [[noreturn]] void FailAtEnd(int set, std::string_view field, std::string what) const {
    FailAt(Here(), set, field, std::move(what));
  }

  LineShape shape_;

 private:
  std::filesystem::path name_;
  FieldLocation last_;
};

// One thread: a buffer that holds a chunk of the input and the field cut at its end.
class SerialFieldReader final : public FieldReader {
 public:
  SerialFieldReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes);

  void ReadValues(std::span<float> values, int set) override;
  void SkipValues(std::int64_t n, int set) override;
  LeftOverFields CountLeftOverFields() override;
  std::uint64_t bytesRead() const override;
  std::size_t bufferCapacity() const override { return buffer_.capacity(); }

 private:
  bool NextField(Field& field, int set, std::string_view fieldName) override;
  FieldLocation Here() const override;
  bool Refill(std::size_t keep);
  void LineEnd(std::size_t next) {
    ++line_;
    lineStart_ = base_ + static_cast<std::int64_t>(next);
  }
  template <bool Store>
  std::int64_t FastValues(float* out, std::int64_t n, std::int64_t pos);
  template <bool Store>
  void ReadSetValues(float* out, std::int64_t n, int set);

  ByteSource& source_;
  std::int64_t valuePos_ = -1;  // while a set's values are read: where the next one stands in the set
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t base_ = 0;       // offset in the file of buffer_[0]
  std::int64_t line_ = 1;
  std::int64_t lineStart_ = 0;  // offset in the file of the current line's first byte
  bool eof_ = false;
  bool started_ = false;  // the start of the text has been checked
};

// Several threads: the chunks of parsed fields, taken in file order.
class PipelineFieldReader final : public FieldReader {
 public:
  PipelineFieldReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes, int threads);

  void ReadValues(std::span<float> values, int set) override;
  void SkipValues(std::int64_t n, int set) override;
  LeftOverFields CountLeftOverFields() override;
  std::uint64_t bytesRead() const override;
  std::size_t bufferCapacity() const override { return pipeline_.bufferBytes(); }

 private:
  bool NextField(Field& field, int set, std::string_view fieldName) override;
  FieldLocation Here() const override;
  bool ChunkHasMore() const;
  bool NextChunk();
  void TakeChunk();
  FieldLocation ChunkPlace(std::size_t offset, std::uint32_t lines, std::uint32_t lineStart) const;
  FieldPipeline::Spot LocateInChunk(std::uint32_t field) const;
  void FeedLines(std::uint32_t from, std::uint32_t to, std::int64_t pos);
  template <bool Store>
  void ReadSetValues(float* out, std::int64_t n, int set);

  FieldPipeline pipeline_;
  const FieldPipeline::Chunk* chunk_ = nullptr;
  std::uint32_t index_ = 0;         // the next field of chunk_
  std::size_t note_ = 0;            // the next note of chunk_
  std::size_t run_ = 0;             // the first line run of chunk_ not yet told to shape_
  std::int64_t valuePos_ = -1;      // while a set's values are read: where the next one stands in the set
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

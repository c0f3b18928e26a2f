#include "zuduradu/core/text/matrix_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "zuduradu/core/error.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/text/text_encoding.h"

namespace kv {
namespace {

using scan::IsSeparator;

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

constexpr const char* kTwoCommas = "two commas with no number between them (an empty field)";

}  // namespace

MatrixReader::MatrixReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes, int threads)
    : source_(source), name_(std::move(name)), chunkBytes_(std::max<std::size_t>(chunkBytes, kMaxFieldBytes)) {
  if (threads > 1) {
    pipeline_ = std::make_unique<FieldPipeline>(source, name_, chunkBytes, threads);
    return;
  }
  // One byte more than is ever filled: it holds the NUL that ends the data.
  buffer_.resize(chunkBytes_ + kMaxFieldBytes + 1);
}

int MatrixReader::DefaultThreads() {
  // Past a few threads the work left in order (placing values, writing) is the limit,
  // and every thread holds its chunks: more would only take memory.
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

std::uint64_t MatrixReader::bytesRead() const {
  if (!pipeline_) return static_cast<std::uint64_t>(base_ + static_cast<std::int64_t>(pos_));
  if (atEnd_) return static_cast<std::uint64_t>(chunk_->offset + static_cast<std::int64_t>(chunk_->size));
  if (index_ == 0) return static_cast<std::uint64_t>(doneEnd_);
  return static_cast<std::uint64_t>(chunk_->offset + static_cast<std::int64_t>(LocateInChunk(index_ - 1).end));
}

void MatrixReader::FailAt(FieldLocation at, int set, std::string_view field, std::string what) const {
  throw Error(ErrorKind::BadInput, std::move(what), ErrorPlace{name_, at.line, at.column, set, std::string(field)});
}

void MatrixReader::FailAtEnd(int set, std::string_view field, std::string what) const {
  if (pipeline_) FailAt(ChunkPlace(chunk_->size, chunk_->lines, chunk_->lineStart), set, field, std::move(what));
  const std::int64_t offset = base_ + static_cast<std::int64_t>(pos_);
  FailAt({line_, offset - lineStart_ + 1}, set, field, std::move(what));
}

void MatrixReader::FailInsideSet(int set, std::int64_t missing, std::int64_t n) const {
  FailAtEnd(set, "value", "the file ends inside data set " + std::to_string(set) + ": " +
                              Plural(missing, "value is", "values are") + " missing of its " + std::to_string(n));
}

void MatrixReader::CheckLength(const Field& f, int set, std::string_view fieldName) const {
  if (f.text.size() > kMaxFieldBytes) {
    FailAt(f.at, set, fieldName, QuoteField(f.text) + " is longer than " + std::to_string(kMaxFieldBytes) +
                                     " characters and cannot be a number");
  }
}

// Keeps the last `keep` bytes before pos_ (a field cut by the chunk's end) and
// reads the next chunk behind them. False at the end of the input.
bool MatrixReader::Refill(std::size_t keep) {
  const std::size_t from = pos_ - keep;
  if (keep > 0) std::memmove(buffer_.data(), buffer_.data() + from, keep);
  base_ += static_cast<std::int64_t>(from);
  pos_ = keep;
  end_ = keep;
  buffer_[end_] = '\0';
  if (eof_) return false;
  const std::size_t got = source_.Read(buffer_.data() + keep, buffer_.size() - 1 - keep);
  end_ += got;
  buffer_[end_] = '\0';
  if (got == 0) {
    eof_ = true;
    return false;
  }
  if (!started_) {
    // A byte order mark is no field, and columns count from after it, as an editor shows them.
    started_ = true;
    pos_ += CheckTextStart({buffer_.data(), end_}, name_);
    lineStart_ = static_cast<std::int64_t>(pos_);
    if (pos_ == end_) return Refill(0);
  }
  return true;
}

LeftOverFields MatrixReader::CountLeftOverFields() {
  if (pipeline_) return CountLeftOverParsedFields();
  LeftOverFields left;
  bool inField = false;
  for (;;) {
    if (pos_ == end_ && !Refill(0)) break;
    const char c = buffer_[pos_++];
    if (IsSeparator(c)) {
      inField = false;
      if (c == '\n') {
        ++line_;
        lineStart_ = base_ + static_cast<std::int64_t>(pos_);
      }
    } else if (!inField) {
      inField = true;
      if (left.fields++ == 0) left.firstLine = line_;
    }
  }
  return left;
}

bool MatrixReader::NextField(Field& field, int set, std::string_view fieldName) {
  bool comma = false;
  for (;;) {
    if (pos_ == end_ && !Refill(0)) return false;
    const char c = buffer_[pos_];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++pos_;
    } else if (c == '\n') {
      ++pos_;
      ++line_;
      lineStart_ = base_ + static_cast<std::int64_t>(pos_);
      comma = false;
    } else if (c == ',') {
      if (comma) FailAtEnd(set, fieldName, kTwoCommas);
      comma = true;
      ++pos_;
    } else {
      break;
    }
  }
  std::size_t start = pos_;
  for (;;) {
    const char* p = buffer_.data() + pos_;
    const char* e = buffer_.data() + end_;
    while (p < e && !IsSeparator(*p)) ++p;
    pos_ = static_cast<std::size_t>(p - buffer_.data());
    if (p < e) break;
    const std::size_t length = pos_ - start;
    if (length > kMaxFieldBytes) break;
    const bool more = Refill(length);
    start = 0;
    if (!more) break;
  }
  field.text = std::string_view(buffer_.data() + start, pos_ - start);
  field.at = {line_, base_ + static_cast<std::int64_t>(start) - lineStart_ + 1};
  CheckLength(field, set, fieldName);
  return true;
}

std::int16_t MatrixReader::ReadInteger(std::string_view fieldName, int set) {
  Field f;
  if (!(pipeline_ ? NextParsedField(f, set, fieldName) : NextField(f, set, fieldName))) {
    FailAtEnd(set, fieldName,
              set > 0 ? "the file ends before the " + std::string(fieldName) + " of data set " + std::to_string(set)
                      : "the file is empty: it has no " + std::string(fieldName));
  }
  last_ = f.at;
  std::int16_t value = 0;
  switch (ParseInt16Field(f.text, value)) {
    case NumberStatus::Ok:
      return value;
    case NumberStatus::Fraction:
      FailAt(f.at, set, fieldName, QuoteField(f.text) + " is not a whole number");
    case NumberStatus::OutOfRange:
      FailAt(f.at, set, fieldName, QuoteField(f.text) + " is outside -32768..32767");
    case NumberStatus::NotANumber:
      break;
  }
  FailAt(f.at, set, fieldName, QuoteField(f.text) + " is not a number");
}

template <bool Store>
std::int64_t MatrixReader::FastValues(float* out, std::int64_t n) {
  // The common field is converted while it is scanned (scan::ScanPlainDecimal).
  // Anything else, and a field at the chunk's edge, is left to the general
  // road, which starts again from the separators before that field.
  const char* b = buffer_.data();
  std::size_t p = pos_;
  std::int64_t done = 0;
  while (done < n) {
    const std::size_t start = p;
    const std::int64_t line = line_;
    const std::int64_t lineStart = lineStart_;
    // Separators. The byte after the chunk's end is a NUL, which stops every
    // loop here without a bounds test.
    bool comma = false;
    bool twoCommas = false;
    while (IsSeparator(b[p])) {
      if (b[p] == '\n') {
        ++line_;
        lineStart_ = base_ + static_cast<std::int64_t>(p) + 1;
        comma = false;
      } else if (b[p] == ',') {
        twoCommas = twoCommas || comma;
        comma = true;
      }
      ++p;
    }
    float v = 0.0f;
    if (!twoCommas && scan::ScanPlainDecimal(b, p, v)) {
      if constexpr (Store) out[done] = v;
      ++done;
      continue;
    }
    p = start;
    line_ = line;
    lineStart_ = lineStart;
    break;
  }
  pos_ = p;
  return done;
}

template <bool Store>
void MatrixReader::ReadSetValues(float* out, std::int64_t n, int set) {
  std::int64_t i = 0;
  Field f;
  while (i < n) {
    i += FastValues<Store>(Store ? out + i : nullptr, n - i);
    if (i == n) break;
    if (!NextField(f, set, "value")) FailInsideSet(set, n - i, n);
    i += ReadValueField<Store>(f, Store ? out + i : nullptr, n - i, set);
  }
}

// One field of the general road: a value, a repeat (how many values it gave),
// or the error that the field is.
template <bool Store>
std::int64_t MatrixReader::ReadValueField(const Field& f, float* out, std::int64_t left, int set) const {
  float v = 0.0f;
  NumberStatus status = ParseFloatField(f.text, v);
  if (status == NumberStatus::Ok) {
    if constexpr (Store) *out = v;
    return 1;
  }
  std::int64_t repeat = 0;
  std::string_view valueText;
  if (status == NumberStatus::NotANumber && SplitRepeat(f.text, repeat, valueText)) {
    status = ParseFloatField(valueText, v);
    if (status == NumberStatus::Ok) {
      if (repeat > left) {
        FailAt(f.at, set, "value", QuoteField(f.text) + " repeats a value " + std::to_string(repeat) +
                                       " times, but only " + Plural(left, "value is", "values are") +
                                       " left in the data set");
      }
      if constexpr (Store) std::fill(out, out + repeat, v);
      return repeat;
    }
  }
  FailAt(f.at, set, "value",
         QuoteField(f.text) +
             (status == NumberStatus::OutOfRange ? " is beyond the range of a 32-bit float" : " is not a number"));
}

// Where the byte at `offset` of the current chunk stands in the file.
FieldLocation MatrixReader::ChunkPlace(std::size_t offset, std::uint32_t lines, std::uint32_t lineStart) const {
  const std::int64_t start =
      lineStart == FieldPipeline::kEarlierLine ? chunkLineStart_ : chunk_->offset + static_cast<std::int64_t>(lineStart);
  return {chunkLine_ + lines, chunk_->offset + static_cast<std::int64_t>(offset) - start + 1};
}

// Whether the current chunk has a field (or a noted error) left.
bool MatrixReader::ChunkHasMore() const {
  return chunk_ && (index_ < chunk_->fields || (note_ < chunk_->notes.size() && chunk_->notes[note_].field == index_));
}

// Moves to the next chunk that has a field left; false at the end of the input.
bool MatrixReader::NextChunk() {
  while (!ChunkHasMore()) {
    if (chunk_) {
      if (chunk_->last) {
        atEnd_ = true;
        return false;
      }
      chunkLine_ += chunk_->lines;
      if (chunk_->lineStart != FieldPipeline::kEarlierLine) {
        chunkLineStart_ = chunk_->offset + static_cast<std::int64_t>(chunk_->lineStart);
      }
      if (chunk_->fields > 0) doneEnd_ = chunk_->offset + static_cast<std::int64_t>(chunk_->fieldsEnd);
    }
    const bool first = chunk_ == nullptr;
    chunk_ = &pipeline_->Next();
    index_ = 0;
    note_ = 0;
    if (first) {
      // Past a byte order mark: columns count from after it.
      chunkLineStart_ = chunk_->offset;
      doneEnd_ = chunk_->offset;
    }
  }
  return true;
}

// A field of the current chunk. Fields are asked for in order, so the search
// starts from the one found last when that is nearer than the anchor.
FieldPipeline::Spot MatrixReader::LocateInChunk(std::uint32_t field) const {
  if (locatedChunk_ == chunk_->sequence) {
    located_ = chunk_->Locate(field, locatedField_, located_);
  } else {
    located_ = chunk_->Locate(field);
    locatedChunk_ = chunk_->sequence;
  }
  locatedField_ = field;
  return located_;
}

// The next field with its text and place, found again in its chunk.
bool MatrixReader::NextParsedField(Field& field, int set, std::string_view fieldName) {
  if (!NextChunk()) return false;
  if (note_ < chunk_->notes.size() && chunk_->notes[note_].field == index_) {
    const FieldPipeline::Note& note = chunk_->notes[note_];
    if (note.kind == FieldPipeline::NoteKind::EmptyField) {
      const FieldPipeline::Spot s = chunk_->LocateByte(index_, note.offset);
      FailAt(ChunkPlace(s.start, s.lines, s.lineStart), set, fieldName, kTwoCommas);
    }
    ++note_;
  }
  const FieldPipeline::Spot s = LocateInChunk(index_);
  ++index_;
  field.text = std::string_view(chunk_->text.get() + s.start, s.end - s.start);
  field.at = ChunkPlace(s.start, s.lines, s.lineStart);
  CheckLength(field, set, fieldName);
  return true;
}

// The same count over the text of the chunks, from the end of the last field read.
LeftOverFields MatrixReader::CountLeftOverParsedFields() {
  LeftOverFields left;
  if (!chunk_ && !NextChunk()) return left;
  std::size_t from = 0;
  std::int64_t line = chunkLine_;
  if (index_ > 0) {
    const FieldPipeline::Spot s = LocateInChunk(index_ - 1);
    from = s.end;
    line += s.lines;
  }
  bool inField = false;
  for (;;) {
    const char* t = chunk_->text.get();
    for (std::size_t p = from; p < chunk_->size; ++p) {
      if (IsSeparator(t[p])) {
        inField = false;
        line += t[p] == '\n' ? 1 : 0;
      } else if (!inField) {
        inField = true;
        if (left.fields++ == 0) left.firstLine = line;
      }
    }
    if (chunk_->last) break;
    // Counted here, not taken from the chunk: its parse may have stopped early.
    chunk_ = &pipeline_->Next();
    index_ = 0;
    note_ = 0;
    from = 0;
  }
  atEnd_ = true;
  return left;
}

template <bool Store>
void MatrixReader::ReadParsedValues(float* out, std::int64_t n, int set) {
  std::int64_t i = 0;
  while (i < n) {
    if (!NextChunk()) FailInsideSet(set, n - i, n);
    const auto& notes = chunk_->notes;
    const std::uint32_t stop = note_ < notes.size() ? std::min(notes[note_].field, chunk_->fields) : chunk_->fields;
    if (index_ < stop) {
      const auto take = static_cast<std::uint32_t>(std::min<std::int64_t>(n - i, stop - index_));
      if constexpr (Store) std::memcpy(out + i, chunk_->values.get() + index_, take * sizeof(float));
      i += take;
      index_ += take;
      continue;
    }
    const FieldPipeline::Note& note = notes[note_];
    if (note.kind == FieldPipeline::NoteKind::Repeat && note.count <= n - i) {
      if constexpr (Store) std::fill(out + i, out + i + note.count, note.value);
      i += note.count;
      ++index_;
      ++note_;
      continue;
    }
    // An error: the field is read again as on one thread, which raises it in the same words.
    Field f;
    NextParsedField(f, set, "value");
    i += ReadValueField<Store>(f, Store ? out + i : nullptr, n - i, set);
  }
}

void MatrixReader::ReadValues(std::span<float> values, int set) {
  if (pipeline_) {
    ReadParsedValues<true>(values.data(), static_cast<std::int64_t>(values.size()), set);
  } else {
    ReadSetValues<true>(values.data(), static_cast<std::int64_t>(values.size()), set);
  }
}

void MatrixReader::SkipValues(std::int64_t n, int set) {
  if (pipeline_) {
    ReadParsedValues<false>(nullptr, n, set);
  } else {
    ReadSetValues<false>(nullptr, n, set);
  }
}

}  // namespace kv

// The reader's road on several threads: the fields come found and converted
// from a FieldPipeline, chunk by chunk in file order, and are only given their
// meaning here. A field's text and place are found again in its chunk when an
// integer or an error needs them.
#include <algorithm>
#include <cstring>

#include "zuduradu/core/text/field_reader.h"
#include "zuduradu/core/text/field_scan.h"

namespace kv {

PipelineFieldReader::PipelineFieldReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes,
                                         int threads)
    : FieldReader(name), pipeline_(source, std::move(name), chunkBytes, threads) {}

std::uint64_t PipelineFieldReader::bytesRead() const {
  if (atEnd_) return static_cast<std::uint64_t>(chunk_->offset + static_cast<std::int64_t>(chunk_->size));
  if (index_ == 0) return static_cast<std::uint64_t>(doneEnd_);
  return static_cast<std::uint64_t>(chunk_->offset + static_cast<std::int64_t>(LocateInChunk(index_ - 1).end));
}

FieldLocation PipelineFieldReader::Here() const { return ChunkPlace(chunk_->size, chunk_->lines, chunk_->lineStart); }

// Where the byte at `offset` of the current chunk stands in the file.
FieldLocation PipelineFieldReader::ChunkPlace(std::size_t offset, std::uint32_t lines, std::uint32_t lineStart) const {
  const std::int64_t start =
      lineStart == FieldPipeline::kEarlierLine ? chunkLineStart_ : chunk_->offset + static_cast<std::int64_t>(lineStart);
  return {chunkLine_ + lines, chunk_->offset + static_cast<std::int64_t>(offset) - start + 1};
}

// Whether the current chunk has a field (or a noted error) left.
bool PipelineFieldReader::ChunkHasMore() const {
  return chunk_ && (index_ < chunk_->fields || (note_ < chunk_->notes.size() && chunk_->notes[note_].field == index_));
}

// Takes the next chunk from the pipeline.
void PipelineFieldReader::TakeChunk() {
  chunk_ = &pipeline_.Next();
  index_ = 0;
  note_ = 0;
  run_ = 0;
}

// Tells shape_ the line ends of the current chunk that stand before fields
// [from, to), the field `from` being value `pos` of the set.
void PipelineFieldReader::FeedLines(std::uint32_t from, std::uint32_t to, std::int64_t pos) {
  if (chunk_->runsLost) return shape_.Lose();
  const auto& runs = chunk_->lineRuns;
  for (; run_ < runs.size(); ++run_) {
    const FieldPipeline::LineRun& r = runs[run_];
    const std::uint32_t last = r.field + (r.count - 1) * r.step;
    if (last < from) continue;
    if (r.field >= to) return;
    const std::uint32_t k0 = r.field >= from ? 0 : (from - r.field + r.step - 1) / r.step;
    const std::uint32_t k1 = r.count == 1 ? 0 : std::min(r.count - 1, (to - 1 - r.field) / r.step);
    const std::uint32_t first = r.field + k0 * r.step;
    shape_.Lines(pos + (first - from), r.step, k1 - k0 + 1, chunkLine_ + r.line + k0);
    if (last >= to) return;
  }
}

// Moves to the next chunk that has a field left; false at the end of the input.
bool PipelineFieldReader::NextChunk() {
  while (!ChunkHasMore()) {
    if (chunk_) {
      // The chunk's last line ends come before the next value of a set that goes on.
      if (valuePos_ >= 0) FeedLines(index_, UINT32_MAX, valuePos_);
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
    TakeChunk();
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
FieldPipeline::Spot PipelineFieldReader::LocateInChunk(std::uint32_t field) const {
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
bool PipelineFieldReader::NextField(Field& field, int set, std::string_view fieldName) {
  if (!NextChunk()) return false;
  if (note_ < chunk_->notes.size() && chunk_->notes[note_].field == index_) {
    const FieldPipeline::Note& note = chunk_->notes[note_];
    if (note.kind == FieldPipeline::NoteKind::EmptyField) {
      const FieldPipeline::Spot s = chunk_->LocateEmptyField(index_);
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

// Counts the fields over the text of the chunks, from the end of the last field read.
LeftOverFields PipelineFieldReader::CountLeftOverFields() {
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
    scan::CountFields(
        chunk_->text.get(), from, chunk_->size, inField, [&](std::size_t) { ++line; },
        [&] {
          if (left.fields++ == 0) left.firstLine = line;
        });
    if (chunk_->last) break;
    // Counted here, not taken from the chunk: its parse may have stopped early.
    TakeChunk();
    from = 0;
  }
  atEnd_ = true;
  return left;
}

template <bool Store>
void PipelineFieldReader::ReadSetValues(float* out, std::int64_t n, int set) {
  const std::int64_t before = shape_.Enter(set);
  std::int64_t i = 0;
  while (i < n) {
    valuePos_ = before + i;
    const bool more = NextChunk();
    valuePos_ = -1;
    if (!more) FailInsideSet(set, n - i, n);
    const auto& notes = chunk_->notes;
    const std::uint32_t stop = note_ < notes.size() ? std::min(notes[note_].field, chunk_->fields) : chunk_->fields;
    if (index_ < stop) {
      const auto take = static_cast<std::uint32_t>(std::min<std::int64_t>(n - i, stop - index_));
      FeedLines(index_, index_ + take, before + i);
      if constexpr (Store) std::memcpy(out + i, chunk_->values.get() + index_, take * sizeof(float));
      i += take;
      index_ += take;
      continue;
    }
    const FieldPipeline::Note& note = notes[note_];
    if (note.kind == FieldPipeline::NoteKind::Repeat && note.count <= n - i) {
      FeedLines(index_, index_ + 1, before + i);
      if constexpr (Store) std::fill(out + i, out + i + note.count, note.value);
      i += note.count;
      ++index_;
      ++note_;
      continue;
    }
    // An error: the field is read again as on one thread, which raises it in the same words.
    Field f;
    NextField(f, set, "value");
    i += ReadValueField<Store>(f, Store ? out + i : nullptr, n - i, set);
  }
  shape_.Read(n);
}

void PipelineFieldReader::ReadValues(std::span<float> values, int set) {
  ReadSetValues<true>(values.data(), static_cast<std::int64_t>(values.size()), set);
}

void PipelineFieldReader::SkipValues(std::int64_t n, int set) { ReadSetValues<false>(nullptr, n, set); }

}  // namespace kv

#include "zuduradu/core/text/field_pipeline.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "zuduradu/core/text/field_scan.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/text/text_encoding.h"

namespace kv {
namespace {

std::uint32_t U32(std::size_t n) { return static_cast<std::uint32_t>(n); }

}  // namespace

FieldPipeline::Spot FieldPipeline::Chunk::Locate(std::uint32_t field) const {
  const Anchor& a = anchors[field / kAnchorEvery];
  return Locate(field, field - field % kAnchorEvery, {a.offset, a.offset, a.lines, a.lineStart});
}

FieldPipeline::Spot FieldPipeline::Chunk::Locate(std::uint32_t field, std::uint32_t knownField,
                                                 const Spot& known) const {
  if (knownField > field || knownField < field - field % kAnchorEvery) return Locate(field);
  const char* t = text.get();
  Spot s = known;
  std::size_t p = known.start;
  const auto lineEnd = [&s](std::size_t next) {
    ++s.lines;
    s.lineStart = U32(next);
  };
  for (std::uint32_t k = knownField;; ++k) {
    scan::SkipSeparators(t, p, nullptr, lineEnd);
    if (k == field) break;
    while (p < size && !scan::IsSeparator(t[p])) ++p;
  }
  s.start = p;
  while (p < size && !scan::IsSeparator(t[p])) ++p;
  s.end = p;
  return s;
}

FieldPipeline::Spot FieldPipeline::Chunk::LocateEmptyField(std::uint32_t field) const {
  // The parse stopped on that comma, walking from the end of the field before.
  Spot s = field == 0 ? Spot{0, 0, anchors[0].lines, anchors[0].lineStart} : Locate(field - 1);
  std::size_t p = s.end;
  bool comma = field == 0 && afterComma;
  scan::SkipSeparators(text.get(), p, &comma, [&s](std::size_t next) {
    ++s.lines;
    s.lineStart = U32(next);
  });
  s.start = p;
  s.end = p;
  return s;
}

FieldPipeline::FieldPipeline(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes, int threads)
    : source_(source),
      name_(std::move(name)),
      chunkBytes_(std::clamp<std::size_t>(chunkBytes, 1, std::size_t{1} << 30)) {
  const int workers = std::clamp(threads, 1, kMaxThreads);
  // Room for a cut field and a chunk, or for the first read (see Fill).
  const std::size_t textBytes = scan::kMaxFieldBytes + std::max(chunkBytes_, scan::kMaxFieldBytes) + 1;
  // Every field but the last is followed by a separator: at most one field in two bytes.
  maxFields_ = textBytes / 2 + 2;
  // Two chunks a thread keeps every thread busy while the caller works on one more.
  slots_ = std::vector<Slot>(static_cast<std::size_t>(2 * workers + 1));
  for (Slot& s : slots_) {
    // Left uninitialised: pages are touched only as far as a chunk fills them.
    s.chunk.text = std::make_unique_for_overwrite<char[]>(textBytes);
    s.chunk.values = std::make_unique_for_overwrite<float[]>(maxFields_);
    s.chunk.anchors = std::make_unique_for_overwrite<Anchor[]>(maxFields_ / kAnchorEvery + 2);
  }
  carry_.resize(scan::kMaxFieldBytes);
  try {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
    throw;
  }
}

FieldPipeline::~FieldPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

std::size_t FieldPipeline::bufferBytes() const {
  const std::size_t perChunk = scan::kMaxFieldBytes + std::max(chunkBytes_, scan::kMaxFieldBytes) + 1 +
                               maxFields_ * sizeof(float) +
                               (maxFields_ / kAnchorEvery + 2) * sizeof(Anchor);
  return slots_.size() * perChunk + carry_.capacity();
}

void FieldPipeline::Work() {
  for (;;) {
    // Reading is done by one thread at a time, so chunks come in file order and
    // each one takes the cut field of the one before.
    std::unique_lock<std::mutex> reading(readMutex_);
    if (sourceDone_ || stop_) return;
    Slot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || slots_[nextRead_ % slots_.size()].state == SlotState::Free; });
      if (stop_) return;
      slot = &slots_[nextRead_ % slots_.size()];
      slot->state = SlotState::Busy;
      slot->chunk.sequence = nextRead_++;
    }
    Chunk& c = slot->chunk;
    c.failure = nullptr;
    try {
      Fill(c);
    } catch (...) {
      c.failure = std::current_exception();
      sourceDone_ = true;
    }
    reading.unlock();
    if (!c.failure && !stop_) {
      try {
        Parse(c);
      } catch (...) {
        c.failure = std::current_exception();
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->state = SlotState::Ready;
    }
    changed_.notify_all();
  }
}

void FieldPipeline::Fill(Chunk& c) {
  bool end = false;
  const std::size_t size = ReadText(c, end);
  c.offset = nextOffset_;
  c.afterComma = carryAfterComma_;
  c.last = end;
  // Cut just after the last separator; the field begun after it goes to the
  // next chunk. A field already longer than any number is cut where the read
  // ended instead: its parse stops there with an error, so its rest never counts.
  const std::size_t split = end ? size : CutAfterSeparator(c.text.get(), size);
  carrySize_ = size - split;
  std::memcpy(carry_.data(), c.text.get() + split, carrySize_);
  c.size = split;
  c.text[split] = '\0';
  nextOffset_ = c.offset + static_cast<std::int64_t>(split);
  carryAfterComma_ = EndsAfterComma(c.text.get(), split, c.afterComma);
  if (end) sourceDone_ = true;
}

// The field cut by the previous read, then as much more as a chunk takes; `end`
// when the input ended. The first read skips a byte order mark.
std::size_t FieldPipeline::ReadText(Chunk& c, bool& end) {
  char* t = c.text.get();
  std::memcpy(t, carry_.data(), carrySize_);
  std::size_t size = carrySize_;
  // The first read takes as much as the single-threaded reader's first read, so
  // that the start of the text is judged on the same bytes.
  const bool first = c.sequence == 0;
  const std::size_t want =
      first ? std::max(chunkBytes_, scan::kMaxFieldBytes) + scan::kMaxFieldBytes : carrySize_ + chunkBytes_;
  while (size < want) {
    const std::size_t got = source_.Read(t + size, want - size);
    if (got == 0) {
      end = true;
      break;
    }
    size += got;
  }
  if (first && size > 0) {
    const std::size_t skip = CheckTextStart({t, size}, name_);
    std::memmove(t, t + skip, size - skip);
    size -= skip;
    nextOffset_ = static_cast<std::int64_t>(skip);
  }
  return size;
}

// Just after the last separator of t[0, size), or `size` when the field there
// is already longer than any number.
std::size_t FieldPipeline::CutAfterSeparator(const char* t, std::size_t size) {
  std::size_t s = size;
  while (s > 0 && size - s <= scan::kMaxFieldBytes && !scan::IsSeparator(t[s - 1])) --s;
  return size - s <= scan::kMaxFieldBytes ? s : size;
}

// Whether a comma stands between the last field (or line end) of t[0, size)
// and what follows: two commas with nothing between them are an error across
// the cut too. `before`: whether one stood before t[0].
bool FieldPipeline::EndsAfterComma(const char* t, std::size_t size, bool before) {
  for (std::size_t q = size; q > 0; --q) {
    const char ch = t[q - 1];
    if (ch == ',') return true;
    if (ch == '\n' || !scan::IsSeparator(ch)) return false;
  }
  return before;
}

// One parse of a chunk, field by field: the fields' values, the anchors every
// kAnchorEvery fields, and notes on the fields that are not plain decimals.
// The steps are named lambdas over local state, which the compiler keeps in
// registers: this is the loop every byte of the input goes through.
void FieldPipeline::Parse(Chunk& c) const {
  const char* b = c.text.get();  // with the NUL after it that stops the scans
  const std::size_t size = c.size;
  float* values = c.values.get();
  Anchor* anchors = c.anchors.get();
  c.notes.clear();
  c.lineRuns.clear();
  c.runsLost = false;
  // Regular lines make few runs; a text whose every line differs keeps at most this many.
  const std::size_t maxRuns = std::max<std::size_t>(256, chunkBytes_ / 16);
  LineRun run{0, 0, 0, 0};
  std::uint32_t lastLineField = UINT32_MAX;  // fields before the last line end with fields before it
  std::uint32_t n = 0;
  std::size_t p = 0;
  std::uint32_t lines = 0;
  std::uint32_t lineStart = kEarlierLine;
  std::size_t fieldsEnd = 0;
  bool comma = c.afterComma;
  const auto mark = [&c](std::uint32_t field, NoteKind kind, std::size_t at) {
    c.notes.push_back({field, kind, U32(at), 0, 0.0f});
  };
  const auto keepRun = [&] {
    if (run.count == 0) return;
    if (c.lineRuns.size() < maxRuns) {
      c.lineRuns.push_back(run);
    } else {
      c.runsLost = true;
    }
  };
  const auto taken = [&](std::size_t end) {
    p = end;
    fieldsEnd = end;
    ++n;
    comma = false;
  };

  // Walks the separators to the next field; false at the end of the text or
  // on two commas with nothing between them (noted).
  const auto nextField = [&] {
    if (n % kAnchorEvery == 0) anchors[n / kAnchorEvery] = {U32(p), lines, lineStart};
    const bool oneComma = scan::SkipSeparators(b, p, &comma, [&](std::size_t next) {
      if (n != lastLineField) {
        if (run.count > 0 && lines == run.line + run.count && (run.count == 1 || n - lastLineField == run.step)) {
          if (run.count == 1) run.step = n - lastLineField;
          ++run.count;
        } else {
          keepRun();
          run = {n, lines, 0, 1};
        }
        lastLineField = n;
      }
      ++lines;
      lineStart = U32(next);
    });
    if (!oneComma) {
      mark(n, NoteKind::EmptyField, p);
      return false;
    }
    return p < size;
  };

  // The common field, converted while it is scanned; false leaves p where it was.
  const auto takePlainDecimal = [&] {
    std::size_t q = p;
    if (!scan::ScanPlainDecimal(b, q, values[n])) return false;
    taken(q);
    return true;
  };

  // Any other field: a number of another shape, a repeat (noted), or the first
  // field that is no number (noted); false when the parse stops there.
  const auto takeOtherField = [&] {
    const std::size_t start = p;
    std::size_t q = p;
    while (q < size && !scan::IsSeparator(b[q])) ++q;
    const std::string_view text(b + start, q - start);
    if (text.size() > scan::kMaxFieldBytes) {
      mark(n, NoteKind::TooLong, start);
      return false;
    }
    Parsed<float> number = ParseFloat(text);
    if (number.status != NumberStatus::Ok) {
      const std::optional<Repeat> repeat =
          number.status == NumberStatus::NotANumber ? SplitRepeat(text) : std::nullopt;
      if (repeat) number = ParseFloat(repeat->value);
      if (!repeat || number.status != NumberStatus::Ok) {
        mark(n, NoteKind::BadField, start);
        return false;
      }
      c.notes.push_back({n, NoteKind::Repeat, U32(start), repeat->count, number.value});
    }
    values[n] = number.value;
    taken(q);
    return true;
  };

  while (nextField() && (takePlainDecimal() || takeOtherField())) {
  }
  keepRun();
  c.fields = n;
  c.lines = lines;
  c.lineStart = lineStart;
  c.fieldsEnd = U32(fieldsEnd);
}

const FieldPipeline::Chunk& FieldPipeline::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_) {
    taken_->state = SlotState::Free;
    taken_ = nullptr;
    changed_.notify_all();
  }
  Slot& s = slots_[nextTaken_ % slots_.size()];
  changed_.wait(lock, [&] { return s.state == SlotState::Ready && s.chunk.sequence == nextTaken_; });
  ++nextTaken_;
  taken_ = &s;
  if (s.chunk.failure) std::rethrow_exception(s.chunk.failure);
  return s.chunk;
}

}  // namespace kv

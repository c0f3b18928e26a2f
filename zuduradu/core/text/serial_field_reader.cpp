// The reader's road on one thread: fields are found and converted in one buffer.
#include <algorithm>
#include <cstring>

#include "zuduradu/core/text/field_reader.h"
#include "zuduradu/core/text/field_scan.h"
#include "zuduradu/core/text/text_encoding.h"

namespace kv {

SerialFieldReader::SerialFieldReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes)
    : FieldReader(std::move(name)), source_(source) {
  // Room for a cut field and a chunk, and one byte more than is ever filled:
  // it holds the NUL that ends the data.
  buffer_.resize(std::max(chunkBytes, scan::kMaxFieldBytes) + scan::kMaxFieldBytes + 1);
}

std::uint64_t SerialFieldReader::bytesRead() const {
  return static_cast<std::uint64_t>(base_ + static_cast<std::int64_t>(pos_));
}

FieldLocation SerialFieldReader::Here() const {
  return {line_, base_ + static_cast<std::int64_t>(pos_) - lineStart_ + 1};
}

// Keeps the last `keep` bytes before pos_ (a field cut by the chunk's end) and
// reads the next chunk behind them. False at the end of the input.
bool SerialFieldReader::Refill(std::size_t keep) {
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
    pos_ += CheckTextStart({buffer_.data(), end_}, name());
    lineStart_ = static_cast<std::int64_t>(pos_);
    if (pos_ == end_) return Refill(0);
  }
  return true;
}

LeftOverFields SerialFieldReader::CountLeftOverFields() {
  LeftOverFields left;
  bool inField = false;
  while (pos_ < end_ || Refill(0)) {
    scan::CountFields(
        buffer_.data(), pos_, end_, inField, [this](std::size_t next) { LineEnd(next); },
        [&] {
          if (left.fields++ == 0) left.firstLine = line_;
        });
    pos_ = end_;
  }
  return left;
}

bool SerialFieldReader::NextField(Field& field, int set, std::string_view fieldName) {
  bool comma = false;
  const auto lineEnd = [this](std::size_t next) {
    LineEnd(next);
    if (valuePos_ >= 0) shape_.Line(valuePos_, line_ - 1);
  };
  for (;;) {
    if (!scan::SkipSeparators(buffer_.data(), pos_, &comma, lineEnd)) {
      FailAtEnd(set, fieldName, kTwoCommas);
    }
    if (pos_ < end_) break;
    if (!Refill(0)) return false;
  }
  std::size_t start = pos_;
  for (;;) {
    const char* p = buffer_.data() + pos_;
    const char* e = buffer_.data() + end_;
    while (p < e && !scan::IsSeparator(*p)) ++p;
    pos_ = static_cast<std::size_t>(p - buffer_.data());
    if (p < e) break;
    const std::size_t length = pos_ - start;
    if (length > scan::kMaxFieldBytes) break;
    const bool more = Refill(length);
    start = 0;
    if (!more) break;
  }
  field.text = std::string_view(buffer_.data() + start, pos_ - start);
  field.at = {line_, base_ + static_cast<std::int64_t>(start) - lineStart_ + 1};
  CheckLength(field, set, fieldName);
  return true;
}

template <bool Store>
std::int64_t SerialFieldReader::FastValues(float* out, std::int64_t n, std::int64_t pos) {
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
    // The byte after the chunk's end is a NUL, which stops both scans without a bounds test.
    bool comma = false;
    float v = 0.0f;
    if (scan::SkipSeparators(b, p, &comma, [this](std::size_t next) { LineEnd(next); }) &&
        scan::ScanPlainDecimal(b, p, v)) {
      // A line ended after the values before this one: the line they stood on.
      if (line_ != line) shape_.Line(pos + done, line);
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
void SerialFieldReader::ReadSetValues(float* out, std::int64_t n, int set) {
  const std::int64_t before = shape_.Enter(set);
  std::int64_t i = 0;
  Field f;
  while (i < n) {
    i += FastValues<Store>(Store ? out + i : nullptr, n - i, before + i);
    if (i == n) break;
    valuePos_ = before + i;
    const bool more = NextField(f, set, "value");
    valuePos_ = -1;
    if (!more) FailInsideSet(set, n - i, n);
    i += ReadValueField<Store>(f, Store ? out + i : nullptr, n - i, set);
  }
  shape_.Read(n);
}

void SerialFieldReader::ReadValues(std::span<float> values, int set) {
  ReadSetValues<true>(values.data(), static_cast<std::int64_t>(values.size()), set);
}

void SerialFieldReader::SkipValues(std::int64_t n, int set) { ReadSetValues<false>(nullptr, n, set); }

}  // namespace kv

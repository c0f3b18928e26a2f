#include "zuduradu/core/matrix_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "zuduradu/core/error.h"
#include "zuduradu/core/number_text.h"
#include "zuduradu/core/text_encoding.h"

namespace kv {
namespace {

constexpr std::array<bool, 256> MakeSeparators() {
  std::array<bool, 256> t{};
  t[static_cast<unsigned char>(' ')] = true;
  t[static_cast<unsigned char>('\t')] = true;
  t[static_cast<unsigned char>('\r')] = true;
  t[static_cast<unsigned char>('\n')] = true;
  t[static_cast<unsigned char>(',')] = true;
  return t;
}
constexpr std::array<bool, 256> kSeparator = MakeSeparators();

bool IsSeparator(char c) { return kSeparator[static_cast<unsigned char>(c)]; }

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

MatrixReader::MatrixReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes)
    : source_(source), name_(std::move(name)), chunk_(std::max<std::size_t>(chunkBytes, kMaxFieldBytes)) {
  // One byte more than is ever filled: it holds the NUL that ends the data.
  buffer_.resize(chunk_ + kMaxFieldBytes + 1);
}

void MatrixReader::FailAt(FieldLocation at, int set, std::string_view field, std::string what) const {
  throw Error(ErrorKind::BadInput, std::move(what), ErrorPlace{name_, at.line, at.column, set, std::string(field)});
}

void MatrixReader::FailAtEnd(int set, std::string_view field, std::string what) const {
  const std::int64_t offset = base_ + static_cast<std::int64_t>(pos_);
  FailAt({line_, offset - lineStart_ + 1}, set, field, std::move(what));
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
      if (comma) {
        FailAtEnd(set, fieldName, "two commas with no number between them (an empty field)");
      }
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
  if (field.text.size() > kMaxFieldBytes) {
    FailAt(field.at, set, fieldName, QuoteField(field.text) + " is longer than " + std::to_string(kMaxFieldBytes) +
                                " characters and cannot be a number");
  }
  return true;
}

std::int16_t MatrixReader::ReadInteger(std::string_view fieldName, int set) {
  Field f;
  if (!NextField(f, set, fieldName)) {
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

// Powers of ten that a float holds exactly.
constexpr std::array<float, 11> kExactPowersOfTen = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                     1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

template <bool Store>
std::int64_t MatrixReader::FastValues(float* out, std::int64_t n) {
  // The common field, an optional minus, digits, a point and more digits, is
  // converted while it is scanned. With at most 2^24 as the digits' value and at
  // most ten decimals, both the digits and the power of ten are exact floats, so
  // one division rounds correctly (the same result as std::from_chars). Anything
  // else, and a field at the chunk's edge, is left to the general road, which
  // starts again from the separators before that field.
  const char* b = buffer_.data();
  const std::size_t e = end_;
  std::size_t p = pos_;
  std::int64_t done = 0;
  auto digit = [b](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(b[at])) - '0'; };
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
    const bool negative = b[p] == '-';
    p += negative ? 1 : 0;
    std::uint64_t digits = 0;
    const std::size_t first = p;
    for (unsigned d = digit(p); d <= 9; d = digit(++p)) digits = digits * 10 + d;
    std::size_t count = p - first;
    std::size_t decimals = 0;
    if (b[p] == '.') {
      const std::size_t point = ++p;
      for (unsigned d = digit(p); d <= 9; d = digit(++p)) digits = digits * 10 + d;
      decimals = p - point;
      count += decimals;
    }
    if (!twoCommas && p < e && IsSeparator(b[p]) && count > 0 && count <= 19 &&
        digits <= (std::uint64_t{1} << 24) && decimals < kExactPowersOfTen.size()) {
      const float v = static_cast<float>(digits) / kExactPowersOfTen[decimals];
      if constexpr (Store) out[done] = negative ? -v : v;
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
    if (!NextField(f, set, "value")) {
      FailAtEnd(set, "value", "the file ends inside data set " + std::to_string(set) + ": " +
                                  Plural(n - i, "value is", "values are") + " missing of its " + std::to_string(n));
    }
    float v = 0.0f;
    NumberStatus status = ParseFloatField(f.text, v);
    if (status == NumberStatus::Ok) {
      if constexpr (Store) out[i] = v;
      ++i;
      continue;
    }
    std::int64_t repeat = 0;
    std::string_view valueText;
    if (status == NumberStatus::NotANumber && SplitRepeat(f.text, repeat, valueText)) {
      status = ParseFloatField(valueText, v);
      if (status == NumberStatus::Ok) {
        if (repeat > n - i) {
          FailAt(f.at, set, "value", QuoteField(f.text) + " repeats a value " + std::to_string(repeat) +
                                         " times, but only " + Plural(n - i, "value is", "values are") +
                                         " left in the data set");
        }
        if constexpr (Store) std::fill(out + i, out + i + repeat, v);
        i += repeat;
        continue;
      }
    }
    FailAt(f.at, set, "value",
           QuoteField(f.text) +
               (status == NumberStatus::OutOfRange ? " is beyond the range of a 32-bit float" : " is not a number"));
  }
}

void MatrixReader::ReadValues(std::span<float> values, int set) {
  ReadSetValues<true>(values.data(), static_cast<std::int64_t>(values.size()), set);
}

void MatrixReader::SkipValues(std::int64_t n, int set) { ReadSetValues<false>(nullptr, n, set); }

}  // namespace kv

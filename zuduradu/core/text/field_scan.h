// Byte classes of the matrix input text and the fast conversion of its common
// field shape, shared by the reader's single-threaded loop and the field
// parsers that run on several threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv::scan {

// No number is longer: a longer field is an error, wherever it stands.
inline constexpr std::size_t kMaxFieldBytes = 256;

inline constexpr std::array<bool, 256> kSeparator = [] {
  std::array<bool, 256> t{};
  t[static_cast<unsigned char>(' ')] = true;
  t[static_cast<unsigned char>('\t')] = true;
  t[static_cast<unsigned char>('\r')] = true;
  t[static_cast<unsigned char>('\n')] = true;
  t[static_cast<unsigned char>(',')] = true;
  return t;
}();

inline bool IsSeparator(char c) { return kSeparator[static_cast<unsigned char>(c)]; }

// The separator walk: skips the separators from b[p] and calls lineEnd(q) at
// every line end, q being the offset of the byte after it. The bytes must end
// with a byte that is no separator (the readers keep a NUL after their data),
// which ends the walk without a bounds test. With `comma` (whether a comma
// stands since the last field or line end) the walk stops on a second comma
// with no field or line end since the first, and returns false with p there;
// without it commas are skipped like blanks.
template <class LineEnd>
inline bool SkipSeparators(const char* b, std::size_t& p, bool* comma, LineEnd&& lineEnd) {
  for (; IsSeparator(b[p]); ++p) {
    if (b[p] == '\n') {
      lineEnd(p + 1);
      if (comma) *comma = false;
    } else if (comma && b[p] == ',') {
      if (*comma) return false;
      *comma = true;
    }
  }
  return true;
}

// Counts the fields of b[p, end) with the separator walk: fieldStart() is
// called where a field begins, lineEnd(q) as above. `inField` says that a field
// began before p, and tells the next call that one was cut at `end`.
template <class LineEnd, class FieldStart>
inline void CountFields(const char* b, std::size_t p, std::size_t end, bool& inField, LineEnd&& lineEnd,
                        FieldStart&& fieldStart) {
  while (p < end) {
    const std::size_t from = p;
    SkipSeparators(b, p, nullptr, lineEnd);
    if (p != from) inField = false;
    if (p >= end) return;
    if (!inField) fieldStart();
    inField = true;
    while (p < end && !IsSeparator(b[p])) ++p;
  }
}

// Powers of ten that a float holds exactly.
inline constexpr std::array<float, 11> kExactPowersOfTen = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                            1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// Converts the field that starts at b[p] if it has the common shape: an
// optional minus, digits, and an optional point with more digits, followed by a
// separator. With at most 2^24 as the digits' value and at most ten decimals,
// both the digits and the power of ten are exact floats, so one division rounds
// correctly (the same result as std::from_chars). On success p is the separator
// after the field; otherwise p is where the scan stopped and the caller starts
// that field again on the general road. The bytes must end with a byte that is
// neither a digit nor a point (the readers keep a NUL after their data), which
// ends every loop here without a bounds test.
inline bool ScanPlainDecimal(const char* b, std::size_t& p, float& out) {
  auto digit = [b](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(b[at])) - '0'; };
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
  if (IsSeparator(b[p]) && count > 0 && count <= 19 && digits <= (std::uint64_t{1} << 24) &&
      decimals < kExactPowersOfTen.size()) {
    const float v = static_cast<float>(digits) / kExactPowersOfTen[decimals];
    out = negative ? -v : v;
    return true;
  }
  return false;
}

}  // namespace kv::scan

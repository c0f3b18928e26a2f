// Rows of matrix input text written straight into a character buffer: each
// value in the shortest text that reads back to the same float, separated by
// one space, the row ended by a line feed. No string is made per value or per
// row, so a caller can format many rows into one buffer it owns.
#pragma once

#include <cstddef>
#include <span>

namespace kv {

// Room the longest value text takes ("-1.17549435e-38" is 15 characters).
inline constexpr std::size_t kValueTextRoom = 16;

// Writes the shortest text of `value` at `out`, which has room for
// kValueTextRoom characters, and returns the end of what it wrote.
char* WriteValueText(char* out, float value);

// The most characters WriteRowText writes for a row of `values` values.
constexpr std::size_t RowTextRoom(std::size_t values) { return values * kValueTextRoom + 1; }

// Writes one row at `out` (room for RowTextRoom(values.size())) and returns its end.
char* WriteRowText(char* out, std::span<const float> values);

}  // namespace kv

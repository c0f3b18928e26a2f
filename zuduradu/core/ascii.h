// ASCII case folding: only 'A'..'Z' change, whatever the locale, so that the
// bytes of UTF-8 names and the rest of a path stay as they are.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kv {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLowered(std::string_view text) {
  std::string out(text);
  std::ranges::transform(out, out.begin(), AsciiLower);
  return out;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace kv

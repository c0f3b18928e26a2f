#include "zuduradu/core/text/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>
#include <system_error>

#include "zuduradu/core/text/row_text.h"

namespace kv {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the decimal syntax. Reports where the exponent letter is (or npos) and
// whether the text has an integer shape (sign and digits only).
bool CheckDecimal(std::string_view t, std::size_t& exponentAt, bool& wholeShape) {
  std::size_t i = 0;
  const std::size_t n = t.size();
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(t[i])) ++i, ++digits;
  wholeShape = true;
  if (i < n && t[i] == '.') {
    wholeShape = false;
    ++i;
    while (i < n && IsDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  exponentAt = std::string_view::npos;
  if (i < n && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    wholeShape = false;
    exponentAt = i++;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && IsDigit(t[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == n;
}

// The power of ten of the first significant digit of a checked decimal text:
// positive for values of 10 or more, negative for values below 1.
std::int64_t DecimalMagnitude(std::string_view t, std::size_t exponentAt) {
  const std::string_view mantissa = t.substr(0, exponentAt);
  std::int64_t exponent = 0;
  if (exponentAt != std::string_view::npos) {
    std::size_t i = exponentAt + 1;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    for (; i < t.size(); ++i) exponent = std::min<std::int64_t>(exponent * 10 + (t[i] - '0'), 1'000'000'000);
    if (negative) exponent = -exponent;
  }
  std::int64_t position = 0;  // digits before the point, once a non-zero digit was seen
  bool seenPoint = false;
  bool significant = false;
  for (char c : mantissa) {
    if (c == '.') {
      seenPoint = true;
    } else if (IsDigit(c)) {
      if (c != '0') significant = true;
      if (!seenPoint && significant) ++position;
      if (seenPoint && !significant) --position;
      if (significant && seenPoint) break;
    }
  }
  return position + exponent;
}

}  // namespace

Parsed<std::int16_t> ParseInt16(std::string_view text) {
  std::size_t exponentAt = 0;
  bool wholeShape = false;
  if (!CheckDecimal(text, exponentAt, wholeShape)) return {NumberStatus::NotANumber};
  if (!wholeShape) return {NumberStatus::Fraction};
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  const bool negative = text[0] == '-';
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 32768) return {NumberStatus::OutOfRange};
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max()) {
    return {NumberStatus::OutOfRange};
  }
  return {NumberStatus::Ok, static_cast<std::int16_t>(value)};
}

Parsed<float> ParseFloat(std::string_view text) {
  // Fast road for the common shape: std::from_chars takes the same decimal
  // syntax once "inf", "nan", a leading '+' and D exponents are kept out, and
  // those never begin with a digit or a point after an optional minus.
  if (!text.empty()) {
    const char lead = text[0] == '-' && text.size() > 1 ? text[1] : text[0];
    if (IsDigit(lead) || lead == '.') {
      const char* last = text.data() + text.size();
      float out = 0.0f;
      const auto fast = std::from_chars(text.data(), last, out, std::chars_format::general);
      if (fast.ec == std::errc() && fast.ptr == last) return {NumberStatus::Ok, out};
    }
  }
  std::size_t exponentAt = 0;
  bool wholeShape = false;
  if (!CheckDecimal(text, exponentAt, wholeShape)) return {NumberStatus::NotANumber};
  // std::from_chars takes no leading '+' and knows only E as the exponent letter.
  const bool plus = text[0] == '+';
  const bool dExponent = exponentAt != std::string_view::npos && (text[exponentAt] == 'd' || text[exponentAt] == 'D');
  std::string copy;
  std::string_view digits = text.substr(plus ? 1 : 0);
  if (dExponent) {
    copy.assign(digits);
    copy[exponentAt - (plus ? 1 : 0)] = 'e';
    digits = copy;
  }
  float value = 0.0f;
  const char* last = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large for a float is an error; too small rounds to a signed zero.
    if (DecimalMagnitude(digits, exponentAt == std::string_view::npos ? exponentAt : exponentAt - (plus ? 1 : 0)) > 0) {
      return {NumberStatus::OutOfRange};
    }
    return {NumberStatus::Ok, text[0] == '-' ? -0.0f : 0.0f};
  }
  if (result.ec != std::errc() || result.ptr != last) return {NumberStatus::NotANumber};
  return {NumberStatus::Ok, value};
}

std::optional<Repeat> SplitRepeat(std::string_view text) {
  const std::size_t star = text.find('*');
  if (star == std::string_view::npos || star == 0 || star > 10) return std::nullopt;
  std::int64_t n = 0;
  for (std::size_t i = 0; i < star; ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
    n = n * 10 + (text[i] - '0');
  }
  if (n < 1) return std::nullopt;
  return Repeat{n, text.substr(star + 1)};
}

std::string ShortestText(float value) {
  std::array<char, kValueTextRoom> buffer{};
  return std::string(buffer.data(), WriteValueText(buffer.data(), value));
}

std::string QuoteField(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string q = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7F) {
      std::array<char, 8> hex{};
      std::snprintf(hex.data(), hex.size(), "\\x%02X", c);
      q += hex.data();
    } else {
      q += static_cast<char>(c);
    }
  }
  if (text.size() > kShown) q += "...";
  q += '"';
  return q;
}

}  // namespace kv

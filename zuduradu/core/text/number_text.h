// The numbers of the matrix input text: plain decimal integers for counts,
// periods and layers; decimal floats (with E or D exponents) for values; and
// repeat counts such as 6*0.5 written by free-format writers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

enum class NumberStatus {
  Ok,
  NotANumber,   // not a decimal number at all ("abc", "nan", "inf", "1e", "0x10")
  Fraction,     // a decimal number where a whole number is needed ("1.5", "2e1")
  OutOfRange,   // beyond the field's type (-32768..32767 or the float range)
};

// A number read from a field: its status, and its value when the status is Ok.
template <typename T>
struct Parsed {
  NumberStatus status = NumberStatus::NotANumber;
  T value{};
};

// A signed 16-bit whole number: optional sign, digits only.
Parsed<std::int16_t> ParseInt16(std::string_view text);

// A 32-bit float, rounded to nearest: optional sign, digits with an optional
// point and fraction, optional exponent with E, e, D or d. A value too small
// for a float rounds to zero (keeping its sign) and is not an error.
Parsed<float> ParseFloat(std::string_view text);

// The same two with the value in an out-parameter, set only on Ok.
inline NumberStatus ParseInt16Field(std::string_view text, std::int16_t& out) {
  const Parsed<std::int16_t> p = ParseInt16(text);
  if (p.status == NumberStatus::Ok) out = p.value;
  return p.status;
}
inline NumberStatus ParseFloatField(std::string_view text, float& out) {
  const Parsed<float> p = ParseFloat(text);
  if (p.status == NumberStatus::Ok) out = p.value;
  return p.status;
}

// A repeat "N*value" with N >= 1: the count and the value's text.
struct Repeat {
  std::int64_t count = 0;
  std::string_view value;
};
std::optional<Repeat> SplitRepeat(std::string_view text);

// The shortest decimal text that reads back as the same float.
std::string ShortestText(float value);

// A field quoted for a message: at most 40 characters, control bytes escaped.
std::string QuoteField(std::string_view text);

}  // namespace kv

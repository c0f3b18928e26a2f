#include "zuduradu/python/held_sets.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/text/number_text.h"

namespace kvpy {

namespace {

// Half of the last float step above the largest float: from here on a value
// rounds to infinity, which the text reader refuses as out of range.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

template <typename T>
T Load(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// IEEE half precision to float: every half is a float exactly.
float HalfToFloat(std::uint16_t h) {
  const bool negative = (h & 0x8000u) != 0;
  const int exponent = (h >> 10) & 0x1f;
  const int mantissa = h & 0x3ff;
  float value = 0.0f;
  if (exponent == 0x1f) {
    value = mantissa != 0 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
  } else if (exponent == 0) {
    value = std::ldexp(static_cast<float>(mantissa), -24);
  } else {
    value = std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
  }
  return negative ? -value : value;
}

std::string ShortText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

[[noreturn]] void Refuse(int set, std::int64_t row, std::int64_t column, double value) {
  const bool finite = std::isfinite(value);
  throw kv::Error(kv::ErrorKind::BadInput,
                  "row " + std::to_string(row + 1) + ", column " + std::to_string(column + 1) + " holds " +
                      ShortText(value) +
                      (finite ? ", beyond the range of a float (about 3.4e38)" : ", which a period data file cannot hold") +
                      "; every value must be a finite number",
                  kv::ErrorPlace{{}, 0, 0, set, "value"});
}

}  // namespace

bool RoundToFloat(double value, float& out) {
  if (!std::isfinite(value) || std::fabs(value) >= kFloatOverflow) return false;
  const float f = static_cast<float>(value);
  if (static_cast<double>(f) != value) {
    // A double exactly halfway between two floats: its shortest text is not
    // that midpoint itself, so the text reader may round it the other way.
    // Rounding that text decides, as it would in a matrix input file.
    const float other = std::nextafter(f, value > static_cast<double>(f) ? std::numeric_limits<float>::infinity()
                                                                        : -std::numeric_limits<float>::infinity());
    if ((static_cast<double>(f) + static_cast<double>(other)) / 2 == value) {
      char text[32];
      const auto end = std::to_chars(text, text + sizeof text, value).ptr;
      const kv::Parsed<float> parsed = kv::ParseFloat(std::string_view(text, static_cast<std::size_t>(end - text)));
      if (parsed.status == kv::NumberStatus::Ok) out = parsed.value;
      return parsed.status == kv::NumberStatus::Ok;
    }
  }
  out = f;
  return true;
}

HeldSets::HeldSets(std::vector<HeldSet> sets) : sets_(std::move(sets)) {}

const HeldSet& HeldSets::Set(int set) const { return sets_.at(static_cast<std::size_t>(set - 1)); }

std::int16_t HeldSets::ReadInteger(std::string_view field, int set) {
  std::int64_t value = 0;
  if (set == 0) {
    value = static_cast<std::int64_t>(sets_.size());
    if (value > kv::kInt16Max) {
      throw kv::Error(kv::ErrorKind::BadRequest, std::to_string(value) + " data sets are more than the " +
                                                     std::to_string(kv::kInt16Max) +
                                                     " one run can store; store them in several runs");
    }
  } else {
    const HeldSet& held = Set(set);
    value = field == "period" ? held.period : held.layer;
    if (value < kv::kInt16Min || value > kv::kInt16Max) {
      throw kv::Error(kv::ErrorKind::BadInput,
                      std::to_string(value) + " is outside " + std::to_string(kv::kInt16Min) + ".." +
                          std::to_string(kv::kInt16Max),
                      kv::ErrorPlace{{}, 0, 0, set, std::string(field)});
    }
  }
  return static_cast<std::int16_t>(value);
}

void HeldSets::ReadValues(std::span<float> values, int set) { Convert(Set(set), values, set); }

void HeldSets::SkipValues(std::int64_t n, int set) {
  // Skipped sets are checked all the same, as the text reader checks them.
  std::vector<float> scratch(static_cast<std::size_t>(n));
  Convert(Set(set), scratch, set);
}

namespace {

// Walks the array row by row; `one` turns the element at a byte address into a
// float, or gives false with the value it refuses.
template <typename One>
void Walk(const HeldArray& a, float* to, int set, One&& one) {
  const auto* base = static_cast<const unsigned char*>(a.data);
  for (std::int64_t r = 0; r < a.rows; ++r) {
    const unsigned char* at = base + r * a.rowStride;
    for (std::int64_t c = 0; c < a.columns; ++c, at += a.columnStride) {
      double refused = 0;
      if (!one(at, *to++, refused)) Refuse(set, r, c, refused);
    }
  }
}

template <typename Int>
void WalkIntegers(const HeldArray& a, float* to, int set) {
  Walk(a, to, set, [](const unsigned char* at, float& f, double&) {
    f = static_cast<float>(Load<Int>(at));
    return true;
  });
}

// An array as many values as the layer has, or the refusal.
void CheckSize(const HeldArray& a, std::size_t cells, int set) {
  if (static_cast<std::int64_t>(cells) != a.rows * a.columns) {
    throw kv::Error(kv::ErrorKind::BadRequest, "the array holds " + std::to_string(a.rows * a.columns) +
                                                   " values where the grid gives a layer " + std::to_string(cells),
                    kv::ErrorPlace{{}, 0, 0, set, "value"});
  }
}

// Floats of every width: refused when not finite or beyond the float range.
// False for an array of integers.
bool WalkFloats(const HeldArray& a, float* to, int set) {
  switch (a.kind) {
    case ValueKind::Float32:
      Walk(a, to, set, [](const unsigned char* at, float& f, double& refused) {
        f = Load<float>(at);
        refused = f;
        return std::isfinite(f);
      });
      return true;
    case ValueKind::Float16:
      Walk(a, to, set, [](const unsigned char* at, float& f, double& refused) {
        f = HalfToFloat(Load<std::uint16_t>(at));
        refused = f;
        return std::isfinite(f);
      });
      return true;
    case ValueKind::Float64:
      Walk(a, to, set, [](const unsigned char* at, float& f, double& refused) {
        refused = Load<double>(at);
        return RoundToFloat(refused, f);
      });
      return true;
    case ValueKind::LongDouble:
      Walk(a, to, set, [](const unsigned char* at, float& f, double& refused) {
        const auto d = Load<long double>(at);
        refused = static_cast<double>(d);
        if (!std::isfinite(d) || std::fabs(d) >= static_cast<long double>(kFloatOverflow)) return false;
        f = static_cast<float>(d);
        return true;
      });
      return true;
    default:
      return false;
  }
}

// Integers of every width and sign: each is rounded to the nearest float.
void WalkAnyIntegers(const HeldArray& a, float* to, int set) {
  switch (a.kind) {
    case ValueKind::Int8:
      return WalkIntegers<std::int8_t>(a, to, set);
    case ValueKind::Int16:
      return WalkIntegers<std::int16_t>(a, to, set);
    case ValueKind::Int32:
      return WalkIntegers<std::int32_t>(a, to, set);
    case ValueKind::Int64:
      return WalkIntegers<std::int64_t>(a, to, set);
    case ValueKind::UInt8:
      return WalkIntegers<std::uint8_t>(a, to, set);
    case ValueKind::UInt16:
      return WalkIntegers<std::uint16_t>(a, to, set);
    case ValueKind::UInt32:
      return WalkIntegers<std::uint32_t>(a, to, set);
    case ValueKind::UInt64:
      return WalkIntegers<std::uint64_t>(a, to, set);
    default:
      return;
  }
}

}  // namespace

void HeldSets::Convert(const HeldSet& held, std::span<float> out, int set) const {
  CheckSize(held.values, out.size(), set);
  if (!WalkFloats(held.values, out.data(), set)) WalkAnyIntegers(held.values, out.data(), set);
}

}  // namespace kvpy

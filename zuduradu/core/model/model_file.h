// Reading the model description file, an INI text file: the model's version
// ("NUMBER" of section "VERSION") and its grid size ("NX", "NY", "NZ" of
// section "DIMENSION").
//
// Section and key names match without regard to case, and when a key appears
// more than once the first occurrence counts. Only "=" separates a key from its
// value, and the value is the rest of the line without its outer blanks. A value
// is an optional sign and decimal digits; whatever follows the digits is ignored. A value without digits
// counts as missing, and a missing file, section or key gives the key's default.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "zuduradu/core/grid.h"

namespace kv {

inline constexpr std::int64_t kMinModelVersion = 4000;  // also the version of a model that names none
inline constexpr GridSize kDefaultGrid{30, 30, 1};

// The integer a key's value starts with: an optional "+" or "-" and at least one
// decimal digit. Values beyond the 64-bit range saturate. Nothing without digits.
std::optional<std::int64_t> LeadingInteger(std::string_view value);

// The model's version, kMinModelVersion when the file gives none.
std::int64_t ReadModelVersion(const std::filesystem::path& modelFile);

// A dimension whose value does not fit -32768..32767, or is not a whole number.
struct UnfitDimension {
  std::string key;    // "NX", "NY" or "NZ"
  std::string value;  // the value as written in the file
  bool number = true;  // false: the value is not a whole number at all
  friend bool operator==(const UnfitDimension&, const UnfitDimension&) = default;
};

// The grid size, or the first of NX, NY, NZ that does not fit.
using GridSizeRead = std::variant<GridSize, UnfitDimension>;
GridSizeRead ReadGridSize(const std::filesystem::path& modelFile);

// The grid size with the keys that were missing and took their defaults.
struct GridKeys {
  GridSizeRead size;
  std::vector<std::string> defaulted;  // "NX", "NY", "NZ" in that order
};
GridKeys ReadGridKeys(const std::filesystem::path& modelFile);

}  // namespace kv

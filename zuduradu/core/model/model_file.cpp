#include "zuduradu/core/model/model_file.h"

// SimpleIni without its character conversion: the same byte-for-byte reader and
// the same ASCII-only case folding on every platform. Debian's header holds the
// template bodies behind SI_IMPLEMENTATION; this is the one file that uses them.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <limits>
#include <span>

namespace kv {

namespace {

// A key looked for in one pass over a file, with the text of its first occurrence.
struct WantedKey {
  const char* section;
  const char* key;
  std::optional<std::string> firstValue;
};

// The text handed to the parser: leading blanks are dropped from every line so
// that an indented key is read as a key, and a NUL ends only its own line rather
// than the rest of the file.
std::string ParserText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    line.remove_prefix(std::min(line.find_first_not_of(" \t\r\v\f"), line.size()));
    out.append(line.substr(0, line.find('\0')));
    out += '\n';
  }
  return out;
}

// Fills in the first values of the wanted keys; a file that cannot be read
// leaves them all missing. Section and key names match without regard to ASCII
// case, repeated sections count as one, and of a repeated key the one written
// first counts. Malformed lines are skipped, as the package's own reader skips them.
void ReadKeys(const std::filesystem::path& file, std::span<WantedKey> keys) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  CSimpleIniA ini(false, true, false);  // bytes as they are, repeated keys kept, no multi-line values
  if (ini.LoadData(ParserText(text)) < 0) return;
  for (WantedKey& k : keys) {
    CSimpleIniA::TNamesDepend values;
    if (!ini.GetAllValues(k.section, k.key, values) || values.empty()) continue;
    const auto first = std::ranges::min_element(values, {}, [](const CSimpleIniA::Entry& e) { return e.nOrder; });
    k.firstValue = first->pItem;
  }
}

}  // namespace

std::optional<std::int64_t> LeadingInteger(std::string_view value) {
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  if (value.empty() || value.front() < '0' || value.front() > '9') return std::nullopt;
  constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max();
  std::int64_t magnitude = 0;  // saturates at limit
  for (char c : value) {
    if (c < '0' || c > '9') break;
    const int digit = c - '0';
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return magnitude;
  return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -magnitude;
}

std::int64_t ReadModelVersion(const std::filesystem::path& modelFile) {
  std::array<WantedKey, 1> keys{{{"VERSION", "NUMBER", std::nullopt}}};
  ReadKeys(modelFile, keys);
  const std::optional<std::string>& text = keys[0].firstValue;
  return text ? LeadingInteger(*text).value_or(kMinModelVersion) : kMinModelVersion;
}

namespace {

// A whole number written as such: an optional sign and digits, and after them
// at most blanks and a comment that starts with ";" or "#".
bool WholeNumberText(std::string_view value) {
  value = value.substr(0, value.find_first_of(";#"));
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) value.remove_prefix(1);
  return !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

GridSizeRead ReadGridSize(const std::filesystem::path& modelFile) { return ReadGridKeys(modelFile).size; }

GridKeys ReadGridKeys(const std::filesystem::path& modelFile) {
  std::array<WantedKey, 3> keys{{{"DIMENSION", "NX", std::nullopt},
                                  {"DIMENSION", "NY", std::nullopt},
                                  {"DIMENSION", "NZ", std::nullopt}}};
  ReadKeys(modelFile, keys);
  const std::array<int, 3> defaults{kDefaultGrid.nx, kDefaultGrid.ny, kDefaultGrid.nz};
  std::array<int, 3> sizes{};
  GridKeys read;
  for (std::size_t i = 0; i < 3; ++i) {
    const WantedKey& k = keys[i];
    if (!k.firstValue || k.firstValue->empty()) {
      sizes[i] = defaults[i];
      read.defaulted.emplace_back(k.key);
      continue;
    }
    // "forty" or "40.5" read as a default or as 40 would give a grid the
    // model does not have, and files written with it would not fit the model.
    if (!WholeNumberText(*k.firstValue)) {
      read.size = UnfitDimension{std::string(k.key), *k.firstValue, false};
      return read;
    }
    const std::int64_t number = *LeadingInteger(*k.firstValue);
    if (number < kInt16Min || number > kInt16Max) {
      read.size = UnfitDimension{std::string(k.key), *k.firstValue};
      return read;
    }
    sizes[i] = static_cast<int>(number);
  }
  read.size = GridSize{sizes[0], sizes[1], sizes[2]};
  return read;
}

}  // namespace kv

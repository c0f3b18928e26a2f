#include "zuduradu/core/model_file.h"

#include <ini.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <span>

namespace kv {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

// A key looked for in one pass over a file, with the text of its first occurrence.
struct WantedKey {
  std::string_view section;
  std::string_view key;
  std::optional<std::string> firstValue;
};

int CollectFirstValues(void* user, const char* section, const char* name, const char* value) {
  for (WantedKey& k : *static_cast<std::span<WantedKey>*>(user)) {
    if (!k.firstValue && SameName(section, k.section) && SameName(name, k.key)) k.firstValue = value;
  }
  return 1;
}

// Hands the file to the parser line by line. Leading blanks are dropped so that
// an indented key is read as a key and not as the continuation of the one above,
// and a line too long for the parser's buffer is cut short instead of being
// split into lines that were never written.
struct LineFeed {
  std::string_view rest;
};

char* NextLine(char* out, int size, void* stream) {
  auto* feed = static_cast<LineFeed*>(stream);
  if (feed->rest.empty() || size < 2) return nullptr;
  const std::size_t end = std::min(feed->rest.find('\n'), feed->rest.size());
  std::string_view line = feed->rest.substr(0, end);
  feed->rest.remove_prefix(std::min(end + 1, feed->rest.size()));
  const std::size_t start = line.find_first_not_of(" \t\r\v\f");
  line.remove_prefix(std::min(start, line.size()));
  const std::size_t kept = std::min(line.size(), static_cast<std::size_t>(size - 2));
  std::memcpy(out, line.data(), kept);
  out[kept] = '\n';
  out[kept + 1] = '\0';
  return out;
}

// Fills in the first values of the wanted keys; a file that cannot be read
// leaves them all missing.
void ReadKeys(const std::filesystem::path& file, std::span<WantedKey> keys) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LineFeed feed{text};
  // Malformed lines are skipped, as the package's own reader skips them.
  (void)ini_parse_stream(&NextLine, &feed, &CollectFirstValues, &keys);
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

GridSizeRead ReadGridSize(const std::filesystem::path& modelFile) {
  std::array<WantedKey, 3> keys{{{"DIMENSION", "NX", std::nullopt},
                                  {"DIMENSION", "NY", std::nullopt},
                                  {"DIMENSION", "NZ", std::nullopt}}};
  ReadKeys(modelFile, keys);
  const std::array<int, 3> defaults{kDefaultGrid.nx, kDefaultGrid.ny, kDefaultGrid.nz};
  std::array<int, 3> sizes{};
  for (std::size_t i = 0; i < 3; ++i) {
    const WantedKey& k = keys[i];
    const std::optional<std::int64_t> number = k.firstValue ? LeadingInteger(*k.firstValue) : std::nullopt;
    if (!number) {
      sizes[i] = defaults[i];
    } else if (*number < kInt16Min || *number > kInt16Max) {
      return UnfitDimension{std::string(k.key), *k.firstValue};
    } else {
      sizes[i] = static_cast<int>(*number);
    }
  }
  return GridSize{sizes[0], sizes[1], sizes[2]};
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace kv

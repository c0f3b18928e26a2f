// Names of the files kept beside a data file (its journal, lock, temporary
// copies). A folder entry holds at most 255 bytes, so "<name><suffix>" does not
// fit for a long name. Such a name is cut at a character boundary and marked
// with a hash of the whole name: the result fits, is the same on every call
// (every command finds the same journal) and differs for names that differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zuduradu/core/storage/le_bytes.h"

namespace kv {

inline constexpr std::size_t kLongestFileName = 255;

// The name of a side file of the file named `name` (UTF-8, no folder): `name`
// followed by `suffix`, with `reserve` bytes left free for an ending the caller
// adds (such as eight random hex digits).
inline std::string SideFileName(std::string_view name, std::string_view suffix, std::size_t reserve = 0) {
  if (name.size() + suffix.size() + reserve <= kLongestFileName) return std::string(name) + std::string(suffix);
  const std::uint64_t h = Fnv1a({reinterpret_cast<const unsigned char*>(name.data()), name.size()});
  constexpr char kHex[] = "0123456789abcdef";
  std::string mark = "~";
  for (int shift = 60; shift >= 0; shift -= 4) mark += kHex[(h >> shift) & 0xF];
  const std::size_t fixed = suffix.size() + reserve + mark.size();
  const std::size_t room = fixed < kLongestFileName ? kLongestFileName - fixed : 0;
  std::size_t keep = room < name.size() ? room : name.size();
  // Not in the middle of a UTF-8 sequence: back off over continuation bytes.
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return std::string(name.substr(0, keep)) + mark + std::string(suffix);
}

}  // namespace kv

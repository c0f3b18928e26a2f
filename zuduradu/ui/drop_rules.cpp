#include "zuduradu/ui/drop_rules.h"

#include <algorithm>
#include <cctype>

namespace kv::ui {

bool IsModelFile(std::string_view path) {
  constexpr std::string_view ext = ".kv5";
  if (path.size() < ext.size()) return false;
  return std::equal(ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::optional<int> RowForDrop(std::optional<int> rowUnderPointer, std::string_view path, bool fileExists) {
  if (!fileExists) return std::nullopt;
  if (rowUnderPointer == kInputRow || rowUnderPointer == kOutputRow) return rowUnderPointer;
  if (IsModelFile(path)) return kModelRow;
  return std::nullopt;
}

}  // namespace kv::ui

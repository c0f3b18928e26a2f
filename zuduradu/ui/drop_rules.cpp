#include "zuduradu/ui/drop_rules.h"

#include "zuduradu/core/ascii.h"

namespace kv::ui {

bool IsModelFile(std::string_view path) {
  constexpr std::string_view ext = ".kv5";
  return path.size() >= ext.size() && kv::EqualsIgnoringAsciiCase(path.substr(path.size() - ext.size()), ext);
}

std::optional<int> RowForDrop(std::optional<int> rowUnderPointer, std::string_view path, bool fileExists) {
  if (!fileExists) return std::nullopt;
  if (rowUnderPointer == kInputRow || rowUnderPointer == kOutputRow) return rowUnderPointer;
  if (IsModelFile(path)) return kModelRow;
  return std::nullopt;
}

}  // namespace kv::ui

// Which path row takes a file dropped on the window.
#pragma once

#include <optional>
#include <string_view>

namespace kv::ui {

inline constexpr int kModelRow = 0;
inline constexpr int kInputRow = 1;
inline constexpr int kOutputRow = 2;

// True when the path ends in ".kv5", in any case.
bool IsModelFile(std::string_view path);

// The row that takes a dropped file: the row under the pointer, as if the file
// had been chosen in that row's dialog (the model row takes only model files),
// or the model row for a model file dropped anywhere else. Nothing when the file
// does not exist or no row takes it.
std::optional<int> RowForDrop(std::optional<int> rowUnderPointer, std::string_view path, bool fileExists);

}  // namespace kv::ui

// Paths between Qt and the core: the core holds them as UTF-8 strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "zuduradu/core/model/model_paths.h"

namespace kv::ui {

inline std::string ToCore(const QString& text) { return text.toStdString(); }

inline QString FromCore(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A path chosen in a dialog or dropped on the window, in the case the model's
// paths use: lower-cased where file names ignore case, as the model path is.
std::string InPathCase(std::string_view path, kv::PathCase pathCase = kv::NativePathCase());

}  // namespace kv::ui

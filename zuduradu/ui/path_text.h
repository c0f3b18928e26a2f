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

// The text of a message with its paths kept together. A path is a run from a
// root ("/", "\\", "c:\") to the next blank, going on over blanks that lead
// to a further separator. A path of up to kWholePath characters never breaks; a
// longer one breaks only after its separators, never after its root; the line
// may still break at the blank before it. Blanks inside a path are shown as
// no-break spaces.
inline constexpr int kWholePath = 60;
QString WithPathBreaks(const QString& text);

// A path chosen in a dialog or dropped on the window, in the case the model's
// paths use: lower-cased where file names ignore case, as the model path is.
std::string InPathCase(std::string_view path, kv::PathCase pathCase = kv::NativePathCase());

}  // namespace kv::ui

// Whether a file dialog may hand a chosen path back. Some platforms' dialogs do
// not enforce these rules themselves, so the choice is checked once more after
// the dialog closed.
#pragma once

#include <QString>

namespace kv::ui {

enum class DialogKind { Open, Save };

// Empty when the path may be taken; otherwise what is wrong with it: an open
// dialog takes only an existing file, a save dialog only a name in an existing
// folder.
QString DialogChoiceProblem(DialogKind kind, const QString& path);

}  // namespace kv::ui

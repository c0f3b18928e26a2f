// The file type filters of the browse dialogs. The window writes each as one
// text, descriptions and patterns alternating between "|" and patterns between
// ";" ("Data (*.dat; *.xyz)|*.dat;*.xyz|..."); QFileDialog wants one entry per
// type, "description (pattern pattern)".
#pragma once

#include <QStringList>

namespace kv::ui {

// One QFileDialog name filter per description. Each keeps its description as
// written and gets its own patterns appended in parentheses, blank-separated;
// Qt reads the patterns from the last parenthesised group, so a list inside the
// description does not disturb them, and a dialog that hides filter details
// shows the description alone. "*.*" becomes "*", so that files without an
// extension also count as "All Files". A description without a pattern is
// dropped.
QStringList QtNameFilters(const QString& pipeFilter);

}  // namespace kv::ui

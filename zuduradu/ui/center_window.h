// Placing the window in the middle of the screen before it is first shown.
#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace kv::ui {

// The position of a window in the middle of a rectangle of the parent's size
// that starts at 0, 0: half the difference of the sizes, truncated toward zero,
// so a window larger than its parent gets a negative position. The parent's own
// left and top are not added. The results are kept in the 16-bit range.
QPoint CenteredPosition(QSize parent, QSize window);

// Moves the window to CenteredPosition within its parent widget, or within the
// primary screen when it has none. The size is unchanged.
void CenterWindow(QWidget& window);

}  // namespace kv::ui

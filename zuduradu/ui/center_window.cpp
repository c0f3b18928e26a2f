#include "zuduradu/ui/center_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <limits>

namespace kv::ui {

namespace {

int HalfDifference(int outer, int inner) {
  const int half = (outer - inner) / 2;  // C++ division truncates toward zero
  return std::clamp(half, int{std::numeric_limits<std::int16_t>::min()},
                    int{std::numeric_limits<std::int16_t>::max()});
}

}  // namespace

QPoint CenteredPosition(QSize parent, QSize window) {
  return {HalfDifference(parent.width(), window.width()), HalfDifference(parent.height(), window.height())};
}

void CenterWindow(QWidget& window) {
  QSize parent;
  if (const QWidget* owner = window.parentWidget()) {
    parent = owner->frameGeometry().size();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    parent = screen->geometry().size();
  } else {
    return;
  }
  window.move(CenteredPosition(parent, window.frameGeometry().size()));
}

}  // namespace kv::ui

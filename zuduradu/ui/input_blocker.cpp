#include "zuduradu/ui/input_blocker.h"

#include <QApplication>
#include <QEvent>

namespace kv::ui {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

}  // namespace

InputBlocker::InputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }

InputBlocker::~InputBlocker() { qApp->removeEventFilter(this); }

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
  if (!window_ || !IsUserInput(event->type()) || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  return widget == window_ || window_->isAncestorOf(widget);
}

}  // namespace kv::ui

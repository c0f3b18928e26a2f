#include "zuduradu/ui/warning_note.h"

#include <QStyle>
#include <algorithm>

namespace kv::ui {

WarningNote::WarningNote(QWidget* parent) : QWidget(parent), icon_(new QLabel(this)), text_(new QLabel(this)) {
  const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
  icon_->setAccessibleName(tr("Warning"));
  icon_->hide();
  text_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

int WarningNote::iconRoom() const {
  return icon_->pixmap().deviceIndependentSize().toSize().width() + fontMetrics().horizontalAdvance(QLatin1Char(' '));
}

bool WarningNote::FitsWhole(const QString& text, bool warning) const {
  return text_->fontMetrics().horizontalAdvance(text) + (warning ? iconRoom() : 0) <= width();
}

void WarningNote::say(const QString& text, const QString& tip, bool warning) {
  text_->setText(text);
  setToolTip(tip);
  icon_->setVisible(warning && !text.isEmpty());
  arrange();
}

void WarningNote::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  arrange();
}

void WarningNote::arrange() {
  const int textWidth = std::min(width(), text_->fontMetrics().horizontalAdvance(text_->text()) + 1);
  text_->setGeometry(width() - textWidth, 0, textWidth, height());
  const QSize iconSize = icon_->pixmap().deviceIndependentSize().toSize();
  icon_->setGeometry(width() - textWidth - iconRoom(), (height() - iconSize.height()) / 2, iconSize.width(),
                     iconSize.height());
}

}  // namespace kv::ui

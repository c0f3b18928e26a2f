// Files dropped on the converter window: on a path row, taken as if chosen in
// that row's dialog; a model file dropped anywhere else, taken as the model.
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/ui/drop_rules.h"
#include "zuduradu/ui/kvm.h"
#include "zuduradu/ui/kvm_layout.h"
#include "zuduradu/ui/path_text.h"

namespace kv::ui {

std::optional<int> kvm::rowAt(QPoint windowPos) const {
  for (int row = 0; row < 3; ++row) {
    // A row is its step caption, its path box and its browse button, across the tab.
    const QWidget* parts[] = {labels_[layout::kRowLabel[row]], fileTexts_[row], openButtons_[row]};
    QRect band;
    for (const QWidget* part : parts) band |= QRect(part->mapTo(this, QPoint(0, 0)), part->size());
    band.setLeft(tab_->geometry().left());
    band.setRight(tab_->geometry().right());
    if (band.contains(windowPos)) return row;
  }
  return std::nullopt;
}

namespace {

// The one local file being dragged, in the platform's notation.
std::optional<QString> DraggedFile(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1) return std::nullopt;
  const QUrl url = mime->urls().constFirst();
  if (!url.isLocalFile()) return std::nullopt;
  return QDir::toNativeSeparators(url.toLocalFile());
}

bool Exists(const QString& path) { return kv::FileExists(kv::PathFromUtf8(ToCore(path))); }

}  // namespace

std::optional<int> kvm::dropRow(const QDropEvent& event, QString* path) const {
  const std::optional<QString> file = DraggedFile(event.mimeData());
  if (!file) return std::nullopt;
  const auto row = RowForDrop(rowAt(event.position().toPoint()), ToCore(*file), Exists(*file));
  if (row && path != nullptr) *path = *file;
  return row;
}

void kvm::dragEnterEvent(QDragEnterEvent* event) {
  // Any existing file may be wanted by some row; dragMoveEvent decides by place.
  const std::optional<QString> file = DraggedFile(event->mimeData());
  if (file && Exists(*file)) event->acceptProposedAction();
}

void kvm::dragMoveEvent(QDragMoveEvent* event) {
  if (dropRow(*event, nullptr)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void kvm::dropEvent(QDropEvent* event) {
  QString path;
  const auto row = dropRow(*event, &path);
  if (!row || running()) return;
  event->acceptProposedAction();
  take(*row, path);
}

}  // namespace kv::ui

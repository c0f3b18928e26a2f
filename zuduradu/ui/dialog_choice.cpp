#include "zuduradu/ui/dialog_choice.h"

#include <QDir>
#include <QFileInfo>

#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/ui/path_text.h"

namespace kv::ui {

QString DialogChoiceProblem(DialogKind kind, const QString& path) {
  const QFileInfo info(path);
  if (kind == DialogKind::Open) {
    if (kv::FileExists(kv::PathFromUtf8(ToCore(path)))) return {};
    return QDir::toNativeSeparators(path) + QLatin1String("\nFile not found. Check the file name and try again.");
  }
  if (info.isDir()) return QDir::toNativeSeparators(path) + QLatin1String("\nThis is a folder, not a file.");
  if (!info.absoluteDir().exists()) {
    return QDir::toNativeSeparators(info.absolutePath()) +
           QLatin1String("\nThe folder does not exist. Check the path and try again.");
  }
  return {};
}

}  // namespace kv::ui

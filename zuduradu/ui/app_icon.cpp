#include "zuduradu/ui/app_icon.h"

namespace kv::ui {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/kvcvrt/icons/kvcvrt-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace kv::ui

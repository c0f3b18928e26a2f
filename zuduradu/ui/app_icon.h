// The application icon, built into the program so that the window has it also
// when kvcvrt runs from a build folder.
#pragma once

#include <QIcon>

namespace kv::ui {

// Every size the icon is drawn in; Qt picks the nearest for each use.
QIcon AppIcon();

}  // namespace kv::ui

// What the window asks of the desktop: the open and save dialogs, the beep and
// the message boxes. The program uses QtShellServices; tests put a fake in its
// place so that no modal dialog ever waits for a user.
#pragma once

#include <QString>
#include <optional>

#include "zuduradu/ui/raster_place_dialog.h"

namespace kv::ui {

// The caption of the window and of every message box.
inline constexpr char kProgramTitle[] = "ZI5 Rara Roruvorur";

struct DialogRequest {
  QString title;
  QString filter;            // descriptions and patterns alternating between "|"
  QString defaultExtension;  // without the dot; empty for none
  QString folder;            // where the dialog starts
  QString fileName;          // the name it starts with; empty for none
  bool confirmReplace = true;  // a save dialog asks before an existing file is chosen
};

class ShellServices {
 public:
  virtual ~ShellServices() = default;

  // The chosen existing file; nothing when the user cancelled.
  virtual std::optional<QString> ShowOpenDialog(const DialogRequest& request) = 0;
  // The chosen file in an existing folder, replacing a file only when the user
  // agreed; nothing when the user cancelled.
  virtual std::optional<QString> ShowSaveDialog(const DialogRequest& request) = 0;
  // The simple beep that goes before a warning.
  virtual void Beep() = 0;
  // A message box with a warning icon and an OK button.
  virtual void Warn(const QString& text) = 0;
  // A question with Yes and No (No answering Escape and Enter); true for Yes.
  virtual bool Ask(const QString& text) = 0;
  // The period and layer a raster input is stored as (RasterPlaceDialog, for
  // a model of `layers` layers); nothing when the user cancelled.
  virtual std::optional<RasterPlace> AskRasterPlace(const QString& raster, int layers) = 0;
  // A message box with an information icon and an OK button; detail, when not
  // empty, is shown under the text in the platform's smaller informative style.
  virtual void Inform(const QString& text, const QString& detail) = 0;
  // The same message box with a further button named `action` beside OK;
  // true when that button was pressed. Without such a button: Inform, false.
  virtual bool InformWithAction(const QString& text, const QString& detail, const QString& action) {
    (void)action;
    Inform(text, detail);
    return false;
  }
};

}  // namespace kv::ui

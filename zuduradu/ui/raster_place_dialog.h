// The small dialog GO shows for a raster input: a raster is one data set
// without headers of its own, so the user says which period and layer it
// fills (1 and 1 to begin with).
#pragma once

#include <QDialog>

class QDialogButtonBox;
class QSpinBox;

namespace kv::ui {

struct RasterPlace {
  int period = 1;
  int layer = 1;
};

class RasterPlaceDialog : public QDialog {
  Q_OBJECT

 public:
  // `raster` is named in the dialog; the layer goes up to `layers` (the model's NZ).
  RasterPlaceDialog(const QString& raster, int layers, QWidget* parent = nullptr);

  RasterPlace place() const;
  QSpinBox* Period() const { return period_; }
  QSpinBox* Layer() const { return layer_; }
  QDialogButtonBox* Buttons() const { return buttons_; }

 private:
  QSpinBox* period_ = nullptr;
  QSpinBox* layer_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace kv::ui

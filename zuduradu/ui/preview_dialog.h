// The picture of the data in the window: a data set of the matrix input text
// before GO (read against the model's grid, reading no further than the set),
// or a stored layer of the output after a run. It draws the picture kvcvrt-cli
// show draws of the same data, says the value, row and column under the
// pointer, and saves the picture as show writes it. Problems (no model, a text
// that does not fit the grid) are said on the dialog itself.
#pragma once

#include <QDialog>
#include <QImage>
#include <string>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/view/heat_map.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace kv::ui {

class ShellServices;

class PreviewDialog : public QDialog {
  Q_OBJECT

 public:
  // The save dialog and the warnings come from `shell`.
  explicit PreviewDialog(ShellServices& shell, QWidget* parent = nullptr);

  // Shows data set `set` of the input text, read against the model's grid.
  void showInput(const std::string& input, const kv::Settings& settings, int set = 1);
  // Shows layer 1 of the last period with data of its own of a data file
  // (period 1 always has a block, of zeros when no data set named it).
  void showStored(const std::string& dataFile, const kv::GridSize& grid, int typeCode);

  QLabel* Picture() const { return picture_; }
  QLabel* Numbers() const { return numbers_; }
  // The cell under the pointer and its value.
  QLabel* Pointer() const { return pointer_; }
  QPushButton* SaveButton() const { return save_; }
  // The data set, or with a data file the period, and the layer shown.
  QSpinBox* First() const { return first_; }
  QSpinBox* Layer() const { return layer_; }
  // The picture last drawn (null after a problem), and where its parts are.
  const QImage& image() const { return image_; }
  const kv::Raster& raster() const { return raster_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void redraw();
  void draw(std::vector<float> values, const kv::GridSize& grid, const kv::PictureTitle& title, const QString& where);
  void fail(const QString& problem);
  void savePicture();
  void point(const QPoint& at);

  ShellServices& shell_;
  QLabel* caption_ = nullptr;
  QSpinBox* first_ = nullptr;
  QLabel* layerCaption_ = nullptr;
  QSpinBox* layer_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* numbers_ = nullptr;
  QLabel* pointer_ = nullptr;
  QPushButton* save_ = nullptr;
  QImage image_;
  kv::Raster raster_;
  std::vector<float> values_;

  bool stored_ = false;
  std::string path_;
  kv::Settings settings_;
  kv::GridSize grid_;
  int typeCode_ = 0;
  bool redrawing_ = false;
};

}  // namespace kv::ui

// The picture of the data in the window: a data set of the matrix input text
// before GO (read against the model's grid, reading no further than the set),
// or a stored layer of the output after a run. It uses the pictures and
// numbers of the core, as kvcvrt-cli show does; problems (no model, a text that
// does not fit the grid) are said on the dialog itself.
#pragma once

#include <QDialog>
#include <QImage>
#include <string>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/model/settings.h"

class QLabel;
class QSpinBox;

namespace kv::ui {

class PreviewDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PreviewDialog(QWidget* parent = nullptr);

  // Shows data set `set` of the input text, read against the model's grid.
  void showInput(const std::string& input, const kv::Settings& settings, int set = 1);
  // Shows layer 1 of the last period with data of its own of a data file
  // (period 1 always has a block, of zeros when no data set named it).
  void showStored(const std::string& dataFile, const kv::GridSize& grid, int typeCode);

  QLabel* Picture() const { return picture_; }
  QLabel* Numbers() const { return numbers_; }
  // The data set, or with a data file the period, and the layer shown.
  QSpinBox* First() const { return first_; }
  QSpinBox* Layer() const { return layer_; }
  // The picture last drawn (null after a problem).
  const QImage& image() const { return image_; }

 private:
  void redraw();
  void draw(const std::vector<float>& values, const kv::GridSize& grid, const std::string& title,
            const QString& where);
  void fail(const QString& problem);

  QLabel* caption_ = nullptr;
  QSpinBox* first_ = nullptr;
  QLabel* layerCaption_ = nullptr;
  QSpinBox* layer_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* numbers_ = nullptr;
  QImage image_;

  bool stored_ = false;
  std::string path_;
  kv::Settings settings_;
  kv::GridSize grid_;
  int typeCode_ = 0;
  bool redrawing_ = false;
};

}  // namespace kv::ui

#include "zuduradu/ui/preview_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/core/view/stored_layers.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

namespace {

QString Number(double v) { return QString::number(v, 'g', 7); }

}  // namespace

PreviewDialog::PreviewDialog(ShellServices& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
  setObjectName(QStringLiteral("preview"));
  setWindowTitle(tr("Preview") + QStringLiteral(" - ") + QString::fromUtf8(kProgramTitle));
  caption_ = new QLabel(this);
  first_ = new QSpinBox(this);
  first_->setRange(1, kInt16Max);
  layerCaption_ = new QLabel(tr("Layer:"), this);
  layer_ = new QSpinBox(this);
  layer_->setRange(1, kInt16Max);
  caption_->setBuddy(first_);
  layerCaption_->setBuddy(layer_);
  // A number typed into a box is taken with Enter (or on leaving it), not
  // at every key; Enter shows that set rather than closing the dialog.
  for (QSpinBox* box : {first_, layer_}) {
    box->setKeyboardTracking(false);
    box->installEventFilter(this);
  }
  picture_ = new QLabel(this);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMouseTracking(true);
  picture_->installEventFilter(this);
  pointer_ = new QLabel(this);
  pointer_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  numbers_ = new QLabel(this);
  numbers_->setWordWrap(true);
  numbers_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  save_ = buttons->addButton(tr("Save picture…"), QDialogButtonBox::ActionRole);
  save_->setToolTip(tr("Write this picture as a PNG file, as kvcvrt-cli show writes it"));
  for (QAbstractButton* button : buttons->buttons()) {
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
  }
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, &PreviewDialog::savePicture);

  auto* choice = new QHBoxLayout;
  choice->addWidget(caption_);
  choice->addWidget(first_);
  choice->addSpacing(12);
  choice->addWidget(layerCaption_);
  choice->addWidget(layer_);
  choice->addStretch();
  auto* column = new QVBoxLayout(this);
  column->addLayout(choice);
  column->addWidget(picture_, 1);
  column->addWidget(pointer_);
  column->addWidget(numbers_);
  column->addWidget(buttons);

  connect(first_, &QSpinBox::valueChanged, this, &PreviewDialog::redraw);
  connect(layer_, &QSpinBox::valueChanged, this, &PreviewDialog::redraw);
}

void PreviewDialog::showInput(const std::string& input, const kv::Settings& settings, int set) {
  stored_ = false;
  path_ = input;
  settings_ = settings;
  caption_->setText(tr("Data set:"));
  layerCaption_->hide();
  layer_->hide();
  redrawing_ = true;
  first_->setValue(set);
  redrawing_ = false;
  redraw();
  show();
  raise();
}

void PreviewDialog::showStored(const std::string& dataFile, const kv::GridSize& grid, int typeCode) {
  stored_ = true;
  path_ = dataFile;
  grid_ = grid;
  typeCode_ = typeCode;
  caption_->setText(tr("Period:"));
  layerCaption_->show();
  layer_->show();
  int period = 1;
  try {
    const kv::PeriodTable periods = kv::LoadPeriodTables(kv::PathFromUtf8(dataFile));
    for (int p = 1; p <= kPeriodCount; ++p) {
      if (periods[static_cast<std::size_t>(p - 1)] == kOwnData) period = p;
    }
  } catch (const kv::Error&) {
    // Said by redraw, which reads the same file.
  }
  redrawing_ = true;
  first_->setValue(period);
  layer_->setValue(1);
  redrawing_ = false;
  redraw();
  show();
  raise();
}

void PreviewDialog::redraw() {
  if (redrawing_) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    if (stored_) {
      const kv::PeriodValues read =
          kv::ReadPeriodValues(kv::PathFromUtf8(path_), grid_, typeCode_, first_->value(), layer_->value());
      draw(read.values, grid_,
           kv::StoredTitle(kv::PathFromUtf8(path_), typeCode_, first_->value(), read.source, layer_->value()),
           tr("Period %1, layer %2 of %3").arg(first_->value()).arg(layer_->value()).arg(FromCore(path_)));
    } else if (settings_.ModelPath.empty()) {
      fail(tr("Please select a KV Model."));
    } else if (const std::string refusal = kv::ModelRefusal(settings_); !refusal.empty()) {
      fail(FromCore(refusal));
    } else if (const std::string problem = kv::InputProblem(kv::PathFromUtf8(path_), false); !problem.empty()) {
      fail(FromCore(problem));
    } else if (const kv::InputSource raster{kv::PathFromUtf8(path_), false, 1, 1, 1, std::nullopt};
               kv::KindOf(raster) != kv::InputKind::MatrixText) {
      // A raster is one data set: its values as they would be stored.
      const kv::GridSize grid = settings_.Grid();
      const auto input = kv::OpenSets(raster, kv::ReadOptions{0, 0, grid});
      std::vector<float> values(static_cast<std::size_t>(kv::CellsPerLayer(grid)));
      input->sets().ReadValues(values, 1);
      draw(std::move(values), grid, kv::PictureTitle{"Raster", kv::PathText(raster.path.filename())},
           tr("The raster %1").arg(FromCore(path_)));
    } else {
      const kv::GridSize grid = settings_.Grid();
      kv::FileSource source(kv::PathFromUtf8(path_));
      kv::MatrixSet set = kv::ReadMatrixSet(source, kv::PathFromUtf8(path_), grid, first_->value());
      const kv::PictureTitle title = kv::TextSetTitle(kv::PathFromUtf8(path_), std::nullopt, set.set, set.setCount,
                                                      set.period, set.layer);
      draw(std::move(set.values), grid, title,
           tr("Data set %1 of %2: period %3, layer %4").arg(set.set).arg(set.setCount).arg(set.period).arg(set.layer));
    }
  } catch (const kv::Error& e) {
    fail(FromCore(e.what()));
  }
  QApplication::restoreOverrideCursor();
}

void PreviewDialog::draw(std::vector<float> values, const kv::GridSize& grid, const kv::PictureTitle& title,
                         const QString& where) {
  raster_ = kv::DrawHeatMap(values, grid.nx, grid.ny, {}, title);
  values_ = std::move(values);
  image_ = QImage(raster_.rgb.data(), raster_.width, raster_.height, raster_.width * 3, QImage::Format_RGB888).copy();
  picture_->setPixmap(QPixmap::fromImage(image_));
  pointer_->setText(tr("Point at a cell to see its value."));
  save_->setEnabled(true);
  const kv::LayerStats s = kv::StatsOf(values_);
  numbers_->setText(where + QStringLiteral(".\n") +
                    tr("Min %1, max %2, mean %3.").arg(Number(s.min), Number(s.max), Number(s.mean)) +
                    QStringLiteral("\n") +
                    tr("Read against the grid of %1 columns × %2 rows × %3 %4.")
                        .arg(grid.nx)
                        .arg(grid.ny)
                        .arg(grid.nz)
                        .arg(grid.nz == 1 ? tr("layer") : tr("layers")));
  adjustSize();
}

void PreviewDialog::fail(const QString& problem) {
  image_ = QImage();
  raster_ = {};
  values_.clear();
  picture_->clear();
  pointer_->clear();
  save_->setEnabled(false);
  numbers_->setText(problem);
  adjustSize();
}

bool PreviewDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == picture_ && event->type() == QEvent::MouseMove) {
    point(static_cast<QMouseEvent*>(event)->position().toPoint());
  } else if (watched == picture_ && event->type() == QEvent::Leave && !image_.isNull()) {
    pointer_->setText(tr("Point at a cell to see its value."));
  } else if (event->type() == QEvent::KeyPress && (watched == first_ || watched == layer_)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      static_cast<QSpinBox*>(watched)->interpretText();  // a changed number redraws
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// The cell under the pointer, from the label's point to the picture's pixel.
void PreviewDialog::point(const QPoint& at) {
  if (image_.isNull()) return;
  const QRect shown = QStyle::alignedRect(picture_->layoutDirection(), picture_->alignment(), image_.size(),
                                          picture_->contentsRect());
  const QPoint pixel = at - shown.topLeft();
  const std::optional<kv::Raster::Cell> cell = raster_.CellAt(pixel.x(), pixel.y());
  if (!cell) {
    pointer_->setText(tr("Point at a cell to see its value."));
    return;
  }
  const float v = values_[static_cast<std::size_t>(cell->row - 1) * static_cast<std::size_t>(raster_.nx) +
                          static_cast<std::size_t>(cell->column - 1)];
  pointer_->setText(tr("Row %1, column %2: %3")
                        .arg(cell->row)
                        .arg(cell->column)
                        .arg(kv::IsNoDataCell(v, std::nullopt) ? tr("no data") : FromCore(kv::ShortestText(v))));
}

void PreviewDialog::savePicture() {
  if (image_.isNull()) return;
  DialogRequest request{tr("Save picture"), QStringLiteral("PNG pictures (*.png)|*.png"), QStringLiteral("png"),
                        FromCore(kv::PathText(kv::PathFromUtf8(path_).parent_path())), {}, true};
  const std::optional<QString> chosen = shell_.ShowSaveDialog(request);
  if (!chosen) return;
  try {
    kv::WritePng(raster_, kv::PathFromUtf8(ToCore(*chosen)));
  } catch (const kv::Error& e) {
    shell_.Beep();
    shell_.Warn(FromCore(e.what()));
  }
}

}  // namespace kv::ui

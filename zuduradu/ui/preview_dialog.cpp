#include "zuduradu/ui/preview_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/core/view/stored_layers.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

namespace {

QString Number(double v) { return QString::number(v, 'g', 7); }

}  // namespace

PreviewDialog::PreviewDialog(QWidget* parent) : QDialog(parent) {
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
  picture_ = new QLabel(this);
  picture_->setAlignment(Qt::AlignCenter);
  numbers_ = new QLabel(this);
  numbers_->setWordWrap(true);
  numbers_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

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
      const std::string name = kv::PathText(kv::PathFromUtf8(path_).filename());
      draw(read.values, grid_,
           name + "  period " + std::to_string(first_->value()) + "  layer " + std::to_string(layer_->value()) +
               "  type " + std::to_string(typeCode_) + " (" + std::string(kv::ExtensionFor(typeCode_)) + ")",
           tr("Period %1, layer %2 of %3").arg(first_->value()).arg(layer_->value()).arg(FromCore(path_)));
    } else if (settings_.ModelPath.empty()) {
      fail(tr("Please select a KV Model."));
    } else if (const std::string refusal = kv::ModelRefusal(settings_); !refusal.empty()) {
      fail(FromCore(refusal));
    } else if (const std::string problem = kv::InputProblem(kv::PathFromUtf8(path_), false); !problem.empty()) {
      fail(FromCore(problem));
    } else {
      const kv::GridSize grid = settings_.Grid();
      kv::FileSource source(kv::PathFromUtf8(path_));
      const kv::MatrixSet set = kv::ReadMatrixSet(source, kv::PathFromUtf8(path_), grid, first_->value());
      const std::string name = kv::PathText(kv::PathFromUtf8(path_).filename());
      draw(set.values, grid,
           name + "  set " + std::to_string(set.set) + " of " + std::to_string(set.setCount) + "  period " +
               std::to_string(set.period) + "  layer " + std::to_string(set.layer),
           tr("Data set %1 of %2: period %3, layer %4").arg(set.set).arg(set.setCount).arg(set.period).arg(set.layer));
    }
  } catch (const kv::Error& e) {
    fail(FromCore(e.what()));
  }
  QApplication::restoreOverrideCursor();
}

void PreviewDialog::draw(const std::vector<float>& values, const kv::GridSize& grid, const std::string& title,
                         const QString& where) {
  const kv::Raster raster = kv::DrawHeatMap(values, grid.nx, grid.ny, std::nullopt, title);
  image_ = QImage(raster.rgb.data(), raster.width, raster.height, raster.width * 3, QImage::Format_RGB888).copy();
  picture_->setPixmap(QPixmap::fromImage(image_));
  const kv::LayerStats s = kv::StatsOf(values);
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
  picture_->clear();
  numbers_->setText(problem);
  adjustSize();
}

}  // namespace kv::ui

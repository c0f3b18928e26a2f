#include "zuduradu/ui/raster_place_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "zuduradu/core/grid.h"
#include "zuduradu/ui/shell_services.h"

namespace kv::ui {

RasterPlaceDialog::RasterPlaceDialog(const QString& raster, int layers, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(tr("%1 is one data set. Store it as:").arg(QFileInfo(raster).fileName()), this);
  layout->addWidget(note);
  auto* form = new QFormLayout;
  period_ = new QSpinBox(this);
  period_->setRange(1, kPeriodCount);
  layer_ = new QSpinBox(this);
  layer_->setRange(1, std::max(1, layers));
  form->addRow(tr("Period:"), period_);
  form->addRow(tr("Layer:"), layer_);
  layout->addLayout(form);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons_);
}

RasterPlace RasterPlaceDialog::place() const { return {period_->value(), layer_->value()}; }

}  // namespace kv::ui

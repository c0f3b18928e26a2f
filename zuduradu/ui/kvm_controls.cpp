// Making the converter window's controls, placing them from the twips table and
// setting their tab order.
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <algorithm>

#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/ui/drop_rules.h"
#include "zuduradu/ui/kvm.h"
#include "zuduradu/ui/kvm_layout.h"
#include "zuduradu/ui/path_text.h"
#include "zuduradu/ui/preview_dialog.h"
#include "zuduradu/ui/run_progress_dialog.h"
#include "zuduradu/ui/warning_note.h"

namespace kv::ui {

namespace {

const char* const kStepCaptions[6] = {
    "Step 1: Open a ZENTA Model",
    "Step 2: Specify an input data file",
    "Step 3: Select the type of the input data",
    "Step 4: Confirm the output filename. ",
    "Step 6: Press GO to process",
    "Step 5: Select an option",
};

const char* const kBrowseTips[3] = {"Choose the model file…", "Choose the matrix input file…",
                                    "Choose the output file…"};

// The rectangle, grown about its middle where the control needs more height in
// the font and style in use than the layout table gives it.
QRect Fitted(QRect rect, const QWidget& widget) {
  const int needed = widget.sizeHint().height();
  if (needed > rect.height()) rect.adjust(0, -(needed - rect.height()) / 2, 0, (needed - rect.height() + 1) / 2);
  return rect;
}

}  // namespace

void kvm::createControls() {
  tab_ = new QTabWidget(this);
  page_ = new QWidget;
  tab_->addTab(page_, tr("Files"));

  QFont bold = font();
  bold.setBold(true);
  for (int i = 0; i < 6; ++i) {
    labels_[i] = new QLabel(QString::fromUtf8(kStepCaptions[i]), page_);
    labels_[i]->setFont(bold);
    labels_[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  for (int row = 0; row < 3; ++row) {
    fileTexts_[row] = new QLineEdit(page_);
    // A file dropped on a path box is taken by the window, as if chosen in the dialog.
    fileTexts_[row]->setAcceptDrops(false);
    openButtons_[row] = new QPushButton(page_);
    openButtons_[row]->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    openButtons_[row]->setToolTip(QString::fromUtf8(kBrowseTips[row]));
    openButtons_[row]->setAccessibleName(openButtons_[row]->toolTip());
    openButtons_[row]->setAutoDefault(true);
    labels_[layout::kRowLabel[row]]->setBuddy(fileTexts_[row]);  // screen readers name the box by its step
  }
  // A hint, not text: whatever is typed or pasted into the empty box is the path.
  fileTexts_[kModelRow]->setPlaceholderText(tr("Open a model first"));

  combo_ = new QComboBox(page_);
  combo_->setEditable(false);
  for (const kv::TypeRow& row : kv::TypeList()) combo_->addItem(FromCore(row.text), row.code);
  labels_[kTypeCaption]->setBuddy(combo_);

  options_[kAppendOption] = new QRadioButton(tr("Append/overwrite data, if output file exists"), page_);
  options_[kCreateOption] = new QRadioButton(tr("Create a new output file. Existing data will be deleted."), page_);

  gridNote_ = new WarningNote(page_);
  for (int row : {kInputRow, kOutputRow}) outsideNotes_[row] = new WarningNote(page_);

  buttons_[kGoButton] = new QPushButton(tr("GO"), this);
  buttons_[kHelpButton] = new QPushButton(tr("Help"), this);
  buttons_[kCloseButton] = new QPushButton(tr("Close"), this);
  buttons_[kGoButton]->setDefault(true);
  buttons_[kCloseButton]->setAutoDefault(true);
  // The Help button stays hidden: the program offers no help.
  buttons_[kHelpButton]->setVisible(false);

  progress_ = new RunProgressDialog(this);

  previewButton_ = new QPushButton(tr("Preview…"), page_);
  previewButton_->setToolTip(tr("Show the first data set of the input as a picture, read against the model's grid"));
  preview_ = new PreviewDialog(shell_, this);

  // The tab's page gets its final place only when the tab widget lays itself
  // out; the controls on it follow then.
  page_->installEventFilter(this);
  installEventFilter(this);
}

// How much wider than the layout table the window is: the path boxes, the
// type list and the grid line take it, the buttons move right by it.
int kvm::extraWidth() const {
  return std::max(0, width() - ToPixels(layout::kClient, PixelsPerTwip(font())).width());
}

void kvm::placeWindowControls() {
  const double scale = PixelsPerTwip(font());
  const QSize base = ToPixels(layout::kClient, scale).size();
  setMinimumSize(base);
  setMaximumHeight(base.height());
  // The window opens at the table's size; afterwards it may be made wider.
  if (!isVisible()) {
    resize(base);
  } else if (width() < base.width() || height() != base.height()) {
    resize(std::max(width(), base.width()), base.height());
  }
  const int extra = extraWidth();
  tab_->setGeometry(ToPixels(layout::kTab, scale).adjusted(0, 0, extra, 0));
  for (int i = 0; i < 3; ++i) {
    buttons_[i]->setGeometry(Fitted(ToPixels(layout::kButton[i], scale), *buttons_[i]).translated(extra, 0));
  }
}

void kvm::placeTabControls() {
  const double scale = PixelsPerTwip(font());
  // Table positions are measured from the tab control, the page lies inside it.
  const QPoint origin = page_->mapTo(tab_, QPoint(0, 0));
  const auto place = [&](QWidget& widget, const Twips& twips) {
    widget.setGeometry(Fitted(ToPixels(twips, scale), widget).translated(-origin));
  };
  for (int i = 0; i < 6; ++i) place(*labels_[i], layout::kLabel[i]);
  const int extra = extraWidth();
  for (int row = 0; row < 3; ++row) {
    place(*fileTexts_[row], layout::kFileText[row]);
    fileTexts_[row]->resize(fileTexts_[row]->width() + extra, fileTexts_[row]->height());
    // Each browse button stands at the right of its box, as high as the box and in line with it.
    const QRect box = fileTexts_[row]->geometry();
    const QRect button = ToPixels(layout::kOpenButton[row], scale).translated(-origin);
    openButtons_[row]->setGeometry(button.x() + extra, box.y(), button.width(), box.height());
  }
  // The type list grows downwards only, keeping its distance to step 3's caption.
  place(*combo_, layout::kCombo);
  combo_->move(combo_->x(), ToPixels(layout::kCombo, scale).translated(-origin).top());
  combo_->resize(combo_->width() + extra, combo_->height());
  // Each option button takes the whole pitch of the pair: the table's 195
  // twips are less than an option button needs in most styles, and growing
  // both about their middles would make them overlap.
  for (int i = 0; i < 2; ++i) {
    Twips option = layout::kOption[i];
    option.height = layout::kOption[kCreateOption].top - layout::kOption[kAppendOption].top;
    options_[i]->setGeometry(ToPixels(option, scale).translated(-origin));
  }

  // The grid line fills step 1's row from after its caption to the browse button's right edge.
  const QRect step1 = labels_[kModelCaption]->geometry();
  const int gap = labels_[kModelCaption]->fontMetrics().horizontalAdvance(QLatin1Char('M'));
  const int left =
      step1.left() + labels_[kModelCaption]->fontMetrics().horizontalAdvance(labels_[kModelCaption]->text()) + gap;
  const int right = openButtons_[kModelRow]->geometry().right();
  gridNote_->setGeometry(left, step1.top(), right - left + 1, step1.height());
  // Preview sits on step 2's caption row, ending where the browse buttons end.
  const QRect step2 = labels_[kInputCaption]->geometry();
  const int previewWidth = previewButton_->sizeHint().width();
  const int previewHeight =
      std::min(step2.height(), fileTexts_[kInputRow]->y() - step2.top() - 1);  // clear of the box below
  previewButton_->setGeometry(right - previewWidth + 1, step2.top(), previewWidth, previewHeight);
  // The notes on a path outside the model's folder fill their caption rows after the caption.
  const auto afterCaption = [&](const QLabel& caption) {
    return caption.x() + caption.fontMetrics().horizontalAdvance(caption.text()) + gap;
  };
  outsideNotes_[kInputRow]->setGeometry(afterCaption(*labels_[kInputCaption]), step2.top(),
                                        previewButton_->x() - gap - afterCaption(*labels_[kInputCaption]),
                                        step2.height());
  const QRect step4 = labels_[kOutputCaption]->geometry();
  outsideNotes_[kOutputRow]->setGeometry(afterCaption(*labels_[kOutputCaption]), step4.top(),
                                         right - afterCaption(*labels_[kOutputCaption]) + 1, step4.height());
  showGrid();
}

void kvm::setTabOrder() {
  QWidget* const order[] = {buttons_[kGoButton],
                            fileTexts_[kModelRow],
                            openButtons_[kModelRow],
                            fileTexts_[kInputRow],
                            openButtons_[kInputRow],
                            combo_,
                            fileTexts_[kOutputRow],
                            openButtons_[kOutputRow],
                            options_[kAppendOption],
                            options_[kCreateOption],
                            buttons_[kCloseButton],
                            buttons_[kHelpButton],
                            tab_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
  QWidget::setTabOrder(openButtons_[kInputRow], previewButton_);
}

bool kvm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this && event->type() == QEvent::Resize) placeWindowControls();
  if (watched == page_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) placeTabControls();
  return QWidget::eventFilter(watched, event);
}

}  // namespace kv::ui

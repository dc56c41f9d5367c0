#include "gui/SpecDlg.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyle>

#include "writers/ImageWriters.h"

namespace rastra {

namespace {

struct PaletteChoice {
  FormatChoice choice;
  int maxColors;
};

constexpr PaletteChoice kPaletteChoices[] = {
    {{QT_TRANSLATE_NOOP("SpecDlg", "1 bit per pixel"), 1}, 2},
    {{QT_TRANSLATE_NOOP("SpecDlg", "2 bit per pixel"), 2}, 4},
    {{QT_TRANSLATE_NOOP("SpecDlg", "4 bit per pixel"), 4}, 16},
    {{QT_TRANSLATE_NOOP("SpecDlg", "8 bit per pixel"), 5}, 256},
    {{QT_TRANSLATE_NOOP("SpecDlg", "Compressed, RLE4"), 6}, 16},
    {{QT_TRANSLATE_NOOP("SpecDlg", "Compressed, RLE8"), 7}, 256},
};

constexpr FormatChoice kBothVariants = {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha, (Both variants)"), 99};

constexpr FormatChoice kOpaqueChoices[] = {
    // Each pixel takes 16 bits, as the size report and the command line say.
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_12)"), 19},
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_12), red and blue swapped"), 20},
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_12_1)"), 21},
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_12_1), red and blue swapped"), 22},
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_16)"), 23},
    {QT_TRANSLATE_NOOP("SpecDlg", "16bpp (444_16), red and blue swapped"), 24},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (555)"), 10},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (555), red and blue swapped"), 11},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (565)"), 8},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (565), red and blue swapped"), 9},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (565), compressed"), 12},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color (565), red and blue swapped, compressed"), 13},
    {QT_TRANSLATE_NOOP("SpecDlg", "True color 24bpp"), 17},
    {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha"), 16},
    {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha, r/b swapped, alpha inverted"), 29},
};

constexpr FormatChoice kAlphaChoicesBeforeBoth[] = {
    {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha"), 16},
    {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha, r/b swapped, alpha inverted"), 29},
    {QT_TRANSLATE_NOOP("SpecDlg", "True color with alpha, compressed"), 15},
};

constexpr FormatChoice kAlphaChoicesAfterBoth[] = {
    {QT_TRANSLATE_NOOP("SpecDlg", "Alpha channel, compressed"), 18},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color with Alpha(555)"), 25},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color with Alpha(555), red and blue swapped"), 26},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color with Alpha(565)"), 27},
    {QT_TRANSLATE_NOOP("SpecDlg", "High color with Alpha(565), red and blue swapped"), 28},
};

// The FORMAT the command line takes when none is given: the smallest palette
// format the palette fits, else high colour, or true colour with alpha.
int FittingFormat(int numColors, bool hasAlpha) {
  if (numColors == 0) return hasAlpha ? 16 : 8;
  if (numColors <= 2) return 1;
  if (numColors <= 4) return 2;
  if (numColors <= 16) return 4;
  return 5;
}

}  // namespace

std::vector<FormatChoice> FormatChoices(int numColors, bool hasAlpha, int type) {
  std::vector<FormatChoice> choices;
  if (numColors > 0) {
    for (const PaletteChoice& p : kPaletteChoices)
      if (numColors <= p.maxColors) choices.push_back(p.choice);
  }
  const bool bothVariants = type == kOutputCBitmap;  // a stream holds one variant only
  if (!hasAlpha) {
    choices.insert(choices.end(), std::begin(kOpaqueChoices), std::end(kOpaqueChoices));
    if (bothVariants) choices.push_back(kBothVariants);
  } else {
    choices.insert(choices.end(), std::begin(kAlphaChoicesBeforeBoth), std::end(kAlphaChoicesBeforeBoth));
    if (bothVariants) choices.push_back(kBothVariants);
    choices.insert(choices.end(), std::begin(kAlphaChoicesAfterBoth), std::end(kAlphaChoicesAfterBoth));
  }
  return choices;
}

QString FormatChoiceText(int format) {
  for (const bool alpha : {false, true}) {
    for (const FormatChoice& choice : FormatChoices(2, alpha, kOutputCBitmap)) {
      if (choice.format != format) continue;
      return QCoreApplication::translate("SpecDlg", choice.text);
    }
  }
  return QCoreApplication::translate("SpecDlg", "FORMAT %1").arg(format);
}

SpecDlg::SpecDlg(const Bitmap& image, SpecResult& result, QWidget* parent)
    : QDialog(parent),
      result_(result),
      list_(new QListWidget(this)),
      withoutPalette_(new QCheckBox(tr("&Without palette"), this)),
      ok_(new QPushButton(tr("Ok"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Format specifications"));
  const int fitting = FittingFormat(image.NumColors, image.HasAlpha != 0);
  for (const FormatChoice& choice : FormatChoices(image.NumColors, image.HasAlpha != 0, result.type)) {
    auto* item = new QListWidgetItem(QCoreApplication::translate("SpecDlg", choice.text), list_);
    item->setData(Qt::UserRole, choice.format);
    // The row that suits the picture is chosen already, so OK and Enter take
    // it at once.
    if (choice.format == fitting && list_->currentItem() == nullptr) list_->setCurrentItem(item);
  }
  if (list_->currentItem() == nullptr && list_->count() > 0) list_->setCurrentRow(0);
  // Every text whole, without a horizontal scroll bar.
  list_->setMinimumWidth(list_->sizeHintForColumn(0) + 2 * list_->frameWidth() +
                         list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
  ok_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addSpacerItem(new QSpacerItem(10, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->setAlignment(Qt::AlignRight);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Select format"), this));
  layout->addWidget(list_);
  layout->addWidget(withoutPalette_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::released, this, &SpecDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &SpecDlg::OnButtonCancel);
  connect(list_, &QListWidget::itemDoubleClicked, this, &SpecDlg::OnButtonOk);
}

void SpecDlg::OnButtonOk() {
  const QListWidgetItem* selected = list_->currentItem();
  if (selected == nullptr || !selected->isSelected()) return;  // nothing chosen yet: the press is ignored
  result_.format = selected->data(Qt::UserRole).toInt();
  result_.noPalette = withoutPalette_->isChecked() && withoutPalette_->isEnabled() ? 1 : 0;
  accept();
}

void SpecDlg::OnButtonCancel() { reject(); }

}  // namespace rastra

#include "gui/SpecDlg.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpacerItem>

#include "writers/ImageWriters.h"

namespace {

struct PaletteChoice {
  FormatChoice choice;
  int maxColors;
};

constexpr PaletteChoice kPaletteChoices[] = {
    {{"1 bit per pixel", 1}, 2},    {{"2 bit per pixel", 2}, 4},    {{"4 bit per pixel", 4}, 16},
    {{"8 bit per pixel", 5}, 256},  {{"Compressed, RLE4", 6}, 16}, {{"Compressed, RLE8", 7}, 256},
};

constexpr FormatChoice kBothVariants = {"True color with alpha, (Both variants)", 99};

constexpr FormatChoice kOpaqueChoices[] = {
    {"12bpp (444_12),", 19},
    {"12bpp (M444_12),", 20},
    {"12bpp (444_12_1),", 21},
    {"12bpp (M444_12_1),", 22},
    {"12bpp (444_16),", 23},
    {"12bpp (M444_16),", 24},
    {"High color (555)", 10},
    {"High color (555), red and blue swapped", 11},
    {"High color (565)", 8},
    {"High color (565), red and blue swapped", 9},
    {"High color (565), compressed", 12},
    {"High color (565), red and blue swapped, compressed", 13},
    {"True color 24bpp", 17},
    {"True color with alpha", 16},
    {"True color with alpha, r/b swapped, alpha inverted", 29},
};

constexpr FormatChoice kAlphaChoicesBeforeBoth[] = {
    {"True color with alpha", 16},
    {"True color with alpha, r/b swapped, alpha inverted", 29},
    {"True color with alpha, compressed", 15},
};

constexpr FormatChoice kAlphaChoicesAfterBoth[] = {
    {"Alpha channel, compressed", 18},
    {"High color with Alpha(555)", 25},
    {"High color with Alpha(555), red and blue swapped", 26},
    {"High color with Alpha(565)", 27},
    {"High color with Alpha(565), red and blue swapped", 28},
};

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

SpecDlg::SpecDlg(const Bitmap& image, SpecResult& result, QWidget* parent)
    : QDialog(parent),
      result_(result),
      list_(new QListWidget(this)),
      withoutPalette_(new QCheckBox("&Without palette", this)),
      ok_(new QPushButton("Ok", this)),
      cancel_(new QPushButton("Cancel", this)) {
  setWindowTitle("Format specifications");
  for (const FormatChoice& choice : FormatChoices(image.NumColors, image.HasAlpha != 0, result.type)) {
    auto* item = new QListWidgetItem(choice.text, list_);
    item->setData(Qt::UserRole, choice.format);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addSpacerItem(new QSpacerItem(10, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->setAlignment(Qt::AlignRight);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Select format", this));
  layout->addWidget(list_);
  layout->addWidget(withoutPalette_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::released, this, &SpecDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &SpecDlg::OnButtonCancel);
}

void SpecDlg::OnButtonOk() {
  const QListWidgetItem* selected = list_->currentItem();
  if (selected == nullptr || !selected->isSelected()) return;  // nothing chosen yet: the press is ignored
  result_.format = selected->data(Qt::UserRole).toInt();
  result_.noPalette = withoutPalette_->isChecked() && withoutPalette_->isEnabled() ? 1 : 0;
  accept();
}

void SpecDlg::OnButtonCancel() { reject(); }

#include "gui/TransDlg.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

namespace rastra {

TransDlg::TransDlg(const Bitmap& image, int& selection, QWidget* parent)
    : QDialog(parent),
      selection_(selection),
      combo_(new QComboBox(this)),
      ok_(new QPushButton(tr("Ok"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Transparency"));
  setWindowFlags(windowFlags() & ~(Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint));
  combo_->setMinimumWidth(180);
  combo_->addItem(tr("No transparency"));
  for (int i = 0; i < image.NumColors; ++i) {
    combo_->addItem(tr("%1: 0x%2").arg(i).arg(Bitmap_GetPalColor(image, i), 6, 16, QChar('0')));
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Color used as transparency:"), this));
  layout->addWidget(combo_);
  layout->addSpacerItem(new QSpacerItem(0, 5, QSizePolicy::Minimum, QSizePolicy::Fixed));
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::released, this, &TransDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &TransDlg::OnButtonCancel);
}

void TransDlg::OnButtonOk() {
  selection_ = combo_->currentIndex();
  accept();
}

void TransDlg::OnButtonCancel() { reject(); }

}  // namespace rastra

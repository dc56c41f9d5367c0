#include "gui/InfoDlg.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace rastra {

InfoDlg::InfoDlg(int usedColors, QWidget* parent) : QDialog(parent), ok_(new QPushButton(tr("Ok"), this)) {
  setWindowTitle(tr("Info"));
  ok_->setFixedSize(ok_->sizeHint());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Number of colors in image: %1").arg(usedColors), this));
  layout->addWidget(ok_, 0, Qt::AlignRight);
  connect(ok_, &QPushButton::released, this, &InfoDlg::OnButtonOk);
}

void InfoDlg::OnButtonOk() { accept(); }

}  // namespace rastra

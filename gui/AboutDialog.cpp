#include "gui/AboutDialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <cstring>

namespace rastra {

namespace {
constexpr const char* kMakerAddress = "https://vantor.example/rastra";
}

QString BuildYear(const char* buildDate) {
  const std::size_t length = std::strlen(buildDate);
  return length >= 4 ? QString::fromLatin1(buildDate + length - 4) : QString();
}

AboutDialog::AboutDialog(const QString& displayName, QWidget* parent)
    : QDialog(parent), ok_(new QPushButton(tr("&OK"), this)) {
  setWindowTitle(tr("About"));
  setModal(true);
  setWindowFlags((windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) &
                 ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(":/rastra/logo.png"));
  auto* heading = new QLabel(
      tr("%1\nCompiled: %2 %3\n%4").arg(displayName, __TIME__, __DATE__, kMakerAddress), this);
  auto* top = new QHBoxLayout;
  top->addWidget(logo, 0, Qt::AlignTop);
  top->addWidget(heading, 1, Qt::AlignTop);

  auto* notice = new QLabel(
      tr("Copyright (c) 1998-%1 Vantor. All rights reserved.\n"
         "The user interface uses the Qt toolkit (version %2),\n"
         "licensed under the GNU Lesser General Public License version 3 (LGPL v3).")
          .arg(BuildYear(__DATE__), qVersion()),
      this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(notice);
  layout->addWidget(ok_, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(ok_, &QPushButton::released, this, &AboutDialog::_Slot_OnBtnOK);
  connect(this, &AboutDialog::_Sig_CloseDlg, this, &AboutDialog::_Slot_OnBtnOK, Qt::QueuedConnection);
}

void AboutDialog::_Slot_OnBtnOK() { close(); }

}  // namespace rastra

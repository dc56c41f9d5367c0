#include "gui/AlphaDlg.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/FileNames.h"

namespace rastra {

namespace {

QString AskOpenFile(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QHBoxLayout* FileRow(QWidget* parent, const QString& label, QLineEdit*& edit, QPushButton*& browse) {
  edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  browse = new QPushButton(AlphaDlg::tr("Browse"), parent);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(label, parent));
  row->addWidget(edit);
  row->addWidget(browse);
  return row;
}

}  // namespace

AlphaDlg::AlphaDlg(QWidget* parent, int mode)
    : QDialog(parent),
      mode_(mode),
      chooseFile_(AskOpenFile),
      ok_(new QPushButton(tr("Ok"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(mode_ == kCreateAlpha ? tr("Create alpha") : tr("Load alpha mask"));
  setWindowFlags(windowFlags() & ~(Qt::WindowContextHelpButtonHint | Qt::WindowMaximizeButtonHint));
  auto* layout = new QVBoxLayout(this);
  if (mode_ == kCreateAlpha) {
    layout->addLayout(FileRow(this, tr("Image1 (*.bmp):"), firstEdit_, firstBrowse_));
    layout->addLayout(FileRow(this, tr("Image2 (*.bmp):"), secondEdit_, secondBrowse_));
  } else {
    layout->addLayout(FileRow(this, tr("Image (*.bmp):"), firstEdit_, firstBrowse_));
  }
  layout->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  connect(firstBrowse_, &QPushButton::released, this, &AlphaDlg::OnButtonBrowse0);
  if (secondBrowse_ != nullptr) connect(secondBrowse_, &QPushButton::released, this, &AlphaDlg::OnButtonBrowse1);
  connect(ok_, &QPushButton::released, this, &AlphaDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &AlphaDlg::OnButtonCancel);
}

std::string AlphaDlg::Browse(const QString& caption, QLineEdit* edit) {
  const QString name = chooseFile_ ? chooseFile_(this, caption, tr("BMP files (*.bmp)")) : QString();
  std::string text = ToFileName(name, kMaxFileName);
  edit->setText(FromFileName(text));
  return text;
}

void AlphaDlg::OnButtonBrowse0() {
  choice_.firstName = Browse(tr("Select first image"), firstEdit_);
  choice_.firstChosen = true;
}

void AlphaDlg::OnButtonBrowse1() {
  if (secondEdit_ == nullptr) return;
  choice_.secondName = Browse(tr("Select second image"), secondEdit_);
  choice_.secondChosen = true;
}

void AlphaDlg::OnButtonOk() { accept(); }
void AlphaDlg::OnButtonCancel() { reject(); }

}  // namespace rastra

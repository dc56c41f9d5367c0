#include "gui/AlphaDlg.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/FileNames.h"
#include "gui/ScreenFit.h"

namespace rastra {

namespace {

QString AskOpenFile(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

// A label above the field, so a long path has the dialog's width.
QVBoxLayout* FileRow(QWidget* parent, const QString& label, QLineEdit*& edit, QPushButton*& browse) {
  edit = new QLineEdit(parent);
  edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
  browse = new QPushButton(AlphaDlg::tr("Browse..."), parent);
  auto* caption = new QLabel(label, parent);
  caption->setBuddy(edit);
  auto* field = new QHBoxLayout;
  field->addWidget(edit, 1);
  field->addWidget(browse);
  auto* row = new QVBoxLayout;
  row->addWidget(caption);
  row->addLayout(field);
  return row;
}

std::string FieldName(const QLineEdit* edit) {
  return edit != nullptr ? ToFileName(edit->text().trimmed()) : std::string();
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
    // The alpha comes from how each pixel differs over the two backgrounds.
    layout->addLayout(FileRow(this, tr("Image1, the picture over a &black background (*.bmp):"), firstEdit_,
                              firstBrowse_));
    layout->addLayout(FileRow(this, tr("Image2, the same picture over a &white background (*.bmp):"), secondEdit_,
                              secondBrowse_));
  } else {
    layout->addLayout(FileRow(this, tr("Image, a grey mask: &black opaque, white transparent (*.bmp):"), firstEdit_,
                              firstBrowse_));
  }
  layout->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  ok_->setDefault(true);
  for (QLineEdit* edit : {firstEdit_, secondEdit_})
    if (edit != nullptr) connect(edit, &QLineEdit::textChanged, this, &AlphaDlg::UpdateOk);
  UpdateOk();
  connect(firstBrowse_, &QPushButton::released, this, &AlphaDlg::OnButtonBrowse0);
  if (secondBrowse_ != nullptr) connect(secondBrowse_, &QPushButton::released, this, &AlphaDlg::OnButtonBrowse1);
  connect(ok_, &QPushButton::released, this, &AlphaDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &AlphaDlg::OnButtonCancel);
}

void AlphaDlg::Browse(const QString& caption, QLineEdit* edit) {
  const QString name = chooseFile_ ? chooseFile_(this, caption, tr("BMP files (*.bmp)")) : QString();
  if (name.isEmpty()) return;
  edit->setText(name);
}

void AlphaDlg::OnButtonBrowse0() {
  Browse(mode_ == kCreateAlpha ? tr("Select first image") : tr("Select alpha mask"), firstEdit_);
}

void AlphaDlg::OnButtonBrowse1() {
  if (secondEdit_ != nullptr) Browse(tr("Select second image"), secondEdit_);
}

AlphaChoice AlphaDlg::Choice() const {
  AlphaChoice choice;
  choice.firstName = FieldName(firstEdit_);
  choice.secondName = FieldName(secondEdit_);
  choice.firstChosen = !choice.firstName.empty();
  choice.secondChosen = !choice.secondName.empty();
  return choice;
}

void AlphaDlg::SetChoice(const AlphaChoice& choice) {
  firstEdit_->setText(FromFileName(choice.firstName));
  if (secondEdit_ != nullptr) secondEdit_->setText(FromFileName(choice.secondName));
}

void AlphaDlg::UpdateOk() {
  const AlphaChoice choice = Choice();
  ok_->setEnabled(choice.firstChosen && (secondEdit_ == nullptr || choice.secondChosen));
}

void AlphaDlg::OnButtonOk() {
  if (ok_->isEnabled()) accept();
}
void AlphaDlg::OnButtonCancel() { reject(); }

}  // namespace rastra

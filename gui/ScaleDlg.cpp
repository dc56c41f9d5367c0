#include "gui/ScaleDlg.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <climits>
#include <cstdint>


namespace rastra {

namespace {

constexpr int kLabelWidth = 60;
constexpr int kEditWidth = 80;
constexpr int kRadioWidth = 60;
constexpr int kMaxFieldValue = 99999;

int FieldValue(const QLineEdit* edit) { return edit->text().toInt(); }

// Keeps percent arithmetic of large images inside an int.
int Saturate(std::int64_t value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

// Towards zero, as the proportional arithmetic wants; a wildly thin image
// must not overflow the conversion.
int Truncate(double value) { return value >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(value); }

QLabel* FixedLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setMinimumWidth(kLabelWidth);
  return label;
}

}  // namespace

ScaleDlg::ScaleDlg(ScaleValues& values, QWidget* parent)
    : QDialog(parent),
      values_(values),
      ratio_(values.imageHeight != 0 ? static_cast<double>(values.imageWidth) / values.imageHeight : 0.0),
      widthEdit_(new QLineEdit(this)),
      heightEdit_(new QLineEdit(this)),
      pixels_(new QRadioButton(tr("&Pixels"), this)),
      percent_(new QRadioButton(tr("&Percent"), this)),
      keep_(new QCheckBox(tr("&Keep Proportions"), this)),
      ok_(new QPushButton(tr("Ok"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Scale Image"));
  for (QLineEdit* edit : {widthEdit_, heightEdit_}) {
    edit->setMinimumWidth(kEditWidth);
    edit->setValidator(new QIntValidator(0, kMaxFieldValue, edit));
  }
  pixels_->setMinimumWidth(kRadioWidth);
  percent_->setMinimumWidth(kRadioWidth);

  // One grid, so both fields line up and have one width whatever the radio
  // buttons beside them say.
  auto* fields = new QGridLayout;
  QLabel* widthLabel = FixedLabel(tr("Width:"), this);
  QLabel* heightLabel = FixedLabel(tr("Height:"), this);
  widthLabel->setBuddy(widthEdit_);
  heightLabel->setBuddy(heightEdit_);
  fields->addWidget(widthLabel, 0, 0);
  fields->addWidget(widthEdit_, 0, 1);
  fields->addWidget(pixels_, 0, 2);
  fields->addWidget(heightLabel, 1, 0);
  fields->addWidget(heightEdit_, 1, 1);
  fields->addWidget(percent_, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Original Size: %1 x %2").arg(values.imageWidth).arg(values.imageHeight), this));
  layout->addLayout(fields);
  layout->addWidget(keep_);
  layout->addLayout(buttons);
  ok_->setDefault(true);

  pixels_->setChecked(true);
  keep_->setChecked(true);
  widthEdit_->setText(QString::number(values.imageWidth));
  heightEdit_->setText(QString::number(values.imageHeight));

  connect(ok_, &QPushButton::released, this, &ScaleDlg::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &ScaleDlg::OnButtonCancel);
  connect(pixels_, &QRadioButton::clicked, this, &ScaleDlg::OnRadioPixel);
  connect(percent_, &QRadioButton::clicked, this, &ScaleDlg::OnRadioPercent);
  // textEdited fires for the user's typing only, so filling the other field
  // does not echo back.
  connect(widthEdit_, &QLineEdit::textEdited, this, &ScaleDlg::OnTextEditX);
  connect(heightEdit_, &QLineEdit::textEdited, this, &ScaleDlg::OnTextEditY);
}

bool ScaleDlg::PercentMode() const { return percent_->isChecked(); }

void ScaleDlg::OnRadioPixel() {
  widthEdit_->setText(QString::number(values_.imageWidth));
  heightEdit_->setText(QString::number(values_.imageHeight));
}

void ScaleDlg::OnRadioPercent() {
  widthEdit_->setText("100");
  heightEdit_->setText("100");
}

void ScaleDlg::OnTextEditX(const QString& text) {
  if (!keep_->isChecked()) return;
  if (PercentMode()) {
    heightEdit_->setText(text);
  } else if (ratio_ > 0) {
    heightEdit_->setText(QString::number(Truncate(FieldValue(widthEdit_) / ratio_)));
  }
}

void ScaleDlg::OnTextEditY(const QString& text) {
  if (!keep_->isChecked()) return;
  if (PercentMode()) {
    widthEdit_->setText(text);
  } else {
    widthEdit_->setText(QString::number(Truncate(FieldValue(heightEdit_) * ratio_)));
  }
}

void ScaleDlg::OnButtonOk() {
  const int width = FieldValue(widthEdit_);
  const int height = FieldValue(heightEdit_);
  if (PercentMode()) {
    values_.newWidth = Saturate(std::int64_t{width} * values_.imageWidth / 100);
    values_.newHeight = Saturate(std::int64_t{height} * values_.imageHeight / 100);
  } else {
    values_.newWidth = width;
    values_.newHeight = height;
  }
  accept();
}

void ScaleDlg::OnButtonCancel() { reject(); }

}  // namespace rastra

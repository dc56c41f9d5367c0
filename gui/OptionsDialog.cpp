#include "gui/OptionsDialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>

#include "gui/ColorField.h"

namespace rastra {

namespace {

bool AskColor(std::uint32_t current, QWidget* parent, std::uint32_t& chosen) {
  const QColor color = QColorDialog::getColor(QColor(static_cast<QRgb>(current)), parent);
  if (!color.isValid()) return false;  // cancelled: the colour stays
  chosen = (static_cast<std::uint32_t>(color.red()) << 16) | (static_cast<std::uint32_t>(color.green()) << 8) |
           static_cast<std::uint32_t>(color.blue());
  return true;
}

std::uint32_t CheckedValue(int state) { return state == Qt::Unchecked ? 0 : 1; }

}  // namespace

OptionsDialog::OptionsDialog(const QString& title, const Settings& values, QWidget* parent)
    : QDialog(parent),
      values_(values),
      chooseColor_(AskColor),
      preserve_(new QCheckBox(tr("P&reserve transparency"), this)),
      endian_(new QCheckBox(tr("Bi&g endian mode"), this)),
      argb_(new QCheckBox(tr("Sa&ve colors in ARGB mode"), this)),
      gamma_(new QCheckBox(tr("&Apply the gamma of PNG files"), this)),
      smooth_(new QCheckBox(tr("&Smooth the chroma of JPEG files"), this)),
      alternate_(new QRadioButton(tr("Alternating &tiled background"), this)),
      tiles_(new QRadioButton(tr("Tiled &background"), this)),
      colored_(new QRadioButton(tr("&Colored background"), this)),
      colorButton_(new QPushButton(tr("Choose Color"), this)),
      swatch_(new ColorField(values.BkColor, this)),
      ok_(new QPushButton(tr("Ok"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(title);
  setWindowFlags(windowFlags() & ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

  auto* settingsColumn = new QVBoxLayout;
  settingsColumn->addWidget(preserve_);
  settingsColumn->addWidget(endian_);
  settingsColumn->addWidget(argb_);
  settingsColumn->addSpacerItem(new QSpacerItem(0, 10, QSizePolicy::Minimum, QSizePolicy::Fixed));
  // How files are read: they take effect from the next picture opened.
  settingsColumn->addWidget(gamma_);
  settingsColumn->addWidget(smooth_);
  settingsColumn->addSpacerItem(new QSpacerItem(0, 10, QSizePolicy::Minimum, QSizePolicy::Fixed));
  settingsColumn->addWidget(new QLabel(tr("Show transparency as:"), this));
  settingsColumn->addWidget(alternate_);
  settingsColumn->addWidget(tiles_);
  settingsColumn->addWidget(colored_);
  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(colorButton_);
  colorRow->addWidget(swatch_);
  settingsColumn->addLayout(colorRow);
  auto* buttonColumn = new QVBoxLayout;
  buttonColumn->addWidget(ok_);
  buttonColumn->addWidget(cancel_);
  buttonColumn->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(settingsColumn);
  layout->addLayout(buttonColumn);

  preserve_->setChecked(values_.PreserveTrans != 0);
  endian_->setChecked(values_.BigEndianMode != 0);
  argb_->setChecked(values_.UseARGB != 0);
  gamma_->setChecked(values_.PngGamma != 0);
  smooth_->setChecked(values_.SmoothChroma != 0);
  switch (values_.ViewOption) {
    case 0: alternate_->setChecked(true); break;
    case 1: tiles_->setChecked(true); break;
    case 2: colored_->setChecked(true); break;
    default: break;
  }
  EnableColorChoice(values_.ViewOption == 2);
  ok_->setDefault(true);  // Enter takes the settings, as in the other dialogs

  connect(ok_, &QPushButton::released, this, &OptionsDialog::OnButtonOk);
  connect(cancel_, &QPushButton::released, this, &OptionsDialog::OnButtonCancel);
  connect(colorButton_, &QPushButton::released, this, &OptionsDialog::OnButtonColor);
  connect(preserve_, &QCheckBox::stateChanged, this, &OptionsDialog::OnCheckPreserve);
  connect(endian_, &QCheckBox::stateChanged, this, &OptionsDialog::OnCheckEndianess);
  connect(argb_, &QCheckBox::stateChanged, this, &OptionsDialog::OnCheckSaveARGB);
  connect(gamma_, &QCheckBox::stateChanged, this, &OptionsDialog::OnCheckPngGamma);
  connect(smooth_, &QCheckBox::stateChanged, this, &OptionsDialog::OnCheckSmoothChroma);
  connect(alternate_, &QRadioButton::toggled, this, &OptionsDialog::OnRadioAlternate);
  connect(tiles_, &QRadioButton::toggled, this, &OptionsDialog::OnRadioTiles);
  connect(colored_, &QRadioButton::toggled, this, &OptionsDialog::OnRadioColored);
}

void OptionsDialog::EnableColorChoice(bool enable) {
  colorButton_->setEnabled(enable);
  swatch_->setEnabled(enable);
}

void OptionsDialog::OnButtonOk() { accept(); }
void OptionsDialog::OnButtonCancel() { reject(); }

void OptionsDialog::OnButtonColor() {
  std::uint32_t chosen = values_.BkColor;
  if (!chooseColor_ || !chooseColor_(values_.BkColor, this, chosen)) return;
  values_.BkColor = chosen & 0xFFFFFF;
  swatch_->SetColor(values_.BkColor);
}

void OptionsDialog::OnCheckPreserve(int state) { values_.PreserveTrans = CheckedValue(state); }
void OptionsDialog::OnCheckEndianess(int state) { values_.BigEndianMode = CheckedValue(state); }
void OptionsDialog::OnCheckSaveARGB(int state) { values_.UseARGB = CheckedValue(state); }
void OptionsDialog::OnCheckPngGamma(int state) { values_.PngGamma = CheckedValue(state); }
void OptionsDialog::OnCheckSmoothChroma(int state) { values_.SmoothChroma = CheckedValue(state); }

void OptionsDialog::OnRadioAlternate(bool on) {
  if (!on) return;
  values_.ViewOption = 0;
  EnableColorChoice(false);
}

void OptionsDialog::OnRadioTiles(bool on) {
  if (!on) return;
  values_.ViewOption = 1;
  EnableColorChoice(false);
}

void OptionsDialog::OnRadioColored(bool on) {
  if (!on) return;
  values_.ViewOption = 2;
  EnableColorChoice(true);
}

}  // namespace rastra

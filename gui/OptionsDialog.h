// The options dialog: the user settings, handed back on "Ok".
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "app/Settings.h"

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace rastra {

class ColorField;

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // Asks for a colour starting at the given one (0x00RRGGBB); false when the
  // user cancelled. Replaceable so the dialog can be driven without a screen.
  using ColorChooser = std::function<bool(std::uint32_t current, QWidget* parent, std::uint32_t& chosen)>;

  OptionsDialog(const QString& title, const Settings& values, QWidget* parent = nullptr);

  // BkColor, ViewOption, PreserveTrans, BigEndianMode, UseARGB, PngGamma and
  // SmoothChroma as chosen.
  const Settings& Values() const { return values_; }
  void SetColorChooser(ColorChooser chooser) { chooseColor_ = std::move(chooser); }

  QCheckBox* PreserveBox() const { return preserve_; }
  QCheckBox* EndianBox() const { return endian_; }
  QCheckBox* ArgbBox() const { return argb_; }
  QCheckBox* GammaBox() const { return gamma_; }
  QCheckBox* SmoothBox() const { return smooth_; }
  QRadioButton* AlternateRadio() const { return alternate_; }
  QRadioButton* TilesRadio() const { return tiles_; }
  QRadioButton* ColoredRadio() const { return colored_; }
  QPushButton* ColorButton() const { return colorButton_; }
  ColorField* Swatch() const { return swatch_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 public slots:
  void OnButtonOk();
  void OnButtonCancel();
  void OnButtonColor();
  void OnCheckPreserve(int state);
  void OnCheckEndianess(int state);
  void OnCheckSaveARGB(int state);
  void OnCheckPngGamma(int state);
  void OnCheckSmoothChroma(int state);
  void OnRadioAlternate(bool on);
  void OnRadioTiles(bool on);
  void OnRadioColored(bool on);

 private:
  void EnableColorChoice(bool enable);

  Settings values_;
  ColorChooser chooseColor_;
  QCheckBox* preserve_;
  QCheckBox* endian_;
  QCheckBox* argb_;
  QCheckBox* gamma_;
  QCheckBox* smooth_;
  QRadioButton* alternate_;
  QRadioButton* tiles_;
  QRadioButton* colored_;
  QPushButton* colorButton_;
  ColorField* swatch_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace rastra

// The scale dialog: a new size in pixels or in percent, optionally keeping
// the proportions of the image.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rastra {

// The caller's record: the image size (read) and the new size (written on "Ok").
struct ScaleValues {
  int imageWidth = 0;
  int imageHeight = 0;
  int newWidth = 0;
  int newHeight = 0;
};

class ScaleDlg : public QDialog {
  Q_OBJECT

 public:
  ScaleDlg(ScaleValues& values, QWidget* parent = nullptr);

  QLineEdit* WidthEdit() const { return widthEdit_; }
  QLineEdit* HeightEdit() const { return heightEdit_; }
  QRadioButton* PixelRadio() const { return pixels_; }
  QRadioButton* PercentRadio() const { return percent_; }
  QCheckBox* KeepProportions() const { return keep_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 public slots:
  void OnButtonOk();
  void OnButtonCancel();
  void OnRadioPixel();
  void OnRadioPercent();
  void OnTextEditX(const QString& text);
  void OnTextEditY(const QString& text);

 private:
  bool PercentMode() const;

  ScaleValues& values_;
  double ratio_;  // image width / image height
  QLineEdit* widthEdit_;
  QLineEdit* heightEdit_;
  QRadioButton* pixels_;
  QRadioButton* percent_;
  QCheckBox* keep_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace rastra

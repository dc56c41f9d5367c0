// The transparency dialog: which palette entry becomes the transparent one.
#pragma once

#include <QDialog>

#include "image/Bitmap.h"

class QComboBox;
class QPushButton;

namespace rastra {

class TransDlg : public QDialog {
  Q_OBJECT

 public:
  // selection receives the chosen index on "Ok": 0 no transparency, k >= 1
  // palette entry k - 1.
  TransDlg(const Bitmap& image, int& selection, QWidget* parent = nullptr);

  QComboBox* Combo() const { return combo_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 public slots:
  void OnButtonOk();
  void OnButtonCancel();

 private:
  int& selection_;
  QComboBox* combo_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace rastra

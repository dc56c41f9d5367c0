// Shows how many distinct colours the current image uses.
#pragma once

#include <QDialog>

class QPushButton;

namespace rastra {

class InfoDlg : public QDialog {
  Q_OBJECT

 public:
  InfoDlg(int usedColors, QWidget* parent = nullptr);
  QPushButton* OkButton() const { return ok_; }

 public slots:
  void OnButtonOk();

 private:
  QPushButton* ok_;
};

}  // namespace rastra

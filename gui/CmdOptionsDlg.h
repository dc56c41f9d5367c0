// Shows the command-line help composed from the command table.
#pragma once

#include <QDialog>
#include <QSize>

class QPlainTextEdit;
class QPushButton;

namespace rastra {

class CmdOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CmdOptionsDlg(QWidget* parent = nullptr);
  // As wide as the help's longest line (the screen's fitting cuts it down).
  QSize sizeHint() const override { return preferred_; }

  QPlainTextEdit* Text() const { return text_; }
  QPushButton* OkButton() const { return ok_; }

 public slots:
  void OnButtonOk();

 private:
  QPlainTextEdit* text_;
  QPushButton* ok_;
  QSize preferred_{500, 300};
};

}  // namespace rastra

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
  QSize sizeHint() const override { return {500, 300}; }

  QPlainTextEdit* Text() const { return text_; }
  QPushButton* OkButton() const { return ok_; }

 public slots:
  void OnButtonOk();

 private:
  QPlainTextEdit* text_;
  QPushButton* ok_;
};

}  // namespace rastra

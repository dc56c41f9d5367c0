// The about box: the program, its build and the toolkit it uses.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

namespace rastra {

// The four-digit year of a __DATE__ text ("Mmm dd yyyy").
QString BuildYear(const char* buildDate);

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const QString& displayName, QWidget* parent = nullptr);

  QPushButton* OkButton() const { return ok_; }

 signals:
  void _Sig_CloseDlg();  // NOLINT(bugprone-reserved-identifier): the established name

 public slots:
  void _Slot_OnBtnOK();  // NOLINT(bugprone-reserved-identifier): the established name

 private:
  QPushButton* ok_;
};

}  // namespace rastra

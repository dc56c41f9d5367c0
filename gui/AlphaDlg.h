// Chooses the bitmap files for alpha creation: two renderings of one picture
// (mode 0, over black and over white) or one grey mask (mode 1).
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

namespace rastra {

// What the dialog leaves for the main window: the names in its fields, typed
// or browsed for. A row counts as chosen when its field names a file.
struct AlphaChoice {
  std::string firstName;
  std::string secondName;
  bool firstChosen = false;
  bool secondChosen = false;
};

class AlphaDlg : public QDialog {
  Q_OBJECT

 public:
  enum Mode { kCreateAlpha = 0, kLoadAlphaMask = 1 };

  // Returns the chosen file name, empty when cancelled. Replaceable so the
  // dialog can be driven without a screen.
  using FileChooser = std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;

  AlphaDlg(QWidget* parent, int mode);

  AlphaChoice Choice() const;
  // Fills the fields with the names of an earlier run.
  void SetChoice(const AlphaChoice& choice);
  int GetMode() const { return mode_; }
  void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

  QLineEdit* FirstEdit() const { return firstEdit_; }
  QLineEdit* SecondEdit() const { return secondEdit_; }  // null in mode 1
  QPushButton* FirstBrowse() const { return firstBrowse_; }
  QPushButton* SecondBrowse() const { return secondBrowse_; }  // null in mode 1
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 public slots:
  void OnButtonBrowse0();
  void OnButtonBrowse1();
  void OnButtonOk();
  void OnButtonCancel();

 private:
  // A cancelled file dialog keeps the name the field had.
  void Browse(const QString& caption, QLineEdit* edit);
  // Ok needs a name in every field.
  void UpdateOk();

  int mode_;
  FileChooser chooseFile_;
  QLineEdit* firstEdit_ = nullptr;
  QLineEdit* secondEdit_ = nullptr;
  QPushButton* firstBrowse_ = nullptr;
  QPushButton* secondBrowse_ = nullptr;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace rastra

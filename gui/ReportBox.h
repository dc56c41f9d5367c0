// The window's message box: the system's message, below it what to act on
// (the allowed values, the fix, what the file really is), and the file it
// concerns. It is as wide as a sentence reads well, never wider than the
// screen, and a long path is shortened in its middle instead of being broken
// at its hyphens.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace rastra {

class ReportBox : public QDialog {
  Q_OBJECT

 public:
  enum class Kind { kInformation, kError };

  // detail and fileName may be empty; their lines are then left out.
  ReportBox(Kind kind, const QString& title, const QString& text, const QString& detail, const QString& fileName,
            QWidget* parent = nullptr);

  QLabel* TextLabel() const { return text_; }
  QLabel* DetailLabel() const { return detail_; }
  QLabel* FileLabel() const { return file_; }

 private:
  QLabel* text_;
  QLabel* detail_ = nullptr;
  QLabel* file_ = nullptr;
};

}  // namespace rastra

// Every question the main window puts to the user. The default asks with the
// real dialogs; tests hand in their own answers, so each action runs without
// a screen.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "gui/AlphaDlg.h"
#include "gui/ScaleDlg.h"
#include "gui/SpecDlg.h"
#include "image/Bitmap.h"
#include "writers/SizeReport.h"

class QWidget;

namespace rastra {

class UserPrompts {
  Q_DECLARE_TR_FUNCTIONS(UserPrompts)

 public:
  enum class UnsavedChoice { kSave, kDiscard, kCancel };

  virtual ~UserPrompts() = default;

  // Empty when the user cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& filter);
  // selectedFilter receives the filter the user picked.
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& suggestion,
                               const QString& filter, QString& selectedFilter);
  // Each returns true when the user accepted; the values are then filled in.
  virtual bool FormatSpec(QWidget* parent, const Bitmap& image, SpecResult& result);
  virtual bool Scale(QWidget* parent, ScaleValues& values);
  virtual bool Transparency(QWidget* parent, const Bitmap& image, int& selection);
  virtual bool Options(QWidget* parent, const QString& title, Settings& values);
  // choice comes in with the names the fields start with.
  virtual bool Alpha(QWidget* parent, int mode, AlphaChoice& choice);
  virtual void Info(QWidget* parent, int usedColors);
  // format receives the FORMAT of the row the user chose to save in.
  virtual bool SizeReport(QWidget* parent, const std::string& heading, const std::vector<FormatSize>& rows,
                          int& format);
  virtual void CommandLineOptions(QWidget* parent);
  virtual void About(QWidget* parent, const QString& displayName);
  virtual void Message(QWidget* parent, const QString& title, const QString& text);
  // A problem, with the error icon; detail (may be empty) says what to act
  // on, fileName (may be empty) is the file it concerns.
  virtual void Error(QWidget* parent, const QString& title, const QString& text, const QString& detail,
                     const QString& fileName);
  // A warning before an action goes on; true to go on.
  virtual bool Confirm(QWidget* parent, const QString& title, const QString& text);
  // Save, discard or keep the unsaved changes of the picture called name.
  virtual UnsavedChoice AskUnsavedChanges(QWidget* parent, const QString& name);
  // Whether to read the picture called name again now that its file is read
  // differently; how says in what way ("without its gamma applied").
  virtual bool ReadAgain(QWidget* parent, const QString& name, const QString& how);
  // Whether to turn the picture called name upright as its EXIF orientation
  // tag (2 to 8, see OrientBitmap) says; false keeps it as stored.
  virtual bool TurnUpright(QWidget* parent, const QString& name, int orientation);
  // What turning it upright does, for the question: "turned a quarter
  // clockwise".
  static QString TurnText(int orientation);
};

}  // namespace rastra

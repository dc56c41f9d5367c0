// Helpers shared by the window tests: a private settings store, scripted
// answers instead of dialogs, and small images built in memory.
#pragma once

#include <QApplication>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtTest/QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../CoreTestSupport.h"
#include "../TestSupport.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "gui/UserPrompts.h"
#include "image/Bitmap.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace gui_test {

// Points the per-user settings store at a fresh directory; must run before
// anything opens the store, so each test program calls it first in main.
class PrivateSettingsScope {
 public:
  PrivateSettingsScope() {
    // Not QStandardPaths' test mode: that shares one folder in the home
    // directory between runs, and these tests need a store of their own.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_.Path().string()));
  }
  const testing_support::TempDir& Dir() const { return dir_; }

 private:
  testing_support::TempDir dir_;
};

// Scripted answers; every question asked is logged in order.
class FakePrompts : public UserPrompts {
 public:
  struct SaveAnswer {
    QString name;
    QString filter;
  };

  std::deque<QString> openAnswers;
  std::deque<SaveAnswer> saveAnswers;
  std::function<bool(SpecResult&)> formatAnswer = [](SpecResult&) { return false; };
  std::function<bool(ScaleValues&)> scaleAnswer = [](ScaleValues&) { return false; };
  std::function<bool(int&)> transAnswer = [](int&) { return false; };
  std::function<bool(Settings&)> optionsAnswer = [](Settings&) { return false; };
  std::function<bool(int, AlphaChoice&)> alphaAnswer = [](int, AlphaChoice&) { return false; };
  bool confirmAnswer = false;
  std::deque<UnsavedChoice> unsavedAnswers;  // empty: cancel
  std::deque<bool> turnAnswers;              // empty: keep as stored

  QStringList asked;             // "open:<caption>|<filter>", "save:<caption>|<suggestion>|<filter>", "format:<type>", ...
  QStringList messages;          // texts of message and error boxes, in order
  QStringList messageTitles;
  QStringList errorTexts;        // of error boxes only
  QStringList errorDetails;      // what each error box said to act on ("" for nothing)
  QStringList errorFiles;        // the file each error box named ("" for none)
  QStringList confirmations;     // texts of warnings that asked whether to go on
  QStringList unsavedNames;      // names the unsaved-changes question gave

  QString OpenFileName(QWidget*, const QString& caption, const QString& filter) override {
    asked << "open:" + caption + "|" + filter;
    if (openAnswers.empty()) return {};
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  QString SaveFileName(QWidget*, const QString& caption, const QString& suggestion, const QString& filter,
                       QString& selectedFilter) override {
    asked << "save:" + caption + "|" + suggestion + "|" + filter;
    if (saveAnswers.empty()) return {};
    SaveAnswer answer = saveAnswers.front();
    saveAnswers.pop_front();
    selectedFilter = answer.filter;
    return answer.name;
  }
  bool FormatSpec(QWidget*, const Bitmap&, SpecResult& result) override {
    asked << QString("format:%1").arg(result.type);
    return formatAnswer(result);
  }
  bool Scale(QWidget*, ScaleValues& values) override {
    asked << QString("scale:%1x%2").arg(values.imageWidth).arg(values.imageHeight);
    return scaleAnswer(values);
  }
  bool Transparency(QWidget*, const Bitmap&, int& selection) override {
    asked << "transparency";
    return transAnswer(selection);
  }
  bool Options(QWidget*, const QString& title, Settings& values) override {
    asked << "options:" + title;
    return optionsAnswer(values);
  }
  bool Alpha(QWidget*, int mode, AlphaChoice& choice) override {
    asked << QString("alpha:%1").arg(mode);
    return alphaAnswer(mode, choice);
  }
  void Info(QWidget*, int usedColors) override { asked << QString("info:%1").arg(usedColors); }
  void CommandLineOptions(QWidget*) override { asked << "cmdopt"; }
  void About(QWidget*, const QString& name) override { asked << "about:" + name; }
  void Message(QWidget*, const QString& title, const QString& text) override {
    messageTitles << title;
    messages << text;
  }
  void Error(QWidget*, const QString& title, const QString& text, const QString& detail,
             const QString& fileName) override {
    messageTitles << title;
    messages << text;
    errorTexts << text;
    errorDetails << detail;
    errorFiles << fileName;
  }
  bool Confirm(QWidget*, const QString&, const QString& text) override {
    confirmations << text;
    return confirmAnswer;
  }
  bool ReadAgain(QWidget*, const QString& name, const QString& how) override {
    asked << "readagain:" + name + "|" + how;
    return confirmAnswer;
  }
  bool TurnUpright(QWidget*, const QString& name, int orientation) override {
    asked << QString("turn:%1|%2").arg(name).arg(orientation);
    if (turnAnswers.empty()) return false;
    const bool answer = turnAnswers.front();
    turnAnswers.pop_front();
    return answer;
  }
  UnsavedChoice AskUnsavedChanges(QWidget*, const QString& name) override {
    unsavedNames << name;
    if (unsavedAnswers.empty()) return UnsavedChoice::kCancel;
    const UnsavedChoice answer = unsavedAnswers.front();
    unsavedAnswers.pop_front();
    return answer;
  }
};

// A palette image whose pixel (x, y) holds (x + y * width) % colors.count().
inline BitmapPtr MakePaletteImage(int width, int height, const std::vector<Color>& colors) {
  BitmapPtr image = testing_support::MakeBitmap(width, height, static_cast<int>(colors.size()));
  for (int i = 0; i < static_cast<int>(colors.size()); ++i) Bitmap_SetPalColor(*image, i, colors[i]);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image->Row(y)[x] = static_cast<std::uint8_t>((x + y * width) % colors.size());
  return image;
}

// A true-colour image with the given pixels, row by row from the top.
inline BitmapPtr MakeTrueColorImage(int width, int height, const std::vector<Color>& pixels, bool hasAlpha = false) {
  BitmapPtr image = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) Bitmap_StoreColor(image->Row(y) + 4 * x, pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]);
  image->HasAlpha = hasAlpha ? 1 : 0;
  return image;
}

inline void ResetProcessState() {
  ResetDocument();
  ResetRunState();
  GetSettings() = Settings{};
  GetRecentFiles() = {};
}

}  // namespace gui_test

// Each test program runs its Qt Test class inside a private settings store.
#define RASTRA_GUI_TEST_MAIN(TestClass)                  \
  int main(int argc, char** argv) {                      \
    gui_test::PrivateSettingsScope settingsScope;        \
    QApplication app(argc, argv);                        \
    TestClass test;                                      \
    return QTest::qExec(&test, argc, argv);              \
  }

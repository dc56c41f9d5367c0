// How the window reads pictures: the options' switches for the gamma of PNG
// files and smooth JPEG chroma reach the store and the next opening, and a
// picture whose EXIF tag says it is stored turned is asked about once per
// file and turned as part of opening it.
#include <QCheckBox>
#include <QSettings>
#include <QtTest/QtTest>
#include <filesystem>

#include "../JpegTestSupport.h"
#include "../PngTestFiles.h"
#include "GuiTestSupport.h"
#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "app/Settings.h"
#include "gui/MainWindow.h"
#include "gui/OptionsDialog.h"

using gui_test::FakePrompts;

namespace {

QSettings Store() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantor", "Rastra"); }

// Samples 10, 128, 250 stored with gamma 1.0: corrected, they move.
png_test::Bytes LinearPng() {
  png_test::Png png;
  png.gamma = 100000;
  png.rows = {{10, 128, 250}};
  return png_test::Encode(png);
}

// 2 x 1 pixels whose eXIf tag (when orientation is not 0) says how to turn them.
png_test::Bytes TaggedPng(int orientation) {
  png_test::Png png;
  png.width = 2;
  png.rows = {{1, 2, 3, 4, 5, 6}};
  if (orientation != 0) png.exif = jpeg_test::ExifTiff(orientation, false);
  return png_test::Encode(png);
}

}  // namespace

class TestReadSettingsWindow : public QObject {
  Q_OBJECT

 private:
  FakePrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;

  MainWindow& NewWindow() {
    window_.reset();
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    return *window_;
  }

  QString Write(const std::string& name, const png_test::Bytes& bytes) const {
    testing_support::WriteBytes(dir_->File(name), bytes);
    return QString::fromStdString(dir_->File(name));
  }

  static QSize PictureSize() {
    const Bitmap& picture = *GetDocument().current;
    return {picture.XSize, picture.YSize};
  }

 private slots:
  void init() {
    gui_test::ResetProcessState();
    QSettings store = Store();
    store.clear();
    store.sync();
    dir_ = std::make_unique<testing_support::TempDir>();
  }

  void cleanup() {
    window_.reset();
    gui_test::ResetProcessState();
  }

  void optionsDialogShowsAndCollectsTheReadSwitches() {
    const Settings defaults;
    OptionsDialog dialog("Options", defaults);
    QCOMPARE(dialog.GammaBox()->text(), QString("&Apply the gamma of PNG files"));
    QCOMPARE(dialog.SmoothBox()->text(), QString("&Smooth the chroma of JPEG files"));
    QVERIFY(dialog.GammaBox()->isChecked());
    QVERIFY(!dialog.SmoothBox()->isChecked());
    QTest::mouseClick(dialog.GammaBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.SmoothBox(), Qt::LeftButton);
    QCOMPARE(dialog.Values().PngGamma, 0u);
    QCOMPARE(dialog.Values().SmoothChroma, 1u);
    QCOMPARE(dialog.Values().UseARGB, 0u);  // the other settings stay

    Settings stored;
    stored.PngGamma = 0;
    stored.SmoothChroma = 1;
    OptionsDialog again("Options", stored);
    QVERIFY(!again.GammaBox()->isChecked());
    QVERIFY(again.SmoothBox()->isChecked());
  }

  // The switches are stored with the other settings and change what the
  // next opening reads; a new window reads them back.
  void optionsReachTheStoreAndTheNextOpening() {
    MainWindow& window = NewWindow();
    const QString linear = Write("linear.png", LinearPng());
    window.OpenByName(linear);
    QVERIFY(GetDocument().current);
    const std::uint32_t corrected = Bitmap_GetPixel(*GetDocument().current, 0, 0);
    QVERIFY(corrected != 0x00FA800Au);

    prompts_->optionsAnswer = [](Settings& values) {
      values.PngGamma = 0;
      values.SmoothChroma = 1;
      return true;
    };
    window.OnOptions();
    QCOMPARE(Store().value("Settings/PngGamma").toUInt(), 0u);
    QCOMPARE(Store().value("Settings/SmoothChroma").toUInt(), 1u);
    window.OpenByName(linear);
    QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), 0x00FA800Au);  // the samples as stored

    GetSettings() = Settings{};
    NewWindow();
    QCOMPARE(GetSettings().PngGamma, 0u);
    QCOMPARE(GetSettings().SmoothChroma, 1u);
  }

  void turnedPictureIsAskedAboutOncePerFile_data() {
    QTest::addColumn<bool>("turn");
    QTest::newRow("turn upright") << true;
    QTest::newRow("keep as stored") << false;
  }

  void turnedPictureIsAskedAboutOncePerFile() {
    QFETCH(bool, turn);
    MainWindow& window = NewWindow();
    const QString turned = Write("turned.png", TaggedPng(6));
    const QSize expected = turn ? QSize(1, 2) : QSize(2, 1);
    prompts_->turnAnswers = {turn};
    window.OpenByName(turned);
    QCOMPARE(prompts_->asked, QStringList({"turn:turned.png|6"}));
    QCOMPARE(PictureSize(), expected);
    if (turn) QCOMPARE(Bitmap_GetPixel(*GetDocument().current, 0, 0), 0x00030201u);  // the left pixel on top
    // Part of opening the file: no step to undo, nothing unsaved.
    QVERIFY(!CanUndo());
    QVERIFY(!HasUnsavedChanges());

    // The answer holds for the file: opened again, it comes as answered.
    window.OpenByName(turned);
    QCOMPARE(prompts_->asked.size(), 1);
    QCOMPARE(PictureSize(), expected);
    // Another file is asked about.
    window.OpenByName(Write("other.png", TaggedPng(8)));
    QCOMPARE(prompts_->asked.last(), QString("turn:other.png|8"));
    QCOMPARE(PictureSize(), QSize(2, 1));  // no answer left: kept as stored
  }

  void uprightPicturesAskNothing() {
    MainWindow& window = NewWindow();
    for (const int orientation : {0, 1, 9}) {  // no tag, upright, no such orientation
      window.OpenByName(Write("upright" + std::to_string(orientation) + ".png", TaggedPng(orientation)));
      QCOMPARE(PictureSize(), QSize(2, 1));
    }
    QVERIFY(prompts_->asked.isEmpty());
  }

  // A picture the command line opened (rastra photo.jpg) is asked about once
  // the window shows; one the commands worked on is not.
  void pictureOpenedBeforeTheWindowIsAskedAboutWhenItShows() {
    const std::string turned = Write("turned.png", TaggedPng(6)).toStdString();
    QVERIFY(OpenImageFile(turned));
    MainWindow& window = NewWindow();
    prompts_->turnAnswers = {true};
    QTRY_COMPARE(prompts_->asked, QStringList({"turn:turned.png|6"}));
    QTRY_COMPARE(PictureSize(), QSize(1, 2));
    QVERIFY(!HasUnsavedChanges());
    Q_UNUSED(window);

    gui_test::ResetProcessState();
    QVERIFY(OpenImageFile(turned));
    GetDocument().sourceOrientation = 1;  // as the command line leaves it after commands
    NewWindow();
    QTest::qWait(50);
    QVERIFY(prompts_->asked.isEmpty());
  }
};

RASTRA_GUI_TEST_MAIN(TestReadSettingsWindow)
#include "test_read_settings_window.moc"

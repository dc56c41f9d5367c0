// The window under a real X server with a window manager (scripts/x11_smoke.sh
// starts both): it opens a picture, converts it, undoes, saves, and stays
// responsive during a long save, which it shows with its progress and can
// cancel; saving over a file keeps the file's mode. With RASTRA_SCREENSHOT
// set it writes a screenshot of the screen taken during the long save there.
//
// The script runs it twice on one settings store (RASTRA_SMOKE_SETTINGS):
// the first run leaves the window at 1000 x 700 at (200, 100) on a
// 1400 x 900 screen; the second (RASTRA_SMOKE_PHASE=smaller) starts it on a
// 1366 x 768 screen, where it must come back wholly on screen.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QtTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"

namespace {

// A photograph's smooth shades with a little grain: what PNG compresses
// slowly at its best compression.
QImage PhotoLike(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  std::uint32_t state = 1;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const int grain = static_cast<int>(state >> 29);
      const double wave = 40.0 * std::sin(x / 37.0) * std::cos(y / 53.0);
      line[x] = qRgb(std::clamp(x * 200 / width + grain + 20, 0, 255),
                     std::clamp(y * 150 / height + static_cast<int>(wave) + 60, 0, 255),
                     std::clamp((x + y) * 120 / (width + height) + grain * 2 + 40, 0, 255));
    }
  }
  return image;
}

QAction* Find(const MainWindow& window, const QStringList& path) {
  QMenu* menu = nullptr;
  for (QAction* action : window.menuBar()->actions())
    if (action->text() == path.first()) menu = action->menu();
  for (int i = 1; menu != nullptr && i < path.size(); ++i) {
    for (QAction* action : menu->actions()) {
      if (action->text() != path[i]) continue;
      if (i == path.size() - 1) return action;
      menu = action->menu();
      break;
    }
  }
  return nullptr;
}

bool SmallerScreenPhase() { return qgetenv("RASTRA_SMOKE_PHASE") == "smaller"; }

// Where the first run leaves the window, in screen coordinates of its content.
constexpr QRect kLeftAt(200, 100, 1000, 700);

}  // namespace

class X11Smoke : public QObject {
  Q_OBJECT

 private:
  gui_test::FakePrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;
  QString photo_;

  // Runs save (which returns when the save has ended) while a timer on the
  // window's thread watches it; returns the longest pause between two ticks.
  struct Watch {
    qint64 longestPauseMs = 0;
    qint64 durationMs = 0;
    bool progressShown = false;
    bool greyedWhileBusy = false;
    bool resized = false;
  };
  Watch WatchSave(const std::function<void()>& save, const std::function<void()>& whileShown) {
    Watch watch;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(20);
    const QSize before = window_->size();
    connect(&ticker, &QTimer::timeout, window_.get(), [&] {
      watch.longestPauseMs = std::max(watch.longestPauseMs, sinceTick.restart());
      if (!window_->Jobs()->Shown() || watch.progressShown) return;
      watch.progressShown = window_->Jobs()->Bar()->isVisible() && window_->Jobs()->CancelButton()->isVisible();
      watch.greyedWhileBusy = !Find(*window_, {"&File", "&Open..."})->isEnabled();
      // The window manager's round trip still works: the window takes a new size.
      window_->resize(before + QSize(40, 30));
      whileShown();
    });
    clock.start();
    sinceTick.start();
    ticker.start();
    save();
    ticker.stop();
    watch.durationMs = clock.elapsed();
    QCoreApplication::processEvents();
    watch.resized = window_->size() != before;
    window_->resize(before);
    return watch;
  }

 private slots:
  void initTestCase() {
    if (QGuiApplication::platformName() != "xcb") QSKIP("needs a real X server (scripts/x11_smoke.sh starts one)");
    gui_test::ResetProcessState();
    dir_ = std::make_unique<testing_support::TempDir>();
    photo_ = QString::fromStdString(dir_->File("photo.png"));
    if (!SmallerScreenPhase()) QVERIFY(PhotoLike(4000, 3000).save(photo_));  // a phone photo: its PNG save takes a while
    auto prompts = std::make_unique<gui_test::FakePrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    if (!SmallerScreenPhase()) window_->resize(1100, 750);
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

  void opensFittedConvertsAndUndoes() {
    if (SmallerScreenPhase()) QSKIP("the second run only starts the window");
    prompts_->openAnswers.push_back(photo_);
    QTest::keySequence(window_.get(), QKeySequence::Open);
    QVERIFY2(GetDocument().current, qPrintable(prompts_->messages.join("; ")));
    QCOMPARE(GetDocument().current->XSize, 4000);
    QVERIFY2(window_->View()->Zoom() < 1000, qPrintable(window_->View()->ZoomText()));  // larger than the view: fitted
    Find(*window_, {"&Image", "&Convert to", "B&est palette"})->trigger();
    QVERIFY2(GetDocument().current->NumColors > 0, qPrintable(prompts_->messages.join("; ")));
    QTest::keySequence(window_.get(), QKeySequence::Undo);
    QCOMPARE(GetDocument().current->NumColors, 0);
    QTest::keySequence(window_.get(), QKeySequence::Redo);
    QVERIFY(GetDocument().current->NumColors > 0);
    QTest::keySequence(window_.get(), QKeySequence::Undo);
    QVERIFY(prompts_->messages.isEmpty());
  }

  void staysResponsiveDuringALongSave() {
    if (SmallerScreenPhase()) QSKIP("the second run only starts the window");
    const Bitmap* shown = GetDocument().current.get();
    const std::string out = dir_->File("saved.png");
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "PNG files (*.png)"});
    const QByteArray screenshot = qgetenv("RASTRA_SCREENSHOT");
    QPixmap shot;
    const QKeySequence saveAs = Find(*window_, {"&File", "&Save as..."})->shortcut();
  const Watch watch = WatchSave([&] { QTest::keySequence(window_.get(), saveAs); },
                                  [&] {
                                    if (screenshot.isEmpty()) return;
                                    // Let the bar move a little first.
                                    QTimer::singleShot(700, window_.get(), [&] { shot = window_->screen()->grabWindow(0); });
                                  });
    qInfo("long save: %lld ms, longest pause of the window's thread %lld ms", watch.durationMs,
          watch.longestPauseMs);
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QVERIFY2(watch.durationMs > 600, "the save is too short to show anything");
    QVERIFY(watch.progressShown);
    QVERIFY(watch.greyedWhileBusy);
    QVERIFY(watch.resized);
    QVERIFY2(watch.longestPauseMs < 250, qPrintable(QString::number(watch.longestPauseMs)));
    QCOMPARE(GetDocument().current.get(), shown);
    QCOMPARE(QImage(QString::fromStdString(out)).size(), QSize(4000, 3000));
    QVERIFY(window_->statusBar()->currentMessage().startsWith("Saved saved.png: PNG, "));
    // Written once the save is over: encoding it would hold up the window.
    if (!screenshot.isEmpty()) QVERIFY(shot.save(QString::fromLocal8Bit(screenshot)));
  }

  void longSaveCanBeCancelled() {
    if (SmallerScreenPhase()) QSKIP("the second run only starts the window");
    const std::string out = dir_->File("cancelled.png");
    prompts_->saveAnswers.push_back({QString::fromStdString(out), "PNG files (*.png)"});
    const Watch watch = WatchSave([&] { window_->OnSaveAs(); },
                                  [&] { QTest::mouseClick(window_->Jobs()->CancelButton(), Qt::LeftButton); });
    QVERIFY(watch.progressShown);
    QVERIFY2(watch.durationMs < 1500, qPrintable(QString::number(watch.durationMs)));
    QTRY_COMPARE(window_->Jobs()->AbandonedThreads(), 0);
    QVERIFY(!std::filesystem::exists(out));
    QVERIFY(Find(*window_, {"&File", "&Open..."})->isEnabled());
  }

  // Save as over a 0644 PNG and Ctrl+S over a 0664 .dta, as a user at the
  // keyboard does: the files keep their modes.
  void savingOverAFileKeepsItsMode() {
    if (SmallerScreenPhase()) QSKIP("the second run only starts the window");
    const std::string png = dir_->File("shared.png");
    const std::string dta = dir_->File("group.dta");
    for (const auto& [path, mode] : {std::pair{png, 0644}, std::pair{dta, 0664}}) {
      testing_support::WriteBytes(path, {'o', 'l', 'd'});
      QCOMPARE(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    }
    const auto modeOf = [](const std::string& path) {
      struct stat info {};
      return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
    };
    // A small picture: the photo's PNG save is the long one above.
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(qRgb(200, 100, 50));
    const QString smallFile = QString::fromStdString(dir_->File("small.png"));
    QVERIFY(small.save(smallFile));
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kDiscard);
    prompts_->openAnswers.push_back(smallFile);
    QTest::keySequence(window_.get(), QKeySequence::Open);
    QCOMPARE(GetDocument().current->XSize, 40);

    prompts_->saveAnswers.push_back({QString::fromStdString(png), "PNG files (*.png)"});
    QTest::keySequence(window_.get(), Find(*window_, {"&File", "&Save as..."})->shortcut());
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QCOMPARE(QImage(QString::fromStdString(png)).size(), QSize(40, 30));
    QCOMPARE(modeOf(png), 0644);

    prompts_->saveAnswers.push_back({QString::fromStdString(dta), "DTA files (*.dta)"});
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      return true;
    };
    window_->OnSaveAs();
    QCOMPARE(::chmod(dta.c_str(), 0664), 0);  // as the user left it
    const std::uint64_t before = std::filesystem::last_write_time(dta).time_since_epoch().count();
    QTest::keySequence(window_.get(), Find(*window_, {"&File", "Sa&ve"})->shortcut());
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QVERIFY(window_->statusBar()->currentMessage().startsWith("Saved group.dta: "));
    QVERIFY(std::filesystem::last_write_time(dta).time_since_epoch().count() >= before);
    QCOMPARE(modeOf(dta), 0664);
  }

  // The last of the first run: the place the second run starts from.
  void leavesTheWindowOnTheLargerScreen() {
    if (SmallerScreenPhase()) QSKIP("the first run leaves the window");
    window_->setGeometry(kLeftAt);
    QTRY_COMPARE(window_->geometry(), kLeftAt);
    prompts_->unsavedAnswers.push_back(UserPrompts::UnsavedChoice::kDiscard);
    QVERIFY(window_->close());
  }

  void comesBackWhollyOnTheSmallerScreen() {
    if (!SmallerScreenPhase()) QSKIP("the second run starts the window");
    const QRect screen = window_->screen()->geometry();
    QCOMPARE(screen.size(), QSize(1366, 768));
    const QRect available = window_->screen()->availableGeometry();
    // The window manager has framed it: the frame is wider than the content.
    QTRY_VERIFY(window_->frameGeometry() != window_->geometry());
    QTRY_VERIFY2(available.contains(window_->frameGeometry()),
                 qPrintable(QString("frame %1,%2 %3 x %4")
                                .arg(window_->frameGeometry().x())
                                .arg(window_->frameGeometry().y())
                                .arg(window_->frameGeometry().width())
                                .arg(window_->frameGeometry().height())));
    QStatusBar* bar = window_->statusBar();
    QVERIFY(bar->isVisible());
    const QRect barOnScreen(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    QVERIFY2(screen.contains(barOnScreen), qPrintable(QString("status bar at y %1").arg(barOnScreen.y())));
    qInfo("on 1366 x 768: content %d,%d %d x %d", window_->geometry().x(), window_->geometry().y(), window_->width(), window_->height());
    const QByteArray screenshot = qgetenv("RASTRA_SCREENSHOT");
    if (!screenshot.isEmpty()) QVERIFY(window_->screen()->grabWindow(0).save(QString::fromLocal8Bit(screenshot)));
  }

  void cleanupTestCase() {
    window_.reset();
    gui_test::ResetProcessState();
  }
};

// Both runs share the settings store the script names, where the window
// keeps its place.
int main(int argc, char** argv) {
  gui_test::PrivateSettingsScope settingsScope;
  const QByteArray shared = qgetenv("RASTRA_SMOKE_SETTINGS");
  if (!shared.isEmpty()) qputenv("XDG_CONFIG_HOME", shared);
  QApplication app(argc, argv);
  X11Smoke test;
  return QTest::qExec(&test, argc, argv);
}
#include "x11_smoke.moc"

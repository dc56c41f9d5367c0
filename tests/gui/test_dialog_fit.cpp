// Every dialog of the window, with its largest content, fits the screen: a
// 1366 x 768 screen at scale factor 1 by default, and whatever
// RASTRA_TEST_SCREEN names ("1400x900@2": a 1400 x 900 screen at scale factor
// 2, 700 x 450 for the window's layout).
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest/QtTest>
#include <functional>

#include "GuiTestSupport.h"
#include "app/Settings.h"
#include "gui/AboutDialog.h"
#include "gui/AlphaDlg.h"
#include "gui/CmdOptionsDlg.h"
#include "gui/InfoDlg.h"
#include "gui/MainWindow.h"
#include "gui/OptionsDialog.h"
#include "gui/ReportBox.h"
#include "gui/ScaleDlg.h"
#include "gui/ScreenFit.h"
#include "gui/SizeReportDlg.h"
#include "gui/SpecDlg.h"
#include "gui/TransDlg.h"
#include "writers/SizeReport.h"

using gui_test::MakePaletteImage;
using gui_test::MakeTrueColorImage;

namespace {

struct ScreenSpec {
  int width = 1366;
  int height = 768;
  int scale = 1;
};

ScreenSpec ScreenFromEnvironment() {
  ScreenSpec spec;
  const QString text = QString::fromLocal8Bit(qgetenv("RASTRA_TEST_SCREEN"));
  static const QRegularExpression kForm(R"(^(\d+)x(\d+)@(\d+)$)");
  const QRegularExpressionMatch match = kForm.match(text);
  if (match.hasMatch()) spec = {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
  return spec;
}

// The offscreen platform with one screen of the spec's size; the scale
// factor as users set it.
void UseScreen(const ScreenSpec& spec, const QString& folder) {
  const QString path = folder + "/screen.json";
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(QString(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": %1, "height": %2,)"
                       R"( "logicalDpi": 96, "logicalBaseDpi": 96}]})")
                   .arg(spec.width)
                   .arg(spec.height)
                   .toUtf8());
  }
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit());
  qputenv("QT_SCALE_FACTOR", QByteArray::number(spec.scale));
}

BitmapPtr ManyColours() {
  std::vector<Color> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(static_cast<Color>(i * 0x010305));
  return MakePaletteImage(16, 16, colours);
}

}  // namespace

class TestDialogFit : public QObject {
  Q_OBJECT

 public:
  explicit TestDialogFit(ScreenSpec spec) : spec_(spec) {}

 private:
  ScreenSpec spec_;

  // Shows dialog as the window runs it, then checks it lies on the screen.
  void ExpectFits(QWidget& dialog, const char* name) {
    FitToScreen(&dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect available = dialog.screen()->availableGeometry();
    const QSize room = RoomForWindow(&dialog);
    const QString sizes = QString("%1: %2 x %3 (least %4 x %5) on %6 x %7")
                              .arg(name)
                              .arg(dialog.width())
                              .arg(dialog.height())
                              .arg(dialog.minimumSizeHint().width())
                              .arg(dialog.minimumSizeHint().height())
                              .arg(available.width())
                              .arg(available.height());
    QVERIFY2(dialog.width() <= room.width() && dialog.height() <= room.height(), qPrintable(sizes));
    // Every button is on the dialog, not cut off beyond its edge.
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
      if (!button->isVisible()) continue;
      const QRect inDialog(button->mapTo(&dialog, QPoint(0, 0)), button->size());
      QVERIFY2(dialog.rect().contains(inDialog), qPrintable(sizes + ": " + button->text()));
    }
    dialog.hide();
  }

 private slots:
  void screenIsTheOneAskedFor() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->geometry().width() * spec_.scale, spec_.width);
    QCOMPARE(screen->geometry().height() * spec_.scale, spec_.height);
  }

  void formatDialogs() {
    SpecResult result;
    BitmapPtr sixteen = MakePaletteImage(4, 4, std::vector<Color>(16, 0));
    SpecDlg palette(*sixteen, result);
    ExpectFits(palette, "format, 16 colours");
    BitmapPtr alpha = MakeTrueColorImage(1, 1, {0}, true);
    SpecDlg withAlpha(*alpha, result);
    ExpectFits(withAlpha, "format, alpha");
  }

  void sizeReport() {
    BitmapPtr image = MakeTrueColorImage(64, 64, std::vector<Color>(64 * 64, 0x00123456));
    sys::Context ctx;
    std::vector<FormatSize> rows;
    ComputeSizeReport(*image, OutputOptions{}, rows, ctx);
    int format = 0;
    SizeReportDlg dialog(SizeReportHeading(*image), rows, format);
    ExpectFits(dialog, "size report");
  }

  void smallDialogs() {
    ScaleValues values{99999, 99999, 99999, 99999};
    ScaleDlg scale(values);
    ExpectFits(scale, "scale");
    // The two fields line up, one width.
    const QList<QLineEdit*> fields = scale.findChildren<QLineEdit*>();
    QCOMPARE(fields.size(), 2);
    QCOMPARE(fields[0]->width(), fields[1]->width());
    QCOMPARE(fields[0]->x(), fields[1]->x());

    BitmapPtr colours = ManyColours();
    int selection = 0;
    TransDlg trans(*colours, selection);
    ExpectFits(trans, "transparency");
    InfoDlg info(16777216);
    ExpectFits(info, "info");
    Settings settings;
    OptionsDialog options("Options", settings);
    ExpectFits(options, "options");
    AboutDialog about("Rastra");
    ExpectFits(about, "about");
    for (const int mode : {AlphaDlg::kCreateAlpha, AlphaDlg::kLoadAlphaMask}) {
      AlphaDlg alpha(nullptr, mode);
      ExpectFits(alpha, mode == AlphaDlg::kCreateAlpha ? "create alpha" : "alpha mask");
    }
    CmdOptionsDlg help;
    ExpectFits(help, "command line options");
  }

  void messageWithALongPath() {
    const QString path = "/home/someone/projects/display-firmware/assets/icons/very-long-folder-name-"
                         "with-hyphens/and-another-one/logo-with-a-long-name-2024-final.png";
    ReportBox box(ReportBox::Kind::kError, "Rastra", "No Bitmap",
                  "The file is text, not a picture Rastra reads (BMP, SBMP, GIF, JPEG or PNG).", path);
    ExpectFits(box, "report");
    QVERIFY(!box.FileLabel()->wordWrap());  // a path is never broken at its hyphens
    QCOMPARE(box.FileLabel()->toolTip(), path);
    // Wide enough for a sentence: the text does not wrap after a few words.
    QVERIFY(box.TextLabel()->width() >= box.fontMetrics().averageCharWidth() * 40 ||
            box.width() >= RoomForWindow(&box).width() - 100);
  }

  void mainWindow() {
    gui_test::ResetProcessState();
    MainWindow window(std::make_unique<gui_test::FakePrompts>());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect available = window.screen()->availableGeometry();
    QVERIFY2(available.contains(window.geometry()), qPrintable(QString("%1 x %2").arg(window.width()).arg(window.height())));
  }
};

int main(int argc, char** argv) {
  gui_test::PrivateSettingsScope settingsScope;
  const ScreenSpec spec = ScreenFromEnvironment();
  UseScreen(spec, QString::fromStdString(settingsScope.Dir().Path().string()));
  QApplication app(argc, argv);
  TestDialogFit test(spec);
  return QTest::qExec(&test, argc, argv);
}

#include "test_dialog_fit.moc"

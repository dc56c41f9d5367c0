// The window's "as saved" view: what it shows is what the saved file holds,
// with the FORMAT and dithering chosen, and the read-out under the pointer
// names that picture's pixel.
#include <QAction>
#include <QColor>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QtTest/QtTest>

#include "GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"
#include "image/ColorFormat.h"
#include "writers/CBitmapWriter.h"

using gui_test::FakePrompts;

namespace {

QAction* Find(const MainWindow& window, const QStringList& path) {
  QList<QAction*> actions = window.menuBar()->actions();
  for (int i = 0; i < path.size(); ++i) {
    QAction* found = nullptr;
    for (QAction* action : actions)
      if (action->text() == path[i]) found = action;
    if (found == nullptr || i == path.size() - 1) return found;
    if (found->menu() == nullptr) return nullptr;
    actions = found->menu()->actions();
  }
  return nullptr;
}

// A colour ramp no FORMAT holds exactly, so that dithering shows.
BitmapPtr Ramp() {
  constexpr int kWidth = 24;
  constexpr int kHeight = 6;
  std::vector<Color> pixels;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto r = static_cast<Color>(17 + x * 9);
      const auto g = static_cast<Color>(200 - x * 7 + y * 3);
      const auto b = static_cast<Color>(5 + y * 41);
      pixels.push_back(r | (g << 8) | (b << 16));
    }
  }
  return gui_test::MakeTrueColorImage(kWidth, kHeight, pixels);
}

// A .dta file's pixels as colours, and their palette indices (-1 for a
// colour FORMAT): the stream's header, palette and rows read by hand.
struct DtaPixels {
  int width = 0;
  int height = 0;
  std::vector<Color> colors;
  std::vector<int> indices;
};

std::uint32_t U16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes.at(at)) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at + 1))) << 8);
}

DtaPixels ReadDta(const std::string& bytes, int format) {
  DtaPixels out;
  out.width = static_cast<int>(U16(bytes, 4));
  out.height = static_cast<int>(U16(bytes, 6));
  const std::size_t perLine = U16(bytes, 8);
  const int bits = static_cast<int>(U16(bytes, 10));
  const int colors = static_cast<int>(U16(bytes, 12));
  std::vector<Color> palette;
  std::size_t at = 16;
  for (int i = 0; i < colors; ++i, at += 4) palette.push_back(U16(bytes, at) | (U16(bytes, at + 2) << 16));
  const FormatEntry* entry = FindFormat(format);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const std::size_t row = at + static_cast<std::size_t>(y) * perLine;
      if (bits == 16) {
        const std::uint32_t code = U16(bytes, row + 2 * static_cast<std::size_t>(x));
        out.colors.push_back(GetColorFormat(entry->colorFormat).IndexToColor(code) & 0xFFFFFFu);
        out.indices.push_back(-1);
      } else {
        const auto byte = static_cast<std::uint8_t>(bytes.at(row + static_cast<std::size_t>(x * bits / 8)));
        const int shift = 8 - bits - (x * bits) % 8;
        const int index = (byte >> shift) & ((1 << bits) - 1);
        out.colors.push_back(palette.at(static_cast<std::size_t>(index)) & 0xFFFFFFu);
        out.indices.push_back(index);
      }
    }
  }
  return out;
}

QString Hex(Color c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)).name(QColor::HexRgb).toUpper();
}

}  // namespace

class TestSavedView : public QObject {
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
    GetDocument().current = Ramp();
    window_->ShowResult(GetDocument().current.get());
    return *window_;
  }

 private slots:
  void init() {
    gui_test::ResetProcessState();
    dir_ = std::make_unique<testing_support::TempDir>();
  }
  void cleanup() {
    window_.reset();
    gui_test::ResetProcessState();
  }

  void viewShowsWhatTheFileHolds_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("method");  // the Method entry, or empty: no dithering
    QTest::newRow("565, not dithered") << 8 << "";
    QTest::newRow("565, Floyd-Steinberg") << 8 << "&Floyd-Steinberg";
    QTest::newRow("565, Bayer 4") << 8 << "Ordered, Bayer &4 x 4";
    QTest::newRow("555, serpentine") << 10 << "&Serpentine Floyd-Steinberg";
    QTest::newRow("444, Bayer 8") << 19 << "Ordered, Bayer &8 x 8";
    QTest::newRow("16 greys, Floyd-Steinberg") << 4 << "&Floyd-Steinberg";
    QTest::newRow("8666 palette, Bayer 8") << 5 << "Ordered, Bayer &8 x 8";
    QTest::newRow("2 colours, not dithered") << 1 << "";
  }
  void viewShowsWhatTheFileHolds() {
    QFETCH(int, format);
    QFETCH(QString, method);
    MainWindow& window = NewWindow();
    if (!method.isEmpty()) {
      Find(window, {"&Image", "&Dither to", "&Method", method})->trigger();
      Find(window, {"&View", "&Dither when saving"})->setChecked(true);
    }
    prompts_->formatAnswer = [format](SpecResult& r) {
      r.format = format;
      return true;
    };
    const std::string path = dir_->File("shown.dta");
    prompts_->saveAnswers.push_back({QString::fromStdString(path), "DTA files (*.dta)"});
    window.OnSaveAs();
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));

    // The view follows the FORMAT just saved.
    Find(window, {"&View", "As &saved"})->setChecked(true);
    const Bitmap* shown = window.ShownPicture();
    QVERIFY(shown != nullptr && shown != GetDocument().current.get());
    const DtaPixels file = ReadDta(testing_support::ReadText(path), format);
    QCOMPARE(shown->XSize, file.width);
    QCOMPARE(shown->YSize, file.height);
    for (int y = 0; y < file.height; ++y) {
      for (int x = 0; x < file.width; ++x) {
        const std::size_t at = static_cast<std::size_t>(y * file.width + x);
        QCOMPARE(Bitmap_GetPixelColor(*shown, x, y) & 0xFFFFFFu, file.colors[at]);
        if (file.indices[at] >= 0) QCOMPARE(int(Bitmap_GetPixel(*shown, x, y)), file.indices[at]);
      }
    }
    // The read-out names the file's pixel under the pointer.
    const int x = file.width - 3;
    const int y = file.height / 2;
    const std::size_t at = static_cast<std::size_t>(y * file.width + x);
    emit window.View()->PixelHovered(QPoint(x, y));
    const QString readout = window.PixelStatus()->text();
    QVERIFY2(readout.contains(Hex(file.colors[at])), qPrintable(readout));
    if (file.indices[at] >= 0) QVERIFY2(readout.contains(QString("index %1").arg(file.indices[at])), qPrintable(readout));

    // As opened again: the picture's own pixel.
    Find(window, {"&View", "As &saved"})->setChecked(false);
    QVERIFY(window.ShownPicture() == GetDocument().current.get());
    emit window.View()->PixelHovered(QPoint(x, y));
    QVERIFY2(window.PixelStatus()->text().contains(Hex(Bitmap_GetPixelColor(*GetDocument().current, x, y))),
             qPrintable(window.PixelStatus()->text()));
  }

  // Dithering changes what is shown, and the FORMAT chooser sets the FORMAT.
  void ditheringAndFormatChoiceChangeTheView() {
    MainWindow& window = NewWindow();
    prompts_->formatAnswer = [](SpecResult& r) {
      r.format = 8;
      return true;
    };
    Find(window, {"&View", "FOR&MAT as saved..."})->trigger();
    QVERIFY(Find(window, {"&View", "As &saved"})->isChecked());
    QCOMPARE(window.SavedView().format, 8);
    sys::Context ctx;
    const BitmapPtr plain = Bitmap_Clone(*window.ShownPicture(), ctx);
    QVERIFY(plain != nullptr);
    Find(window, {"&View", "&Dither when saving"})->setChecked(true);
    const Bitmap& dithered = *window.ShownPicture();
    int differ = 0;
    for (int y = 0; y < dithered.YSize; ++y)
      for (int x = 0; x < dithered.XSize; ++x)
        differ += Bitmap_GetPixelColor(dithered, x, y) != Bitmap_GetPixelColor(*plain, x, y) ? 1 : 0;
    QVERIFY(differ > 0);
  }
};

RASTRA_GUI_TEST_MAIN(TestSavedView)
#include "test_saved_view.moc"

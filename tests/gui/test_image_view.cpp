// The image view: rendering, information lines, zoom, scrolling, panning,
// the palette strip, backgrounds and the tile timer; and the Bitmap <-> QImage
// conversions.
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest/QtTest>

#include "GuiTestSupport.h"
#include "gui/ImageCanvas.h"
#include "gui/PaletteStrip.h"
#include "gui/QtImage.h"
#include "gui/ShowImage.h"

using gui_test::MakePaletteImage;
using gui_test::MakeTrueColorImage;

namespace {
constexpr QRgb kTileGrey = 0xFF7F7F7F;
constexpr QRgb kTileLightGrey = 0xFFC3C3C3;
}  // namespace

class TestImageView : public QObject {
  Q_OBJECT

 private slots:
  void rendersPaletteColoursWithRedAndBlueInPlace() {
    // Bitmap colours are 0xTTBBGGRR; 0x0000FF is pure red.
    BitmapPtr image = MakePaletteImage(2, 1, {0x0000FF, 0xFF0000});
    const QImage rendered = BitmapToQImage(*image);
    QCOMPARE(rendered.format(), QImage::Format_ARGB32);
    QCOMPARE(rendered.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(rendered.pixel(1, 0), qRgb(0, 0, 255));
  }

  void transparencyByteBecomesAlphaOnlyWithHasAlpha() {
    const std::vector<Color> pixels = {0x80102030, 0x00112233};
    BitmapPtr withAlpha = MakeTrueColorImage(2, 1, pixels, true);
    BitmapPtr without = MakeTrueColorImage(2, 1, pixels, false);
    QCOMPARE(BitmapToQImage(*withAlpha).pixel(0, 0), qRgba(0x30, 0x20, 0x10, 0xFF - 0x80));
    QCOMPARE(BitmapToQImage(*withAlpha).pixel(1, 0), qRgba(0x33, 0x22, 0x11, 0xFF));
    QCOMPARE(BitmapToQImage(*without).pixel(0, 0), qRgba(0x30, 0x20, 0x10, 0xFF));
  }

  void qtImageBecomesBottomUpTrueColourBitmap() {
    QImage image(2, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 255));
    image.setPixel(1, 0, qRgba(0, 255, 0, 0x40));
    image.setPixel(0, 1, qRgba(0, 0, 255, 255));
    image.setPixel(1, 1, qRgba(1, 2, 3, 255));
    sys::Context ctx;
    BitmapPtr bitmap = QImageToBitmap(image, ctx);
    QVERIFY(bitmap);
    QCOMPARE(bitmap->BitsPerPixel, 32);
    QCOMPARE(bitmap->NumColors, 0);
    QCOMPARE(bitmap->HasAlpha, 1);
    QCOMPARE(Bitmap_GetPixel(*bitmap, 0, 0), 0x000000FFu);
    QCOMPARE(Bitmap_GetPixel(*bitmap, 1, 0), 0xBF00FF00u);
    QCOMPARE(Bitmap_GetPixel(*bitmap, 0, 1), 0x00FF0000u);
    QCOMPARE(Bitmap_GetPixel(*bitmap, 1, 1), 0x00030201u);
    // The bottom picture row is stored first.
    QCOMPARE(bitmap->pData[0], std::uint8_t{0xFF});  // blue of (0, 1)
  }

  void opaqueQtImageGivesNoAlphaFlag() {
    QImage image(3, 1, QImage::Format_RGB32);
    image.fill(qRgb(9, 8, 7));
    sys::Context ctx;
    BitmapPtr bitmap = QImageToBitmap(image, ctx);
    QVERIFY(bitmap);
    QCOMPARE(bitmap->HasAlpha, 0);
    QCOMPARE(Bitmap_GetPixel(*bitmap, 2, 0), 0x00070809u);
  }

  void startsEmptyWithPlaceholderTexts() {
    ShowImage view;
    QCOMPARE(view.ResolutionText(), QString("Resolution:"));
    QCOMPARE(view.ColorsText(), QString("Colors:"));
    QCOMPARE(view.ZoomText(), QString("Zoom:"));
    QCOMPARE(view.TransparencyText(), QString("Transparent"));
    QCOMPARE(view.Zoom(), 2000);
    QVERIFY(view.FullImage().isNull());
  }

  void informationLinesDescribeTheImage() {
    ShowImage view;
    BitmapPtr palette = MakePaletteImage(7, 3, {0x00A1B2C3, 0xFFFFFF, 0, 1, 2});
    palette->HasTrans = 1;
    view.SetImage(palette.get());
    QCOMPARE(view.ResolutionText(), QString("7 * 3"));
    QCOMPARE(view.ColorsText(), QString("5"));
    QCOMPARE(view.ZoomText(), QString("200 %"));
    QCOMPARE(view.TransparencyText(), QString("Yes, Color: 0xA1B2C3"));
    QCOMPARE(view.Strip()->Count(), 5);

    palette->HasTrans = 0;
    view.SetImage(palette.get());
    QCOMPARE(view.TransparencyText(), QString("-"));

    BitmapPtr argb = MakeTrueColorImage(1, 1, {0xFF000000}, true);
    argb->HasTrans = 1;  // without a palette there is no transparent entry to show
    view.SetImage(argb.get());
    QCOMPARE(view.ColorsText(), QString("ARGB"));
    QCOMPARE(view.TransparencyText(), QString("-"));
    QCOMPARE(view.Strip()->Count(), 0);

    BitmapPtr rgb = MakeTrueColorImage(1, 1, {0});
    view.SetImage(rgb.get());
    QCOMPARE(view.ColorsText(), QString("RGB"));
  }

  // --- zoom and scrolling ---------------------------------------------------

  void zoomStepsMultiplyAndStayInTheirLimits() {
    ShowImage view;
    BitmapPtr image = MakeTrueColorImage(10, 4, std::vector<Color>(40, 0));
    view.SetImage(image.get());
    int presses = 0;
    for (int before = 0; view.Zoom() != before; ++presses) {
      before = view.Zoom();
      view.ZoomIn();
      if (view.Zoom() != before) QVERIFY2(view.Zoom() * 10 >= before * 12, qPrintable(view.ZoomText()));
    }
    QVERIFY2(presses - 1 <= 8, "2.0 to 25 takes a handful of presses");
    QCOMPARE(view.Zoom(), 25000);
    QCOMPARE(view.ZoomText(), QString("2500 %"));
    QCOMPARE(view.ScaledSize(), QSize(250, 100));
    for (int i = 0; i < 30; ++i) view.ZoomOut();
    QCOMPARE(view.Zoom(), 100);
    QCOMPARE(view.ZoomText(), QString("10 %"));
    QCOMPARE(view.ScaledSize(), QSize(1, 1));  // 10 x 4 at 0.1 still shows a pixel
    view.ZoomIn();
    QCOMPARE(view.ZoomText(), QString("12.5 %"));
    view.ZoomToActualSize();
    QCOMPARE(view.ZoomText(), QString("100 %"));
    QCOMPARE(view.ScaledSize(), QSize(10, 4));
  }

  void zoomFromAnyFactorGoesToTheNeighbouringStep() {
    ShowImage view;
    BitmapPtr image = MakeTrueColorImage(10, 4, std::vector<Color>(40, 0));
    view.SetImage(image.get());
    view.SetZoom(2200);
    QCOMPARE(view.ZoomText(), QString("220 %"));
    view.ZoomIn();
    QVERIFY(view.Zoom() > 2200);
    view.SetZoom(2200);
    view.ZoomOut();
    QCOMPARE(view.Zoom(), 2000);
    view.SetZoom(99999);
    QCOMPARE(view.Zoom(), ShowImage::kMaxZoom);
  }

  void fitToWindowShowsTheWholePictureWithoutScrollBars() {
    ShowImage view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    BitmapPtr wide = MakeTrueColorImage(1000, 100, std::vector<Color>(100000, 0));
    view.SetImage(wide.get());
    QCoreApplication::processEvents();
    QVERIFY(view.ScrollArea()->horizontalScrollBar()->maximum() > 0);  // 2000 pixels wide at 2.0

    view.ZoomToFit();
    QCoreApplication::processEvents();
    const QSize room = view.ScrollArea()->viewport()->size();
    QVERIFY2(view.Canvas()->width() <= room.width(), qPrintable(view.ZoomText()));
    QCOMPARE(view.ScrollArea()->horizontalScrollBar()->maximum(), 0);
    // One step closer would not fit any more.
    QVERIFY(view.ScaledSize().width() * 5 / 4 + 2 * ImageCanvas::kMargin > room.width());

    BitmapPtr tiny = MakeTrueColorImage(2, 2, std::vector<Color>(4, 0));
    view.SetImage(tiny.get());
    view.ZoomToFit();
    QCOMPARE(view.Zoom(), ShowImage::kMaxZoom);  // a small picture grows only so far
  }

  void draggingPansAPictureLargerThanTheWindow() {
    ShowImage view;
    view.resize(300, 250);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    BitmapPtr image = MakeTrueColorImage(400, 300, std::vector<Color>(120000, 0));
    view.SetImage(image.get());
    QCoreApplication::processEvents();
    QScrollBar* h = view.ScrollArea()->horizontalScrollBar();
    QScrollBar* v = view.ScrollArea()->verticalScrollBar();
    QVERIFY(h->maximum() > 100);
    QVERIFY(v->maximum() > 100);
    QWidget* canvas = view.Canvas();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, QPoint(150, 150));
    QTest::mouseMove(canvas, QPoint(110, 120));
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, QPoint(110, 120));
    QCOMPARE(h->value(), 40);  // the picture follows the pointer
    QCOMPARE(v->value(), 30);
  }

  void controlWheelZoomsAroundThePointerAndPlainWheelScrolls() {
    ShowImage view;
    view.resize(300, 250);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    BitmapPtr image = MakeTrueColorImage(400, 300, std::vector<Color>(120000, 0));
    view.SetImage(image.get());
    QCoreApplication::processEvents();
    QWidget* viewport = view.ScrollArea()->viewport();
    const QPoint at(100, 80);
    auto wheel = [&](Qt::KeyboardModifiers modifiers, int delta) {
      QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewport, &event);
    };
    QPoint pixelBefore;
    QVERIFY(view.Canvas()->PixelAt(view.Canvas()->mapFrom(viewport, at), pixelBefore));
    wheel(Qt::ControlModifier, QWheelEvent::DefaultDeltasPerStep);
    QCOMPARE(view.Zoom(), 3000);
    QPoint pixelAfter;
    QVERIFY(view.Canvas()->PixelAt(view.Canvas()->mapFrom(viewport, at), pixelAfter));
    QVERIFY2((pixelAfter - pixelBefore).manhattanLength() <= 1, "the pixel under the pointer stays under it");
    wheel(Qt::ControlModifier, -QWheelEvent::DefaultDeltasPerStep);
    QCOMPARE(view.Zoom(), 2000);

    const int scrolledBefore = view.ScrollArea()->verticalScrollBar()->value();
    wheel(Qt::NoModifier, -QWheelEvent::DefaultDeltasPerStep);
    QCOMPARE(view.Zoom(), 2000);
    QVERIFY(view.ScrollArea()->verticalScrollBar()->value() > scrolledBefore);
  }

  // The menu's and the keys' zoom keeps the middle of the view in place.
  void keyboardZoomKeepsTheCentreOfTheView() {
    ShowImage view;
    view.resize(300, 250);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    BitmapPtr image = MakeTrueColorImage(400, 300, std::vector<Color>(120000, 0));
    view.SetImage(image.get());
    QCoreApplication::processEvents();
    QWidget* viewport = view.ScrollArea()->viewport();
    view.ScrollArea()->horizontalScrollBar()->setValue(200);
    view.ScrollArea()->verticalScrollBar()->setValue(150);
    const QPoint centre = viewport->rect().center();
    const auto pixelAtCentre = [&] {
      QPoint pixel;
      view.Canvas()->PixelAt(view.Canvas()->mapFrom(viewport, centre), pixel);
      return pixel;
    };
    const QPoint before = pixelAtCentre();
    for (void (ShowImage::*zoom)() : {&ShowImage::ZoomIn, &ShowImage::ZoomOut, &ShowImage::ZoomOut}) {
      (view.*zoom)();
      QCoreApplication::processEvents();
      QVERIFY2((pixelAtCentre() - before).manhattanLength() <= 2, qPrintable(view.ZoomText()));
    }
  }

  // A picture that has just arrived is seen whole: at 200 % where that fits,
  // else fitted; and the empty view's placeholder is not cut off.
  void newPicturesOpenWhole() {
    ShowImage view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.Canvas()->width() >= view.Canvas()->fontMetrics().horizontalAdvance("No bitmap"));
    BitmapPtr photo = MakeTrueColorImage(2000, 300, std::vector<Color>(2000 * 300, 0));
    view.SetImage(photo.get());
    view.ZoomForNewPicture();
    QCoreApplication::processEvents();
    QVERIFY2(view.Zoom() < 1000, qPrintable(view.ZoomText()));
    QCOMPARE(view.ScrollArea()->horizontalScrollBar()->maximum(), 0);
    BitmapPtr icon = MakeTrueColorImage(16, 16, std::vector<Color>(256, 0));
    view.SetImage(icon.get());
    view.ZoomForNewPicture();
    QCOMPARE(view.Zoom(), ShowImage::kStartZoom);
  }

  void hoveringReportsThePixelUnderThePointer() {
    ShowImage view;
    view.resize(300, 250);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    BitmapPtr image = MakeTrueColorImage(10, 10, std::vector<Color>(100, 0));
    view.SetImage(image.get());  // zoom 2.0: each pixel 2 x 2
    QSignalSpy hovered(&view, &ShowImage::PixelHovered);
    QSignalSpy left(&view, &ShowImage::HoverLeft);
    const QPoint origin = view.Canvas()->ImageOrigin();
    QTest::mouseMove(view.Canvas(), origin + QPoint(7, 19));
    QTRY_VERIFY(!hovered.isEmpty());
    QCOMPARE(hovered.last().first().toPoint(), QPoint(3, 9));
    QTest::mouseMove(view.Canvas(), origin + QPoint(21, 3));  // right of the picture
    QTRY_VERIFY(!left.isEmpty());
  }

  // --- palette strip --------------------------------------------------------

  void paletteStripWrapsToItsWidth() {
    PaletteStrip strip;
    std::vector<Color> many(256);
    for (int i = 0; i < 256; ++i) many[static_cast<std::size_t>(i)] = static_cast<Color>(i * 0x010101);
    BitmapPtr image = MakePaletteImage(2, 2, many);
    strip.SetPalette(*image);
    const int step = PaletteStrip::kCellSize + PaletteStrip::kGap;
    strip.resize(40 * step, strip.heightForWidth(40 * step));
    QCOMPARE(strip.Columns(), 40);
    QCOMPARE(strip.height(), 7 * step - PaletteStrip::kGap);  // 256 cells in rows of 40
    QCOMPARE(strip.CellRect(41).topLeft(), QPoint(step, step));
    QVERIFY(strip.heightForWidth(10 * step) > strip.heightForWidth(40 * step));  // narrower, taller

    QCOMPARE(strip.IndexAt(strip.CellRect(41).center()), 41);
    QCOMPARE(strip.IndexAt(QPoint(PaletteStrip::kCellSize, 1)), -1);  // in the gap
    QCOMPARE(strip.IndexAt(QPoint(1, 7 * step)), -1);                  // below the last row
  }

  void paletteStripCellsAreFramedAndNameTheirColour() {
    PaletteStrip strip;
    BitmapPtr image = MakePaletteImage(2, 2, {0x0000FF, 0x3080C0});  // red; 0xC08030
    image->HasTrans = 1;
    strip.SetPalette(*image);
    strip.resize(200, strip.heightForWidth(200));
    const QImage shot = strip.grab().toImage();
    const QRect second = strip.CellRect(1);
    QCOMPARE(shot.pixel(second.center()), qRgb(0xC0, 0x80, 0x30));
    QVERIFY(qGray(shot.pixel(second.topLeft())) < 100);  // the frame
    QCOMPARE(shot.pixel(strip.CellRect(0).topLeft() + QPoint(3, 3)), qRgb(255, 0, 0));

    QCOMPARE(strip.ToolTipFor(1), QString("Index 1: #C08030 (0x3080c0)"));
    QCOMPARE(strip.ToolTipFor(0), QString("Index 0: #FF0000 (0x0000ff), transparent"));
    QVERIFY(strip.ToolTipFor(2).isEmpty());
  }

  void paletteStripFollowsTheViewWidth() {
    ShowImage view;
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    std::vector<Color> many(256, 0x00FF00);
    BitmapPtr image = MakePaletteImage(2, 2, many);
    view.SetImage(image.get());
    QCoreApplication::processEvents();
    const int wideHeight = view.Strip()->height();
    view.resize(300, 400);
    QCoreApplication::processEvents();
    QTRY_VERIFY(view.Strip()->height() > wideHeight);
    QVERIFY(view.Strip()->width() <= 300);

    BitmapPtr rgb = MakeTrueColorImage(1, 1, {0});
    view.SetImage(rgb.get());
    QVERIFY(view.Strip()->isHidden());
  }

  // --- painting -------------------------------------------------------------

  void rendersImageAtZoomTwoWithOutline() {
    ShowImage view;
    view.SetViewOption(1, 0);
    const std::vector<Color> pixels = {0x0000FF, 0x00FF00, 0xFF0000,   // red, green, blue
                                       0xFFFFFF, 0x000000, 0x123456};  // white, black, 0x563412
    BitmapPtr image = MakeTrueColorImage(3, 2, pixels);
    view.SetImage(image.get());
    QCOMPARE(view.ScaledSize(), QSize(6, 4));
    const QImage shot = view.Canvas()->grab().toImage();
    const QPoint origin = view.Canvas()->ImageOrigin();
    const QRgb expected[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                                 {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0x56, 0x34, 0x12)}};
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            QCOMPARE(shot.pixel(origin.x() + 2 * x + dx, origin.y() + 2 * y + dy), expected[y][x]);
      }
    }
    // Outline from (x - 2, y - 2) to (x + width, y + height); the column
    // between it and the picture stays white.
    QCOMPARE(shot.pixel(origin.x() - 2, origin.y() - 2), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() - 2, origin.y() + 3), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() - 1, origin.y() + 3), qRgb(255, 255, 255));
    QCOMPARE(shot.pixel(origin.x() + 6, origin.y() + 4), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() + 3, origin.y() + 4), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() + 3, origin.y() + 5), qRgb(255, 255, 255));
  }

  void transparentPixelsShowTheBackground() {
    ShowImage view;
    BitmapPtr image = MakeTrueColorImage(10, 10, std::vector<Color>(100, 0xFF000000), true);
    view.SetViewOption(2, 0x00336699);
    view.SetImage(image.get());
    QVERIFY(!view.TimerRunning());
    QImage shot = view.Canvas()->grab().toImage();
    const QPoint origin = view.Canvas()->ImageOrigin();
    QCOMPARE(shot.pixel(origin + QPoint(3, 3)), qRgb(0x33, 0x66, 0x99));

    view.SetViewOption(1, 0x00336699);
    shot = view.Canvas()->grab().toImage();
    const QRgb tile = shot.pixel(origin + QPoint(3, 3));
    QVERIFY(tile == kTileGrey || tile == kTileLightGrey);
    // Neighbouring 5 x 5 squares of the chequer differ.
    const QPoint tileOrigin = origin - QPoint(origin.x() % 10, origin.y() % 10) + QPoint(10, 10);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(1, 1)), kTileGrey);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(6, 1)), kTileLightGrey);

    view.OnTimer();  // the other phase exchanges the two greys
    shot = view.Canvas()->grab().toImage();
    QCOMPARE(shot.pixel(tileOrigin + QPoint(1, 1)), kTileLightGrey);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(6, 1)), kTileGrey);
  }

  void transparentPaletteEntryShowsTheBackground() {
    ShowImage view;
    view.SetViewOption(2, 0x00336699);
    BitmapPtr image = MakePaletteImage(2, 1, {0x0000FF, 0x00FF00});  // pixel 0 entry 0 (red), pixel 1 green
    view.SetImage(image.get());
    const QPoint origin = view.Canvas()->ImageOrigin();
    QImage shot = view.Canvas()->grab().toImage();
    QCOMPARE(shot.pixel(origin), qRgb(255, 0, 0));

    image->HasTrans = 1;
    view.SetImage(image.get());
    shot = view.Canvas()->grab().toImage();
    QCOMPARE(shot.pixel(origin), qRgb(0x33, 0x66, 0x99));
    QCOMPARE(shot.pixel(origin + QPoint(2, 0)), qRgb(0, 255, 0));
    // The clipboard's copy keeps the entry's colour.
    QCOMPARE(BitmapToQImage(*image).pixel(0, 0), qRgb(255, 0, 0));
  }

  void timerRunsOnlyForAlternatingTiles() {
    ShowImage view;
    QVERIFY(!view.TimerRunning());
    view.SetViewOption(0, 0);
    QVERIFY(view.TimerRunning());  // also before any image
    view.SetViewOption(2, 0xFF);
    QVERIFY(!view.TimerRunning());
    QCOMPARE(view.ViewOption(), 2);
    view.SetViewOption(0, 0);
    QVERIFY(view.TimerRunning());
    const int phase = view.TilePhase();
    QTRY_VERIFY_WITH_TIMEOUT(view.TilePhase() != phase, 2000);
    BitmapPtr image = MakeTrueColorImage(1, 1, {0});
    view.SetImage(image.get());
    QVERIFY(view.TimerRunning());
    view.SetImage(nullptr);
    QVERIFY(!view.TimerRunning());
  }

  void showsNoBitmapBeforeTheFirstImage() {
    ShowImage view;
    view.Canvas()->resize(200, 100);
    const QImage shot = view.Canvas()->grab().toImage();
    bool anyDark = false;
    for (int y = 0; y < 40 && !anyDark; ++y)
      for (int x = 0; x < 120 && !anyDark; ++x) anyDark = qGray(shot.pixel(x, y)) < 128;
    QVERIFY(anyDark);  // the "No bitmap" text
    QCOMPARE(shot.pixel(190, 90), qRgb(255, 255, 255));
  }
};

RASTRA_GUI_TEST_MAIN(TestImageView)
#include "test_image_view.moc"

using namespace rastra;  // NOLINT(google-build-using-namespace)

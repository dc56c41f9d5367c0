// The image view: rendering, information lines, zoom, palette strip,
// backgrounds and the tile timer; and the Bitmap <-> QImage conversions.
#include <QtTest/QtTest>

#include "GuiTestSupport.h"
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
    QCOMPARE(view.ZoomText(), QString("2.0"));
    QCOMPARE(view.TransparencyText(), QString("Yes, Color: 0xA1B2C3"));

    palette->HasTrans = 0;
    view.SetImage(palette.get());
    QCOMPARE(view.TransparencyText(), QString("-"));

    BitmapPtr argb = MakeTrueColorImage(1, 1, {0xFF000000}, true);
    argb->HasTrans = 1;  // without a palette there is no transparent entry to show
    view.SetImage(argb.get());
    QCOMPARE(view.ColorsText(), QString("ARGB"));
    QCOMPARE(view.TransparencyText(), QString("-"));
    QCOMPARE(view.PaletteEntryWidth(), 0);

    BitmapPtr rgb = MakeTrueColorImage(1, 1, {0});
    view.SetImage(rgb.get());
    QCOMPARE(view.ColorsText(), QString("RGB"));
  }

  void zoomStepsAndLimits() {
    ShowImage view;
    BitmapPtr image = MakeTrueColorImage(10, 4, std::vector<Color>(40, 0));
    view.SetImage(image.get());
    for (int i = 0; i < 9; ++i) view.ZoomIn();
    QCOMPARE(view.ZoomText(), QString("2.9"));
    // 29 x 11 holds the 10 x 4 picture at 27 x 11 with its aspect ratio kept.
    QCOMPARE(view.ScaledSize(), QSize(27, 11));
    for (int i = 0; i < 300; ++i) view.ZoomIn();
    QCOMPARE(view.Zoom(), 25000);
    QCOMPARE(view.ZoomText(), QString("25.0"));
    QCOMPARE(view.ScaledSize(), QSize(250, 100));
    for (int i = 0; i < 300; ++i) view.ZoomOut();
    QCOMPARE(view.Zoom(), 100);
    QCOMPARE(view.ZoomText(), QString("0.1"));
    QCOMPARE(view.ScaledSize(), QSize(1, 1));  // 10 x 4 at 0.1 still shows a pixel
    view.ZoomIn();
    view.ZoomIn();
    view.ZoomIn();
    view.ZoomIn();
    QCOMPARE(view.ZoomText(), QString("0.5"));
    QCOMPARE(view.ScaledSize(), QSize(5, 2));
  }

  void paletteStripWidthFollowsEntryCount() {
    ShowImage view;
    if (view.logicalDpiX() > 96) QSKIP("strip widths below are those of a 96 dpi screen");
    BitmapPtr two = MakePaletteImage(2, 2, {0x0000FF, 0x00FF00});
    view.SetImage(two.get());
    QCOMPARE(view.PaletteEntryWidth(), 640);
    std::vector<Color> many(256);
    for (int i = 0; i < 256; ++i) many[static_cast<std::size_t>(i)] = static_cast<Color>(i);
    BitmapPtr full = MakePaletteImage(2, 2, many);
    view.SetImage(full.get());
    QCOMPARE(view.PaletteEntryWidth(), 5);
  }

  void paintsPaletteStripColours() {
    ShowImage view;
    view.resize(1600, 200);
    BitmapPtr two = MakePaletteImage(2, 2, {0x0000FF, 0xFF0000});
    view.SetImage(two.get());
    const QImage shot = view.grab().toImage();
    const int left = view.PaletteStripLeft();
    const int top = view.PaletteStripTop();
    const int width = view.PaletteEntryWidth();
    QCOMPARE(shot.pixel(left + 1, top + 1), qRgb(255, 0, 0));
    QCOMPARE(shot.pixel(left + width - 1, top + 1), qRgb(255, 0, 0));
    QCOMPARE(shot.pixel(left + width + 1, top + 1), qRgb(0, 0, 255));
    QCOMPARE(shot.pixel(left - 1, top + 1), qRgb(255, 255, 255));
  }

  void rendersImageAtZoomTwoWithOutline() {
    ShowImage view;
    view.resize(300, 200);
    view.SetViewOption(1, 0);
    const std::vector<Color> pixels = {0x0000FF, 0x00FF00, 0xFF0000,   // red, green, blue
                                       0xFFFFFF, 0x000000, 0x123456};  // white, black, 0x563412
    BitmapPtr image = MakeTrueColorImage(3, 2, pixels);
    view.SetImage(image.get());
    QCOMPARE(view.ScaledSize(), QSize(6, 4));
    const QImage shot = view.grab().toImage();
    const QPoint origin = view.ImageOrigin();
    const QRgb expected[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                                 {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0x56, 0x34, 0x12)}};
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            QCOMPARE(shot.pixel(origin.x() + 2 * x + dx, origin.y() + 2 * y + dy), expected[y][x]);
      }
    }
    // Outline from (8, y - 2) to (10 + width, y + height); column 9 stays white.
    QCOMPARE(shot.pixel(8, origin.y() - 2), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(8, origin.y() + 3), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(9, origin.y() + 3), qRgb(255, 255, 255));
    QCOMPARE(shot.pixel(origin.x() + 6, origin.y() + 4), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() + 3, origin.y() + 4), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(origin.x() + 3, origin.y() + 5), qRgb(255, 255, 255));
  }

  void transparentPixelsShowTheBackground() {
    ShowImage view;
    view.resize(200, 200);
    BitmapPtr image = MakeTrueColorImage(10, 10, std::vector<Color>(100, 0xFF000000), true);
    view.SetViewOption(2, 0x00336699);
    view.SetImage(image.get());
    QVERIFY(!view.TimerRunning());
    QImage shot = view.grab().toImage();
    const QPoint origin = view.ImageOrigin();
    QCOMPARE(shot.pixel(origin + QPoint(3, 3)), qRgb(0x33, 0x66, 0x99));

    view.SetViewOption(1, 0x00336699);
    shot = view.grab().toImage();
    const QRgb tile = shot.pixel(origin + QPoint(3, 3));
    QVERIFY(tile == kTileGrey || tile == kTileLightGrey);
    // Neighbouring 5 x 5 squares of the chequer differ.
    const QPoint tileOrigin = origin - QPoint(origin.x() % 10, origin.y() % 10) + QPoint(10, 10);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(1, 1)), kTileGrey);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(6, 1)), kTileLightGrey);

    view.OnTimer();  // the other phase exchanges the two greys
    shot = view.grab().toImage();
    QCOMPARE(shot.pixel(tileOrigin + QPoint(1, 1)), kTileLightGrey);
    QCOMPARE(shot.pixel(tileOrigin + QPoint(6, 1)), kTileGrey);
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
    view.resize(200, 100);
    const QImage shot = view.grab().toImage();
    bool anyDark = false;
    for (int y = 0; y < 40 && !anyDark; ++y)
      for (int x = 0; x < 120 && !anyDark; ++x) anyDark = qGray(shot.pixel(x, y)) < 128;
    QVERIFY(anyDark);  // the "No bitmap" text
    QCOMPARE(shot.pixel(190, 90), qRgb(255, 255, 255));
  }
};

RASTRA_GUI_TEST_MAIN(TestImageView)
#include "test_image_view.moc"

// The central widget of the main window: four information lines, the
// palette strip, and the current image at a zoom factor in a scroll area,
// over a background that makes transparency visible.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "image/Bitmap.h"

class QLabel;
class QScrollArea;
class QTimer;

namespace rastra {

class ImageCanvas;
class PaletteStrip;

class ShowImage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinZoom = 100;  // thousandths
  static constexpr int kMaxZoom = 25000;
  static constexpr int kStartZoom = 2000;
  static constexpr int kTimerInterval = 500;  // ms between the two tile phases
  // Zoom in and Zoom out go from one of these to the next, each about 1.25
  // to 1.5 times the one before, so 0.1 to 25 is a few presses apart.
  static constexpr std::array<int, 18> kZoomSteps = {100,  125,  167,  250,  333,  500,   667,   1000,  1500,
                                                     2000, 3000, 4000, 6000, 8000, 12000, 16000, 20000, 25000};

  explicit ShowImage(QWidget* parent = nullptr);

  // Option 0 alternating tiles, 1 tiles, 2 the colour bkColor (0x00RRGGBB).
  void SetViewOption(int option, std::uint32_t bkColor);
  // Renders the image once (or takes rendered, its RenderForView); the view
  // keeps no reference to it. Null clears the view's timer but keeps the
  // last picture.
  void SetImage(const Bitmap* image, const QImage* rendered = nullptr);
  // One zoom level in or out, keeping the point in the middle of the view
  // where it is.
  void ZoomIn();
  void ZoomOut();
  // The largest zoom at which the whole picture fits the visible area.
  void ZoomToFit();
  void ZoomToActualSize();
  // A picture that has just arrived (opened, pasted, made): at the start zoom
  // when that shows it whole, else fitted to the view.
  void ZoomForNewPicture();
  // Any zoom between kMinZoom and kMaxZoom (clamped).
  void SetZoom(int thousandths);
  // Steps zoom levels in (positive) or out, keeping the picture point under
  // viewportPoint (a point of the scroll area's viewport) where it is.
  void ZoomAround(int steps, QPoint viewportPoint);

  int Zoom() const { return zoom_; }
  QString ZoomText() const { return zoomText_; }
  QString ResolutionText() const { return resolutionText_; }
  QString ColorsText() const { return colorsText_; }
  QString TransparencyText() const { return transparencyText_; }
  int ViewOption() const { return viewOption_; }
  int TilePhase() const { return tilePhase_; }
  bool TimerRunning() const { return timer_ != nullptr; }
  // The 1:1 rendering (premultiplied ARGB) and the size it is painted at.
  const QImage& FullImage() const { return full_; }
  QSize ScaledSize() const { return scaledSize_; }
  ImageCanvas* Canvas() const { return canvas_; }
  PaletteStrip* Strip() const { return strip_; }
  QScrollArea* ScrollArea() const { return scroll_; }

 signals:
  // The pointer rests on picture pixel (x, y) of the shown image, or has left it.
  void PixelHovered(QPoint pixel);
  void HoverLeft();
  void ZoomChanged(int thousandths);

 public slots:
  void OnTimer();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void StartTimer();
  void StopTimer();
  void Rescale();
  // The zoom one level in or out of thousandths.
  static int NextZoom(int thousandths, bool in);
  // The zoom at which the whole picture fits the view; 0 without a picture.
  int FittingZoom();
  // Sets the zoom keeping the picture point under viewportPoint in place.
  void ZoomKeeping(int thousandths, QPoint viewportPoint);
  QPoint ViewCentre() const;
  void PanBy(QPoint delta);
  QWidget* BuildInfoLines();

  int viewOption_ = 0;
  std::uint32_t bkColor_ = 0;
  int tilePhase_ = 0;
  QTimer* timer_ = nullptr;
  QImage full_;
  QSize scaledSize_;
  QString resolutionText_;
  QString colorsText_;
  QString zoomText_;
  QString transparencyText_;
  int zoom_ = kStartZoom;
  QWidget* infoLines_ = nullptr;
  std::array<QLabel*, 4> values_{};  // resolution, colours, zoom, transparency
  PaletteStrip* strip_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  ImageCanvas* canvas_ = nullptr;
};

}  // namespace rastra

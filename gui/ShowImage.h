// The central widget of the main window: the current image at a zoom factor
// over a background that makes transparency visible, four information lines
// and a strip with the palette colours.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "image/Bitmap.h"

class QTimer;

class ShowImage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinZoom = 100;  // thousandths
  static constexpr int kMaxZoom = 25000;
  static constexpr int kZoomStep = 100;
  static constexpr int kStartZoom = 2000;
  static constexpr int kTimerInterval = 500;  // ms between the two tile phases

  explicit ShowImage(QWidget* parent = nullptr);

  // Option 0 alternating tiles, 1 tiles, 2 the colour bkColor (0x00RRGGBB).
  void SetViewOption(int option, std::uint32_t bkColor);
  // Renders the image once; the view keeps no reference to it. Null clears
  // the view's timer but keeps the last picture.
  void SetImage(const Bitmap* image);
  void ZoomIn();
  void ZoomOut();

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
  // Where the top-left pixel of the scaled image is painted.
  QPoint ImageOrigin() const;
  // Width of one palette entry in the strip, 0 without a palette.
  int PaletteEntryWidth() const;
  // Left edge and rows of the palette strip (top, height).
  int PaletteStripLeft() const;
  int PaletteStripTop() const;
  int LineHeight() const;

 public slots:
  void OnTimer();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void StartTimer();
  void StopTimer();
  void Rescale();
  int ValueColumn() const;

  int viewOption_ = 0;
  std::uint32_t bkColor_ = 0;
  int tilePhase_ = 0;
  QTimer* timer_ = nullptr;
  QImage full_;
  // The painter scales while drawing, so a high zoom of a large image costs no
  // giant scaled copy; only the visible part is ever produced.
  QSize scaledSize_;
  std::vector<QRgb> palette_;  // palette colours of the shown image, empty for true colour
  QString resolutionText_ = "Resolution:";
  QString colorsText_ = "Colors:";
  QString zoomText_ = "Zoom:";
  QString transparencyText_ = "Transparent";
  int zoom_ = kStartZoom;
  int width_ = 0;
  int height_ = 0;
};

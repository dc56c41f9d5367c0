// The picture itself at its zoom, over the background that shows
// transparency, with a thin outline. It lives in the view's scroll area and
// is exactly as large as the scaled picture and its margin.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>

namespace rastra {

// A 2 x 2 chequer of 5 x 5 squares in two greys; phase 1 has the colours of
// phase 0 exchanged.
const QPixmap& TilePicture(int phase);

class ImageCanvas : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMargin = 10;  // around the picture; the outline lies 2 pixels out

  explicit ImageCanvas(QWidget* parent = nullptr);

  // A premultiplied ARGB rendering at 1:1, painted at scaledSize.
  void SetPicture(const QImage& full, QSize scaledSize);
  void SetBackground(int viewOption, std::uint32_t bkColor, int tilePhase);
  QSize ScaledSize() const { return scaledSize_; }
  QPoint ImageOrigin() const { return {kMargin, kMargin}; }
  // The picture pixel under a point of the canvas; false outside the picture.
  bool PixelAt(QPoint canvasPoint, QPoint& pixel) const;

  QSize sizeHint() const override;

 signals:
  // The pointer rests on picture pixel (x, y), or has left the picture.
  void PixelHovered(QPoint pixel);
  void HoverLeft();
  // A drag with the left button moved the picture by delta (panning).
  void PanRequested(QPoint delta);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QImage full_;
  QSize scaledSize_;
  int viewOption_ = 0;
  std::uint32_t bkColor_ = 0;
  int tilePhase_ = 0;
  bool panning_ = false;
  QPoint lastPanPoint_;  // global position of the previous drag step
};

}  // namespace rastra

#include "gui/ImageCanvas.h"

#include <QBrush>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace rastra {

namespace {

constexpr int kTileSize = 10;
constexpr QRgb kTileGrey = 0xFF7F7F7F;
constexpr QRgb kTileLightGrey = 0xFFC3C3C3;

QPixmap MakeTile(QRgb topLeft, QRgb other) {
  QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
  for (int y = 0; y < kTileSize; ++y)
    for (int x = 0; x < kTileSize; ++x) tile.setPixel(x, y, ((x < 5) == (y < 5)) ? topLeft : other);
  return QPixmap::fromImage(tile);
}

}  // namespace

const QPixmap& TilePicture(int phase) {
  static const QPixmap tiles[2] = {MakeTile(kTileGrey, kTileLightGrey), MakeTile(kTileLightGrey, kTileGrey)};
  return tiles[phase & 1];
}

ImageCanvas::ImageCanvas(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAutoFillBackground(false);
}

void ImageCanvas::SetPicture(const QImage& full, QSize scaledSize) {
  full_ = full;
  scaledSize_ = scaledSize;
  resize(sizeHint());
  updateGeometry();
  update();
}

void ImageCanvas::SetBackground(int viewOption, std::uint32_t bkColor, int tilePhase) {
  viewOption_ = viewOption;
  bkColor_ = bkColor;
  tilePhase_ = tilePhase;
  update();
}

QSize ImageCanvas::sizeHint() const {
  // Room for the placeholder text while there is no picture.
  if (full_.isNull()) return fontMetrics().size(0, tr("No bitmap")) + QSize(2 * kMargin, 2 * kMargin);
  return scaledSize_ + QSize(2 * kMargin, 2 * kMargin);
}

bool ImageCanvas::PixelAt(QPoint canvasPoint, QPoint& pixel) const {
  if (full_.isNull() || scaledSize_.isEmpty()) return false;
  const QPoint inPicture = canvasPoint - ImageOrigin();
  if (inPicture.x() < 0 || inPicture.y() < 0 || inPicture.x() >= scaledSize_.width() ||
      inPicture.y() >= scaledSize_.height()) {
    return false;
  }
  pixel = QPoint(static_cast<int>(static_cast<long long>(inPicture.x()) * full_.width() / scaledSize_.width()),
                 static_cast<int>(static_cast<long long>(inPicture.y()) * full_.height() / scaledSize_.height()));
  return true;
}

void ImageCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::white);
  if (full_.isNull()) {
    painter.drawText(QPoint(kMargin, kMargin + fontMetrics().ascent()), tr("No bitmap"));
    return;
  }
  const QRect imageRect(ImageOrigin(), scaledSize_);
  if (viewOption_ == 2) {
    painter.fillRect(imageRect, QColor(static_cast<QRgb>(bkColor_)));
  } else {
    painter.fillRect(imageRect, QBrush(TilePicture(tilePhase_)));
  }
  // The painter scales only what is exposed, so a high zoom of a large
  // picture costs no giant scaled copy.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(imageRect, full_);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  // A 1-pixel outline two pixels left of and above the picture, touching it
  // on the right and below.
  painter.drawRect(QRect(imageRect.topLeft() - QPoint(2, 2), scaledSize_ + QSize(2, 2)));
}

void ImageCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  panning_ = true;
  lastPanPoint_ = event->globalPosition().toPoint();
  setCursor(Qt::ClosedHandCursor);
}

void ImageCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (panning_) {
    const QPoint now = event->globalPosition().toPoint();
    emit PanRequested(now - lastPanPoint_);
    lastPanPoint_ = now;
  }
  QPoint pixel;
  if (PixelAt(event->position().toPoint(), pixel)) {
    emit PixelHovered(pixel);
  } else {
    emit HoverLeft();
  }
}

void ImageCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && panning_) {
    panning_ = false;
    unsetCursor();
  }
}

void ImageCanvas::leaveEvent(QEvent* /*event*/) { emit HoverLeft(); }

}  // namespace rastra

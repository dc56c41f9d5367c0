#include "gui/ShowImage.h"

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QStaticText>
#include <QTimer>
#include <algorithm>

#include "gui/QtImage.h"

namespace {

constexpr int kLeft = 10;
constexpr int kTop = 5;
constexpr int kGapBelowLines = 10;
constexpr int kTileSize = 10;
constexpr QRgb kTileGrey = 0xFF7F7F7F;
constexpr QRgb kTileLightGrey = 0xFFC3C3C3;

// A 2 x 2 chequer of 5 x 5 squares; phase 0 has grey at top left and bottom
// right, phase 1 the colours exchanged.
const QPixmap& TilePicture(int phase) {
  static const QPixmap tiles[2] = {
      [] {
        QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
        for (int y = 0; y < kTileSize; ++y)
          for (int x = 0; x < kTileSize; ++x) tile.setPixel(x, y, ((x < 5) == (y < 5)) ? kTileGrey : kTileLightGrey);
        return QPixmap::fromImage(tile);
      }(),
      [] {
        QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
        for (int y = 0; y < kTileSize; ++y)
          for (int x = 0; x < kTileSize; ++x) tile.setPixel(x, y, ((x < 5) == (y < 5)) ? kTileLightGrey : kTileGrey);
        return QPixmap::fromImage(tile);
      }(),
  };
  return tiles[phase & 1];
}

QFont ViewFont() {
  QFont font("Netto", 10);
  font.setStyleHint(QFont::SansSerif);  // the system sans font when Netto is missing
  return font;
}

QRgb OpaquePaletteColor(Color color) {
  return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
              static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace

ShowImage::ShowImage(QWidget* parent) : QWidget(parent) {
  setFont(ViewFont());
  setAutoFillBackground(false);
}

void ShowImage::SetViewOption(int option, std::uint32_t bkColor) {
  if (option != viewOption_) viewOption_ = option;
  if (viewOption_ != 0) {
    StopTimer();
  } else if (timer_ == nullptr) {
    StartTimer();
  }
  bkColor_ = bkColor;
  update();
}

void ShowImage::SetImage(const Bitmap* image) {
  if (image == nullptr) {
    StopTimer();
    update();
    return;
  }
  width_ = image->XSize;
  height_ = image->YSize;
  full_ = BitmapToQImage(*image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  palette_.clear();
  for (int i = 0; i < image->NumColors; ++i) palette_.push_back(OpaquePaletteColor(Bitmap_GetPalColor(*image, i)));
  resolutionText_ = QString("%1 * %2").arg(width_).arg(height_);
  if (image->NumColors > 0) {
    colorsText_ = QString("%1").arg(image->NumColors);
  } else {
    colorsText_ = image->HasAlpha != 0 ? "ARGB" : "RGB";
  }
  if (image->HasTrans != 0 && image->NumColors > 0) {
    const Color entry0 = Bitmap_GetPalColor(*image, 0);
    transparencyText_ = "Yes, Color: 0x" + QString("%1").arg(entry0, 6, 16, QChar('0')).toUpper();
  } else {
    transparencyText_ = "-";
  }
  if (viewOption_ != 0) {
    StopTimer();
  } else if (timer_ == nullptr) {
    StartTimer();
  }
  Rescale();
}

void ShowImage::ZoomIn() {
  zoom_ = std::min(zoom_ + kZoomStep, kMaxZoom);
  Rescale();
}

void ShowImage::ZoomOut() {
  zoom_ = std::max(zoom_ - kZoomStep, kMinZoom);
  Rescale();
}

void ShowImage::OnTimer() {
  tilePhase_ ^= 1;
  update();
}

void ShowImage::StartTimer() {
  timer_ = new QTimer(this);  // owned by the view
  connect(timer_, &QTimer::timeout, this, &ShowImage::OnTimer);
  timer_->start(kTimerInterval);
}

void ShowImage::StopTimer() {
  if (timer_ == nullptr) return;
  timer_->stop();
  timer_->deleteLater();
  timer_ = nullptr;
}

void ShowImage::Rescale() {
  if (!full_.isNull()) {
    const QSize wanted(static_cast<int>(static_cast<long long>(width_) * zoom_ / 1000),
                       static_cast<int>(static_cast<long long>(height_) * zoom_ / 1000));
    // A picture thinner than one pixel at this zoom still shows one pixel.
    scaledSize_ = QSize(width_, height_).scaled(wanted, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  }
  zoomText_ = QString("%1.%2").arg(zoom_ / 1000).arg((zoom_ % 1000) / 100);
  update();
}

int ShowImage::LineHeight() const { return fontMetrics().height(); }

int ShowImage::ValueColumn() const { return fontMetrics().horizontalAdvance("Transparent") + 20; }

QPoint ShowImage::ImageOrigin() const { return QPoint(kLeft, kTop + 4 * LineHeight() + kGapBelowLines); }

int ShowImage::PaletteEntryWidth() const {
  const int n = static_cast<int>(palette_.size());
  if (n == 0) return 0;
  const int dpi = std::max(96, logicalDpiX());
  return ((dpi * 5) / 96) * 256 / n;
}

int ShowImage::PaletteStripLeft() const { return ValueColumn() + fontMetrics().horizontalAdvance("256") + 30; }

int ShowImage::PaletteStripTop() const { return kTop + 2 * LineHeight(); }

void ShowImage::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.setFont(font());
  if (full_.isNull()) {
    painter.drawStaticText(QPoint(kLeft, kTop), QStaticText("No bitmap"));
    return;
  }
  const int h = LineHeight();
  const int valueX = ValueColumn();
  int y = kTop;
  const QString labels[4] = {"Resolution:", "Colors:", "Zoom:", "Transparent"};
  const QString values[4] = {resolutionText_, colorsText_, zoomText_, transparencyText_};
  for (int line = 0; line < 4; ++line) {
    painter.drawStaticText(QPoint(kLeft, y), QStaticText(labels[line]));
    painter.drawStaticText(QPoint(valueX, y), QStaticText(values[line]));
    y += h;
  }
  y += kGapBelowLines;

  const int entryWidth = PaletteEntryWidth();
  const int stripLeft = PaletteStripLeft();
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    painter.fillRect(stripLeft + static_cast<int>(i) * entryWidth, PaletteStripTop(), entryWidth, h,
                     QColor(palette_[i]));
  }

  const QRect imageRect(QPoint(kLeft, y), scaledSize_);
  if (viewOption_ == 2) {
    painter.fillRect(imageRect, QColor(static_cast<QRgb>(bkColor_)));
  } else {
    painter.fillRect(imageRect, QBrush(TilePicture(tilePhase_)));
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(imageRect, full_);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  // A 1-pixel outline covers its rectangle's size plus one: columns 8 to
  // 10 + width, rows y - 2 to y + height.
  painter.drawRect(QRect(8, y - 2, scaledSize_.width() + 2, scaledSize_.height() + 2));
}

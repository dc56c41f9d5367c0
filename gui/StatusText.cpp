#include "gui/StatusText.h"

#include <QColor>

namespace rastra {

namespace {

QString HexRgb(Color color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF))
      .name(QColor::HexRgb)
      .toUpper();
}

}  // namespace

QString StatusText::ImageSummary(const Bitmap& image) {
  QString text = tr("%1 x %2 pixels").arg(image.XSize).arg(image.YSize);
  if (image.NumColors > 0) {
    text += tr(", palette of %1 colors").arg(image.NumColors);
    if (image.HasTrans != 0) text += tr(", entry 0 transparent");
  } else if (image.HasAlpha != 0) {
    text += tr(", true color with alpha");
  } else {
    text += tr(", true color");
  }
  return text;
}

QString StatusText::PixelSummary(const Bitmap& image, int x, int y) {
  if (x < 0 || y < 0 || x >= image.XSize || y >= image.YSize) return {};
  const Color color = Bitmap_GetPixelColor(image, x, y);
  QString text = tr("x %1, y %2: %3").arg(x).arg(y).arg(HexRgb(color));
  if (image.NumColors > 0) {
    const auto index = static_cast<int>(Bitmap_GetPixel(image, x, y));
    text += tr(", index %1").arg(index);
    if (index == 0 && image.HasTrans != 0) text += tr(" (transparent)");
  } else if (image.HasAlpha != 0) {
    text += tr(", alpha %1").arg(255 - static_cast<int>(color >> 24));
  }
  return text;
}

}  // namespace rastra

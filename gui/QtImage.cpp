#include "gui/QtImage.h"

#include <array>

namespace rastra {

namespace {

QRgb ToQRgb(Color color, bool useTransparency) {
  const unsigned alpha = useTransparency ? 0xFFu - (color >> 24) : 0xFFu;
  return qRgba(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
               static_cast<int>((color >> 16) & 0xFF), static_cast<int>(alpha));
}

Color FromQRgb(QRgb pixel) {
  const auto transparency = static_cast<Color>(0xFF - qAlpha(pixel));
  return (transparency << 24) | (static_cast<Color>(qBlue(pixel)) << 16) | (static_cast<Color>(qGreen(pixel)) << 8) |
         static_cast<Color>(qRed(pixel));
}

}  // namespace

QImage BitmapToQImage(const Bitmap& bitmap, TransparentEntry transparentEntry) {
  if (bitmap.XSize <= 0 || bitmap.YSize <= 0) return {};
  QImage image(bitmap.XSize, bitmap.YSize, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  const bool useTransparency = bitmap.HasAlpha != 0;
  const bool hasPalette = bitmap.NumColors > 0;
  std::array<QRgb, 256> palette{};
  // Stray indexes beyond the palette read as colour 0, as Bitmap_GetPalColor does.
  for (int i = 0; i < 256; ++i) palette[i] = ToQRgb(Bitmap_GetPalColor(bitmap, i), useTransparency);
  if (hasPalette && bitmap.HasTrans != 0 && transparentEntry == TransparentEntry::kShown) palette[0] = qRgba(0, 0, 0, 0);
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* in = bitmap.Row(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    if (hasPalette) {
      for (int x = 0; x < bitmap.XSize; ++x) out[x] = palette[in[x]];
    } else {
      for (int x = 0; x < bitmap.XSize; ++x) out[x] = ToQRgb(Bitmap_LoadColor(in + 4 * x), useTransparency);
    }
  }
  return image;
}

QImage RenderForView(const Bitmap& bitmap) {
  return BitmapToQImage(bitmap, TransparentEntry::kShown).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

BitmapPtr QImageToBitmap(const QImage& source, sys::Context& ctx) {
  if (source.isNull() || source.width() <= 0 || source.height() <= 0) return nullptr;
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  BitmapPtr bitmap = Bitmap_Create(image.width(), image.height(), 0, ctx);
  if (!bitmap) return nullptr;
  bool anyTransparency = false;
  for (int y = 0; y < image.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint8_t* out = bitmap->Row(y);
    for (int x = 0; x < image.width(); ++x) {
      const Color color = FromQRgb(in[x]);
      anyTransparency = anyTransparency || (color >> 24) != 0;
      Bitmap_StoreColor(out + 4 * x, color);
    }
  }
  bitmap->HasAlpha = anyTransparency ? 1 : 0;
  return bitmap;
}

}  // namespace rastra

#include "image/Alpha.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace rastra {


namespace {

int Red(Color c) { return static_cast<int>(c & 0xFF); }
int Green(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

bool SameSize(const Bitmap& a, const Bitmap& b) { return a.XSize == b.XSize && a.YSize == b.YSize; }

void ReportSizeMismatch(sys::Context& ctx) {
  ctx.Fail(sys::Code::kBadArgument, "The images are not of the same size.");
}

// The picture with four bytes per pixel: b itself, or the true-colour copy of
// a palette image, kept in holder. Null when the copy could not be made.
const Bitmap* ThirtyTwoBits(const Bitmap& b, BitmapPtr& holder, sys::Context& ctx) {
  if (b.BitsPerPixel == 32) return &b;
  holder = Bitmap_ToTrueColor(b, ctx);
  return holder.get();
}

// Over black a pixel of opacity a and colour C shows a x C, over white
// a x C + (1 - a) x 255: their difference is the transparency, and scaling the
// black rendering by 255 / (255 - h) gives the colour back.
Color UnblendPixel(Color overBlack, Color overWhite) {
  if (overBlack == overWhite) return overBlack;
  const int h = (std::abs(Red(overWhite) - Red(overBlack)) + std::abs(Green(overWhite) - Green(overBlack)) +
                 std::abs(Blue(overWhite) - Blue(overBlack))) /
                3;
  if (h == 255) return 0xFF000000;
  const int factor = 25500 / (255 - h);  // 100 times 255 / (255 - h)
  // Renderings that do not match can ask for more than full intensity.
  const auto scale = [factor](int channel) { return static_cast<Color>(std::min(channel * factor / 100, 255)); };
  return (static_cast<Color>(h) << 24) + (scale(Blue(overBlack)) << 16) + (scale(Green(overBlack)) << 8) +
         scale(Red(overBlack));
}

}  // namespace

BitmapPtr CreateAlphaFromImages(const Bitmap& overBlack, const Bitmap& overWhite, sys::Context& ctx) {
  if (!SameSize(overBlack, overWhite)) {
    ReportSizeMismatch(ctx);
    return nullptr;
  }
  BitmapPtr blackCopy;
  BitmapPtr whiteCopy;
  const Bitmap* black32 = ThirtyTwoBits(overBlack, blackCopy, ctx);
  const Bitmap* white32 = ThirtyTwoBits(overWhite, whiteCopy, ctx);
  if (black32 == nullptr || white32 == nullptr) return nullptr;
  BitmapPtr result = Bitmap_Copy(*black32, ctx);
  if (!result) return nullptr;
  for (int y = 0; y < result->YSize; ++y) {
    const std::uint8_t* black = black32->Row(y);
    const std::uint8_t* white = white32->Row(y);
    std::uint8_t* out = result->Row(y);
    for (int x = 0; x < result->XSize; ++x) {
      const Color pixel = UnblendPixel(Bitmap_LoadColor(black + 4 * x), Bitmap_LoadColor(white + 4 * x));
      Bitmap_StoreColor(out + 4 * x, pixel);
    }
  }
  result->HasAlpha = 1;
  return result;
}

BitmapPtr ApplyAlphaMask(const Bitmap& current, const Bitmap& mask, sys::Context& ctx) {
  if (!SameSize(current, mask)) {
    ReportSizeMismatch(ctx);
    return nullptr;
  }
  BitmapPtr image = current.BitsPerPixel == 32 ? Bitmap_Copy(current, ctx) : Bitmap_ToTrueColor(current, ctx);
  BitmapPtr maskCopy;
  const Bitmap* mask32 = ThirtyTwoBits(mask, maskCopy, ctx);
  if (!image || mask32 == nullptr) return nullptr;
  for (int y = 0; y < image->YSize; ++y) {
    const std::uint8_t* in = mask32->Row(y);
    std::uint8_t* out = image->Row(y);
    for (int x = 0; x < image->XSize; ++x) {
      const Color m = Bitmap_LoadColor(in + 4 * x);
      const auto t = static_cast<Color>((Red(m) + Green(m) + Blue(m)) / 3);
      Bitmap_StoreColor(out + 4 * x, (t << 24) + (Bitmap_LoadColor(out + 4 * x) & 0xFFFFFF));
    }
  }
  image->HasAlpha = 1;
  return image;
}

}  // namespace rastra

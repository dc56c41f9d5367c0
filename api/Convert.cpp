// Conversions and edits of the library: each makes a new image and leaves
// its source as it was.
#include <rastra/convert.h>

#include <vector>

#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/FinePalette.h"
#include "image/ImageOps.h"
#include "image/SharedPalette.h"

namespace rastra {

namespace {

constexpr int kMaxScaledSize = 99999;

// Runs make on the source's Bitmap; an empty source or a null result is a
// failure with what ctx recorded.
template <class Make>
Result<Image> Derive(const Image& image, Make&& make) {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* source = ImageAccess::Get(image);
    if (source == nullptr) return Result<Image>(Refuse(ctx, Code::kNoImage, "there is no image to work on"), Image{});
    BitmapPtr made = make(*source, ctx);
    if (!made) {
      const Code code = ctx.LastFailure() != Code::kOk ? ctx.LastFailure() : Code::kInternal;
      return Result<Image>(StatusOf(ctx, code), Image{});
    }
    return ResultOf(ctx, Code::kOk, ImageAccess::Wrap(std::move(made)));
  });
}

// An edit that works in place, made on a clone.
template <class Edit>
Result<Image> Edited(const Image& image, Edit&& edit) {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) {
    BitmapPtr copy = Bitmap_Clone(source, ctx);
    if (copy) edit(*copy, ctx);
    return copy;
  });
}

bool IsColorFormat(ColorFormatId format) { return format >= 0 && format < kColorFormatCount; }

Result<Image> BadFormat(ColorFormatId format) {
  sys::Context ctx;
  return Result<Image>(
      Refuse(ctx, Code::kBadArgument, "colour format " + std::to_string(static_cast<int>(format)) + " does not exist"),
      Image{});
}

}  // namespace

Result<Image> Convert(const Image& image, ColorFormatId format, const OutputOptions& options) noexcept {
  if (!IsColorFormat(format)) return Guarded([&] { return BadFormat(format); });
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) {
    return ConvertToFormat(source, GetColorFormat(format), options, ctx);
  });
}

Result<Image> Dither(const Image& image, ColorFormatId format, const OutputOptions& options) noexcept {
  if (!IsColorFormat(format)) return Guarded([&] { return BadFormat(format); });
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) {
    return DitherToFormat(source, GetColorFormat(format), options, ctx);
  });
}

Result<Image> ToBestPalette(const Image& image, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) { return ConvertToBestPalette(source, options, ctx); });
}

Result<Image> ToBestPaletteWithTransparency(const Image& image, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) {
    return ConvertToBestPaletteTrans(source, 0xFFFFFF, options, ctx);
  });
}

Result<Image> ToFinePalette(const Image& image, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    BitmapPtr result = ConvertToFinePalette(source, options, ctx);
    if (!result) ctx.Fail(Code::kBadArgument, "the image has no pixels");
    return result;
  });
}

Result<Image> ToPalette(const Image& image, const Palette& palette, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    if (palette.count < 1 || palette.count > 256) {
      ctx.Fail(Code::kBadArgument, "a palette holds 1 to 256 colours, not " + std::to_string(palette.count));
      return nullptr;
    }
    return ConvertToCustomPalette(source, palette, options, ctx);
  });
}

Result<Image> ToSharedPalette(const Image& image, const Palette& palette, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    if (palette.count < 1 || palette.count > 256) {
      ctx.Fail(Code::kBadArgument, "a palette holds 1 to 256 colours, not " + std::to_string(palette.count));
      return nullptr;
    }
    std::vector<ColorTally> tally;
    if (options.preserveTrans) tally.push_back(TallyColors(source));
    return MapToSharedPalette(source, SharedPaletteFromFile(palette, tally, options.preserveTrans), options, ctx);
  });
}

Result<Image> ReduceColors(const Image& image, int maxColors, const OutputOptions& options) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    if (maxColors < 2 || maxColors > 256) {
      ctx.Fail(Code::kBadArgument, "the number of colours must be 2 to 256, not " + std::to_string(maxColors));
      return nullptr;
    }
    return ReduceColors(source, maxColors, options, ctx);
  });
}

Result<Image> ToTrueColor(const Image& image) noexcept {
  return Derive(image, [](const Bitmap& source, sys::Context& ctx) {
    BitmapPtr result = Bitmap_ToTrueColor(source, ctx);
    // A true-colour source keeps its alpha; a palette image's transparent
    // entry becomes fully transparent pixels.
    if (result && source.NumColors == 0) result->HasAlpha = source.HasAlpha;
    if (result && source.NumColors != 0 && source.HasTrans != 0) {
      for (int y = 0; y < source.YSize; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result->Row(y);
        for (int x = 0; x < source.XSize; ++x) {
          if (in[x] == 0) out[4 * x + 3] = 255;
        }
      }
      result->HasAlpha = 1;
    }
    return result;
  });
}

Result<Image> FlipHorizontally(const Image& image) noexcept {
  return Edited(image, [](Bitmap& b, sys::Context&) { FlipH(b); });
}

Result<Image> FlipVertically(const Image& image) noexcept {
  return Edited(image, [](Bitmap& b, sys::Context&) { FlipV(b); });
}

Result<Image> Rotate(const Image& image, Rotation rotation) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    switch (rotation) {
      case Rotation::kClockwise: return RotateCW(source, ctx);
      case Rotation::kCounterClockwise: return RotateCCW(source, ctx);
      case Rotation::kHalfTurn: {
        BitmapPtr copy = Bitmap_Clone(source, ctx);
        if (copy) Rotate180(*copy);
        return copy;
      }
    }
    ctx.Fail(Code::kBadArgument, "no such rotation");
    return nullptr;
  });
}

Result<Image> Scale(const Image& image, int width, int height) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    if (width < 1 || height < 1 || width > kMaxScaledSize || height > kMaxScaledSize) {
      ctx.Fail(Code::kBadArgument, "the size must be 1 to 99999 pixels each way, not " + std::to_string(width) +
                                       " x " + std::to_string(height));
      return nullptr;
    }
    return ScaleBitmap(source, width, height, ctx);
  });
}

Result<Image> InvertIndices(const Image& image) noexcept {
  return Edited(image, [](Bitmap& b, sys::Context& ctx) { InvertIndices(b, ctx); });
}

Result<Image> InvertPalette(const Image& image) noexcept {
  return Edited(image, [](Bitmap& b, sys::Context& ctx) { InvertPalette(b, ctx); });
}

Result<Image> SetTransparentColor(const Image& image, std::uint32_t rgb) noexcept {
  return Derive(image, [&](const Bitmap& source, sys::Context& ctx) -> BitmapPtr {
    if (source.NumColors == 0) {
      ctx.Fail(Code::kBadFormat, "a true-colour image has no palette entry to make transparent");
      return nullptr;
    }
    if (rgb > 0xFFFFFF) {
      ctx.Fail(Code::kBadArgument, "the colour must be 0x000000 to 0xFFFFFF");
      return nullptr;
    }
    const Color wanted = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    for (int i = 0; i < source.NumColors; ++i) {
      if ((Bitmap_GetPalColor(source, i) & 0xFFFFFF) != wanted) continue;
      BitmapPtr copy = Bitmap_Clone(source, ctx);
      if (copy) SetTransIndex(*copy, i);
      return copy;
    }
    ctx.Fail(Code::kBadArgument, "no palette entry has that colour");
    return nullptr;
  });
}

}  // namespace rastra

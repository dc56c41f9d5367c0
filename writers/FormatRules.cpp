#include "writers/FormatRules.h"

#include <rastra/write.h>

#include "image/ColorConvert.h"
#include "image/ColorFormat.h"

namespace rastra {

bool TypeTakesFormat(int type) { return type == kOutputCBitmap || type == kOutputCStream; }

bool IsFormatCode(int format) { return (format >= 1 && format <= 29) || format == 99; }

bool IsAnimationFormat(int format) { return format == 1 || format == 2 || format == 4 || format == 5; }

int DefaultFormat(const Bitmap& image) {
  const int n = image.NumColors;
  if (n == 0) return image.HasAlpha != 0 ? 16 : 8;
  if (n <= 2) return 1;
  if (n <= 4) return 2;
  if (n <= 16) return 4;
  return 5;
}

bool FormatTakesTrueColor(int format) {
  switch (format) {
    case 8: case 9: case 10: case 11: case 12: case 13: case 16: case 17:
    case 19: case 20: case 21: case 22: case 23: case 24: case 29: case 99:
      return true;
    default:
      return false;
  }
}

int FittingColorFormat(int format, int numColors) {
  const bool none = numColors == 0;
  if (format == 1 && (none || numColors > 2)) return kFormatBW;
  if (format == 2 && (none || numColors > 4)) return kFormatGray4;
  if (format == 3 && (none || numColors > 8)) return kFormat111;
  if ((format == 4 || format == 6) && (none || numColors > 16)) return kFormatGray16;
  if ((format == 5 || format == 7) && (none || numColors > 256)) return kFormat8666;
  return -1;
}

int DitherColorFormat(int format) {
  switch (format) {
    case 8: case 9: case 12: case 13:
      return kFormat565;
    case 10: case 11:
      return kFormat555;
    case 19: case 20: case 21: case 22: case 23: case 24:
      return kFormat444_12;
    default:
      return -1;
  }
}

SaveStep SaveStepFor(int format, const Bitmap& image) {
  if (image.NumColors != 0 && FormatTakesTrueColor(format)) return {SaveConversion::kTrueColor, -1};
  const int fitting = FittingColorFormat(format, image.NumColors);
  if (fitting >= 0) return {SaveConversion::kColorFormat, fitting};
  return {};
}

const Bitmap* ImageForFormat(const Bitmap& image, int format, const OutputOptions& options, BitmapPtr& holder,
                             sys::Context& ctx) {
  const SaveStep step = SaveStepFor(format, image);
  const Bitmap* fitted = &image;
  switch (step.conversion) {
    case SaveConversion::kNone:
      break;
    case SaveConversion::kTrueColor:
      holder = Bitmap_ToTrueColor(image, ctx);
      fitted = holder.get();
      break;
    case SaveConversion::kColorFormat:
      holder = ConvertToFormat(image, GetColorFormat(step.colorFormat), options, ctx);
      fitted = holder.get();
      break;
  }
  const int dithered = DitherColorFormat(format);
  if (fitted == nullptr || options.dither == DitherMethod::kNone || dithered < 0) return fitted;
  // Dithered into the colours the FORMAT keeps, so the writer's own
  // reduction to them loses nothing more.
  BitmapPtr made = DitherToFormat(*fitted, GetColorFormat(dithered), options, ctx);
  holder = std::move(made);
  return holder.get();
}

}  // namespace rastra

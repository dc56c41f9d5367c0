#include "gui/SavedView.h"

#include <utility>

#include "image/ColorFormat.h"
#include "writers/CBitmapWriter.h"
#include "writers/FormatRules.h"

namespace rastra {

namespace {

bool KeepsAlpha(PixelEncoding encoding) {
  switch (encoding) {
    case PixelEncoding::AlphaCode16: case PixelEncoding::Rle32: case PixelEncoding::Color32:
    case PixelEncoding::Color32Swapped: case PixelEncoding::Color32Both: case PixelEncoding::RleAlpha:
      return true;
    default:
      return false;
  }
}

// The writer turns each colour into the FORMAT's 16-bit code; the view shows
// the colour that code stands for.
void ReduceToCodes(Bitmap& image, const FormatEntry& entry) {
  const ColorFormat& codes = GetColorFormat(entry.colorFormat);
  const bool keepAlpha = KeepsAlpha(entry.encoding);
  for (int y = 0; y < image.YSize; ++y) {
    std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.XSize; ++x) {
      const Color c = Bitmap_LoadColor(row + 4 * x);
      const Color shown = codes.IndexToColor(codes.ColorToIndex(c)) & 0xFFFFFFu;
      Bitmap_StoreColor(row + 4 * x, keepAlpha ? (c & 0xFF000000u) | shown : shown);
    }
  }
  if (!keepAlpha) image.HasAlpha = 0;
}

}  // namespace

BitmapPtr AsSavedPicture(const Bitmap& image, int format, const OutputOptions& options, sys::Context& ctx) {
  BitmapPtr holder;
  const Bitmap* fitted = ImageForFormat(image, format, options, holder, ctx);
  if (fitted == nullptr) return nullptr;
  BitmapPtr saved = holder ? std::move(holder) : Bitmap_Clone(image, ctx);
  if (!saved) return nullptr;
  const FormatEntry* entry = FindFormat(format);
  if (entry != nullptr && entry->colorFormat >= 0 && saved->NumColors == 0) ReduceToCodes(*saved, *entry);
  return saved;
}

int SavedViewChoice::FormatFor(const Bitmap& image) const { return format != 0 ? format : DefaultFormat(image); }

OutputOptions SavedViewChoice::OptionsFrom(OutputOptions base) const {
  base.dither = dithered ? method : DitherMethod::kNone;
  return base;
}

}  // namespace rastra

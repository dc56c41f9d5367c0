// The library's Image and the RGBA doorway in and out of it.
#include <rastra/image.h>

#include <cstring>
#include <utility>

#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "sys/Context.h"

namespace rastra {

namespace {

// What a pixel or palette entry shows: a palette image's entry 0 is fully
// transparent when it is the transparent entry, a true-colour image without
// alpha is opaque whatever its transparency bytes hold.
Rgba Shown(const Bitmap& b, Color color, bool transparentEntry) {
  Rgba rgba = RgbaOf(color);
  if (transparentEntry) rgba.a = 0;
  if (b.NumColors == 0 && b.HasAlpha == 0) rgba.a = 255;
  return rgba;
}

bool Inside(const Bitmap& b, int x, int y) { return x >= 0 && y >= 0 && x < b.XSize && y < b.YSize; }

// Rows of at least 4 x width bytes; 0 stands for exactly that.
std::ptrdiff_t RowStride(std::ptrdiff_t stride, int width) {
  return stride == 0 ? static_cast<std::ptrdiff_t>(width) * 4 : stride;
}

}  // namespace

Image::Image() noexcept = default;
Image::Image(Image&& other) noexcept = default;
Image& Image::operator=(Image&& other) noexcept = default;
Image::~Image() = default;

bool Image::Empty() const noexcept { return !bitmap_; }
int Image::Width() const noexcept { return bitmap_ ? bitmap_->XSize : 0; }
int Image::Height() const noexcept { return bitmap_ ? bitmap_->YSize : 0; }
int Image::PaletteSize() const noexcept { return bitmap_ ? bitmap_->NumColors : 0; }
bool Image::HasTransparentEntry() const noexcept { return bitmap_ && bitmap_->NumColors > 0 && bitmap_->HasTrans != 0; }
bool Image::HasAlpha() const noexcept { return bitmap_ && bitmap_->NumColors == 0 && bitmap_->HasAlpha != 0; }

Rgba Image::Pixel(int x, int y) const noexcept {
  if (!bitmap_ || !Inside(*bitmap_, x, y)) return Rgba{};
  const Bitmap& b = *bitmap_;
  if (b.NumColors != 0) return PaletteEntry(static_cast<int>(Bitmap_GetPixel(b, x, y)));
  return Shown(b, Bitmap_GetPixelColor(b, x, y), false);
}

int Image::PixelIndex(int x, int y) const noexcept {
  if (!bitmap_ || bitmap_->NumColors == 0 || !Inside(*bitmap_, x, y)) return -1;
  return static_cast<int>(Bitmap_GetPixel(*bitmap_, x, y));
}

Rgba Image::PaletteEntry(int index) const noexcept {
  if (!bitmap_ || index < 0 || index >= bitmap_->NumColors) return Rgba{};
  return Shown(*bitmap_, Bitmap_GetPalColor(*bitmap_, index), index == 0 && bitmap_->HasTrans != 0);
}

Result<Image> Image::Copy() const noexcept {
  return Guarded([&] {
    sys::Context ctx;
    if (!bitmap_) return Result<Image>(Refuse(ctx, Code::kNoImage, "there is no image to copy"), Image{});
    BitmapPtr copy = Bitmap_Clone(*bitmap_, ctx);
    const Code code = copy ? Code::kOk : ctx.LastFailure();
    return ResultOf(ctx, code, ImageAccess::Wrap(std::move(copy)));
  });
}

Result<Image> FromRgba(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    if (width <= 0 || height <= 0) {
      return Result<Image>(Refuse(ctx, Code::kBadArgument, "the picture needs a width and height of 1 or more"),
                           Image{});
    }
    const std::ptrdiff_t rowBytes = RowStride(stride, width);
    if (pixels == nullptr || rowBytes < static_cast<std::ptrdiff_t>(width) * 4) {
      return Result<Image>(Refuse(ctx, Code::kBadArgument, "the rows need 4 bytes per pixel and a pointer to them"),
                           Image{});
    }
    BitmapPtr b = Bitmap_Create(width, height, 0, ctx);
    if (!b) return Result<Image>(StatusOf(ctx, Code::kOutOfMemory), Image{});
    bool translucent = false;
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = pixels + rowBytes * y;
      std::uint8_t* out = b->Row(y);
      for (int x = 0; x < width; ++x, in += 4) {
        translucent |= in[3] != 255;
        Bitmap_StoreColor(out + 4 * x, ColorOf(Rgba{in[0], in[1], in[2], in[3]}));
      }
    }
    b->HasAlpha = translucent ? 1 : 0;
    return ResultOf(ctx, Code::kOk, ImageAccess::Wrap(std::move(b)));
  });
}

Status ToRgba(const Image& image, std::uint8_t* out, std::ptrdiff_t stride) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Refuse(ctx, Code::kNoImage, "there is no image to export");
    const std::ptrdiff_t rowBytes = RowStride(stride, b->XSize);
    if (out == nullptr || rowBytes < static_cast<std::ptrdiff_t>(b->XSize) * 4) {
      return Refuse(ctx, Code::kBadArgument, "the rows need 4 bytes per pixel and a pointer to them");
    }
    Rgba palette[256];
    for (int i = 0; i < b->NumColors && i < 256; ++i) palette[i] = image.PaletteEntry(i);
    for (int y = 0; y < b->YSize; ++y) {
      const std::uint8_t* in = b->Row(y);
      std::uint8_t* row = out + rowBytes * y;
      for (int x = 0; x < b->XSize; ++x) {
        const Rgba c = b->NumColors != 0 ? palette[in[x]] : Shown(*b, Bitmap_LoadColor(in + 4 * x), false);
        row[4 * x] = c.r;
        row[4 * x + 1] = c.g;
        row[4 * x + 2] = c.b;
        row[4 * x + 3] = c.a;
      }
    }
    return StatusOf(ctx, Code::kOk);
  });
}

Result<std::vector<std::uint8_t>> ToRgba(const Image& image) noexcept {
  return Guarded([&] {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(image.Width()) * image.Height() * 4);
    Status status = ToRgba(image, pixels.data());
    const bool ok = status.Ok();
    return Result<std::vector<std::uint8_t>>(std::move(status), ok ? std::move(pixels) : std::vector<std::uint8_t>{});
  });
}

}  // namespace rastra

// Palettes of the library: of an image, the best one of a picture, and
// palette files.
#include <rastra/palette.h>

#include <span>

#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "image/ColorConvert.h"
#include "image/Palette.h"
#include "image/SharedPalette.h"
#include "readers/PaletteFile.h"
#include "sys/File.h"
#include "writers/PaletteWriter.h"

namespace rastra {

Palette PaletteOf(const Image& image) noexcept {
  const Bitmap* b = ImageAccess::Get(image);
  if (b == nullptr) {
    Palette none;
    none.count = 0;
    return none;
  }
  return Bitmap_GetPalette(*b);
}

Result<Palette> BestPalette(const Image& image, int maxColors) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Result<Palette>(Refuse(ctx, Code::kNoImage, "there is no image to work on"), Palette{});
    if (maxColors < 1 || maxColors > 256) {
      return Result<Palette>(
          Refuse(ctx, Code::kBadArgument, "a palette holds 1 to 256 colours, not " + std::to_string(maxColors)),
          Palette{});
    }
    Palette best;
    if (CalcBestPalette(maxColors, *b, best, ctx) == 0) {
      return Result<Palette>(Refuse(ctx, Code::kNoImage, "the picture has no pixels"), Palette{});
    }
    return ResultOf(ctx, Code::kOk, best);
  });
}

Result<Palette> BestPalette(const std::vector<const Image*>& images, int maxColors) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    if (maxColors < 2 || maxColors > 256) {
      return Result<Palette>(
          Refuse(ctx, Code::kBadArgument, "a shared palette holds 2 to 256 colours, not " + std::to_string(maxColors)),
          Palette{});
    }
    std::vector<ColorTally> tallies;
    for (const Image* image : images) {
      const Bitmap* b = image != nullptr ? ImageAccess::Get(*image) : nullptr;
      if (b == nullptr) return Result<Palette>(Refuse(ctx, Code::kNoImage, "one of the images is empty"), Palette{});
      tallies.push_back(TallyColors(*b));
    }
    const std::optional<SharedPalette> shared = BuildSharedPalette(tallies, maxColors, false);
    if (!shared) return Result<Palette>(Refuse(ctx, Code::kNoImage, "the pictures have no pixels"), Palette{});
    return ResultOf(ctx, Code::kOk, shared->palette);
  });
}

Result<Palette> LoadPalette(const std::string& path) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    Palette palette;
    if (_LoadPalette(path, palette, ctx) != 0) {
      const Code code = ctx.LastFailure() != Code::kOk ? ctx.LastFailure() : Code::kCorrupt;
      return Result<Palette>(StatusOf(ctx, code), Palette{});
    }
    return ResultOf(ctx, Code::kOk, palette);
  });
}

Result<Palette> LoadPaletteFromMemory(const void* data, std::size_t size) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), data != nullptr ? size : 0);
    Palette palette;
    if (LoadPaletteData(bytes, palette, ctx) != 0) {
      const Code code = ctx.LastFailure() != Code::kOk ? ctx.LastFailure() : Code::kCorrupt;
      return Result<Palette>(StatusOf(ctx, code), Palette{});
    }
    return ResultOf(ctx, Code::kOk, palette);
  });
}

Status SavePalette(const Palette& palette, const std::string& path) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    if (palette.count < 0 || palette.count > 256) {
      return Refuse(ctx, Code::kBadArgument, "a palette holds up to 256 colours, not " + std::to_string(palette.count));
    }
    auto output = sys::SafeOutputFile::Create(path);
    if (!output) return Refuse(ctx, Code::kIo, "Could not create file " + path);
    if (SavePaletteFile(palette, output->Output()) != Code::kOk || !output->Commit()) {
      return Refuse(ctx, Code::kIo, "Could not write file " + path);
    }
    return StatusOf(ctx, Code::kOk);
  });
}

}  // namespace rastra

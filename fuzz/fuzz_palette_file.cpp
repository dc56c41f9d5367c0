// Loads arbitrary bytes as a palette file and maps a small picture onto what
// was loaded, as the custom palette conversion does. A load that fails must
// have said why.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "image/ColorConvert.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

BitmapPtr SmallPicture(sys::Context& ctx) {
  BitmapPtr b = Bitmap_Create(5, 3, 0, ctx);
  if (!b) std::abort();
  for (int y = 0; y < b->YSize; ++y) {
    std::uint8_t* row = b->Row(y);
    for (int x = 0; x < b->XSize; ++x) Bitmap_StoreColor(row + 4 * x, static_cast<Color>(0x10325476u * (x + 7 * y)));
  }
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = (FuzzTempDir() / "fuzz.GUIPal").string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  sys::Context ctx = FuzzContext();
  PaletteRef palette;
  const bool loaded = _LoadPalette(path, palette, ctx) == 0;
  TrapIfUnexplained(!loaded, ctx);
  if (!loaded) return 0;
  const BitmapPtr picture = SmallPicture(ctx);
  const OutputOptions options;
  BitmapPtr mapped = ConvertToPalette(palette, *picture, palette.count, options, ctx);
  if (mapped && mapped->NumColors != palette.count) __builtin_trap();
  TrapIfUnexplained(!mapped, ctx);
  return 0;
}

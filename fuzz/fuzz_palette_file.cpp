// Loads arbitrary bytes as a palette file and maps a small picture onto what
// was loaded, as the custom palette conversion does.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "image/ColorConvert.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"

namespace {

BitmapPtr SmallPicture() {
  BitmapPtr b = Bitmap_Create(5, 3, 0);
  for (int y = 0; y < b->YSize; ++y) {
    std::uint8_t* row = b->Row(y);
    for (int x = 0; x < b->XSize; ++x) Bitmap_StoreColor(row + 4 * x, static_cast<Color>(0x10325476u * (x + 7 * y)));
  }
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietReports();
  static const std::string path = (FuzzTempDir() / "fuzz.GUIPal").string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CustomPalette() = PaletteRef{};
  if (_LoadPalette(path) != 0) return 0;
  BitmapPtr picture = SmallPicture();
  BitmapPtr mapped = ConvertToPalette(CustomPalette(), picture, CustomPalette().count, true);
  if (mapped && mapped->NumColors != CustomPalette().count) __builtin_trap();
  return 0;
}

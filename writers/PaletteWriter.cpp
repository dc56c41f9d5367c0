#include "writers/PaletteWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "writers/TextOutput.h"

namespace rastra {

namespace {

constexpr char kMagic[8] = {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l'};

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

sys::Code SavePaletteFile(const PaletteRef& palette, sys::ByteSink& sink) {
  OutBuffer out(sink);
  const int count = std::clamp(palette.count, 0, 256);
  std::uint8_t header[16] = {};
  std::memcpy(header, kMagic, sizeof kMagic);
  PutU32(header + 8, static_cast<std::uint32_t>(count));
  OutWrite(out, header, sizeof header);
  for (int i = 0; i < count && !out.failed; ++i) {
    std::uint8_t colour[4];
    PutU32(colour, palette.colours[static_cast<std::size_t>(i)]);
    OutWrite(out, colour, sizeof colour);
  }
  return OutComplete(out) ? sys::Code::kOk : sys::Code::kIo;
}

sys::Code SavePaletteFile(const Bitmap& bitmap, sys::ByteSink& sink) {
  return SavePaletteFile(Bitmap_GetPalette(bitmap), sink);
}

}  // namespace rastra

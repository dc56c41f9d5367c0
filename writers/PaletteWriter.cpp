#include "writers/PaletteWriter.h"

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

sys::Code SavePaletteFile(const Bitmap& bitmap, sys::ByteSink& sink) {
  OutBuffer out(sink);
  std::uint8_t header[16] = {};
  std::memcpy(header, kMagic, sizeof kMagic);
  PutU32(header + 8, static_cast<std::uint32_t>(bitmap.NumColors));
  OutWrite(out, header, sizeof header);
  for (int i = 0; i < bitmap.NumColors && !out.failed; ++i) {
    std::uint8_t colour[4];
    PutU32(colour, Bitmap_GetPalColor(bitmap, i));
    OutWrite(out, colour, sizeof colour);
  }
  return OutComplete(out) ? sys::Code::kOk : sys::Code::kIo;
}

}  // namespace rastra

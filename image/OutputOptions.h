// The user's choices that change what conversions and writers produce. They
// come in as values with every call; only the application reads them from the
// stored settings (or from the command line).
#pragma once

namespace rastra {

struct OutputOptions {
  bool useArgb = false;        // palettes of C files as 0xAARRGGBB, streams with ARGB palette entries
  bool bigEndian = false;      // 16- and 32-bit pixels of streams with the high byte first
  bool preserveTrans = false;  // fully transparent pixels become palette index 0 (colour code 0)
};

}  // namespace rastra

// The user's choices that change what conversions and writers produce. They
// come in as values with every call; only the application reads them from the
// stored settings (or from the command line).
#pragma once

#include <cstdint>

namespace rastra {

// No save writes more than this unless the caller allows more: a file of a
// gigabyte of C source is already beyond any compiler's patience, and a
// few bytes of input must not make a run fill a disk.
inline constexpr std::uint64_t kDefaultMaxOutputBytes = std::uint64_t{1} << 30;

struct OutputOptions {
  bool useArgb = false;        // palettes of C files as 0xAARRGGBB, streams with ARGB palette entries
  bool bigEndian = false;      // 16- and 32-bit pixels of streams with the high byte first
  bool preserveTrans = false;  // fully transparent pixels become palette index 0 (colour code 0)
  // A save that would write more bytes is refused before anything is written.
  std::uint64_t maxOutputBytes = kDefaultMaxOutputBytes;
};

}  // namespace rastra

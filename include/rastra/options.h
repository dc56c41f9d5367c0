// The choices a caller makes for a job: the limits of a read, and the
// settings that change what conversions and writers produce. Plain values,
// passed with every call; the library keeps none of them between calls.
#pragma once

#include <cstdint>

namespace rastra {

// No real picture needs more than 1 GiB of pixel data; reads and
// allocations are held to this unless the caller sets another ceiling.
inline constexpr std::uint64_t kDefaultMaxBlockBytes = std::uint64_t{1} << 30;

// Files beyond these are refused before anything large is allocated. A
// caller that reads untrusted files with little memory (a server, a fuzzer)
// sets its own; the defaults hold any real picture.
struct ReadLimits {
  std::int64_t maxWidth = INT32_MAX;
  std::int64_t maxHeight = INT32_MAX;
  std::uint64_t maxPixelBytes = kDefaultMaxBlockBytes;  // of one decoded picture or frame
  std::uint32_t maxFrames = 100000;                     // of an animation
  std::uint64_t maxFileBytes = kDefaultMaxBlockBytes;
};

struct ReadOptions {
  ReadLimits limits;
};

struct OutputOptions {
  bool useArgb = false;        // palettes of C files as 0xAARRGGBB, streams with ARGB palette entries
  bool bigEndian = false;      // 16- and 32-bit pixels of streams with the high byte first
  bool preserveTrans = false;  // fully transparent pixels become palette index 0 (colour code 0)
};

}  // namespace rastra

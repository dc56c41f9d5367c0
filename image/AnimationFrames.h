// The records of an animation's frames: what the GIF reader gives and the
// animation writer takes.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Bitmap.h"

namespace rastra {

// One per file. The caller sets DataSize (and FirstGlobalFrame = -1 before
// decoding frames); the reader fills the rest.
struct GifInfo {
  std::uint32_t TotalDelay = 0;        // ms, sum of all graphic control delays; set at the trailer
  std::uint32_t DataSize = 0;          // bytes of GIF data
  std::int32_t FirstGlobalFrame = -1;  // first decoded frame that uses the global table
  std::uint16_t NumGlobalColors = 0;   // 2 << (ScreenFlags & 7), with or without a global table
  std::uint32_t NumFrames = 0;         // image descriptors; set at the trailer
  std::uint16_t XSize = 0;             // logical screen
  std::uint16_t YSize = 0;
  std::uint8_t ScreenFlags = 0;
};

// One per frame.
struct GifFrame {
  std::vector<std::uint8_t> ColorTable;  // red, green, blue triples of the frame's table (its own or the
                                         // global one), a copy; empty when there is none
  BitmapPtr pBitmap;                     // the decoded frame, the caller's once returned
  std::uint32_t Delay = 0;               // ms, from the last graphic control before the frame
  std::int16_t TransIndex = -1;
  std::int32_t LocalTableFrame = -1;  // the frame number when it has its own table
  std::uint16_t NumColors = 0;        // table size; for a transparent frame, the result's count
  std::uint16_t XSize = 0;
  std::uint16_t YSize = 0;
  std::uint16_t XPos = 0;
  std::uint16_t YPos = 0;
  std::uint8_t ImageFlags = 0;  // bit 7 local table, bit 6 interlace, bits 0-2 table size
};

}  // namespace rastra

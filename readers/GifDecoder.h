// Reader for GIF87a and GIF89a data.
//
// One walker over the block structure serves two callers: loading a file as a
// single picture, and the animation writer and main window, which first scan a
// file for its frame count and playing time and then decode its frames one by
// one. Frames are not composed: each one is decoded on its own canvas of the
// logical screen's size and disposal methods are not applied.
#pragma once

#include <cstdint>
#include <span>

#include "image/Bitmap.h"

// One per file. The caller sets DataSize (and FirstGlobalFrame = -1 before
// decoding frames); ParseGif fills the rest.
struct GifInfo {
  std::uint32_t TotalDelay = 0;       // ms, sum of all graphic control delays; set at the trailer
  std::uint32_t DataSize = 0;         // bytes of GIF data
  std::int16_t FirstGlobalFrame = -1; // first decoded frame that uses the global table
  std::uint16_t NumGlobalColors = 0;  // 2 << (ScreenFlags & 7), with or without a global table
  std::uint16_t NumFrames = 0;        // image descriptors; set at the trailer
  std::uint16_t XSize = 0;            // logical screen
  std::uint16_t YSize = 0;
  std::uint8_t ScreenFlags = 0;
};

// One per requested frame, filled in decode mode.
struct GifFrame {
  const std::uint8_t* pColorTable = nullptr;  // red, green, blue triples inside the GIF data
  BitmapPtr pBitmap;                          // the decoded frame, the caller's once returned
  std::uint32_t Delay = 0;                    // ms, from the last graphic control before the frame
  std::int16_t TransIndex = -1;
  std::int16_t LocalTableFrame = -1;  // the frame number when it has its own table
  std::uint16_t NumColors = 0;        // table size; for a transparent frame, the result's count
  std::uint16_t XSize = 0;
  std::uint16_t YSize = 0;
  std::uint16_t XPos = 0;
  std::uint16_t YPos = 0;
  std::uint8_t ImageFlags = 0;  // bit 7 local table, bit 6 interlace, bits 0-2 table size
};

// Scan mode (frame == nullptr): walks to the trailer and sets NumFrames,
// TotalDelay and the screen fields. Decode mode: decodes image number
// frameNumber (from 0) into frame->pBitmap, post-processed for display.
// Returns 0 on success, non-zero on failure. Reads at most DataSize bytes (and
// never beyond data).
int ParseGif(std::span<const std::uint8_t> data, GifInfo& info, GifFrame* frame, int frameNumber);

// As decode mode, but leaves the frame as it lies in the file: one palette
// entry per colour table entry (the transparent one 0xFFFFFFFF) and the file's
// indices on the canvas.
int ParseGifFrameRaw(std::span<const std::uint8_t> data, GifInfo& info, GifFrame& frame, int frameNumber);

// The first picture of a whole file held in memory; null on failure.
BitmapPtr ReadGifFile(std::span<const std::uint8_t> file);

// Reader for GIF87a and GIF89a data.
//
// The logical screen is read once, then the frames are taken one after the
// other in a single pass over the file (GifFrameReader), so an animation of
// thousands of frames costs no more per frame than one of ten. Loading a file
// as a single picture takes its first frame. Frames are not composed: each one
// is decoded on its own canvas of the logical screen's size and disposal
// methods are not applied.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

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

// Walks one file once. Call ReadScreen first, then Next until it gives kEnd
// (or kFailed, after which it gives kFailed again). The data, info, limits
// and context outlive the reader.
class GifFrameReader {
 public:
  enum class Mode {
    kSkip,    // only the frame's records, no pixels
    kRaw,     // the frame as it lies in the file: one palette entry per table entry (the
              // transparent one 0xFFFFFFFF) and the file's indices on the canvas
    kDecode,  // kRaw, then post-processed for display (see ParseGif)
  };
  enum class Step { kFrame, kEnd, kFailed };

  GifFrameReader(std::span<const std::uint8_t> data, GifInfo& info, const ReadLimits& limits, sys::Context& ctx);
  ~GifFrameReader();
  GifFrameReader(const GifFrameReader&) = delete;
  GifFrameReader& operator=(const GifFrameReader&) = delete;

  // Header, logical screen and global table. False on failure (recorded).
  bool ReadScreen();
  // The next frame into frame. At the trailer: kEnd, with info's NumFrames and
  // TotalDelay set.
  Step Next(GifFrame& frame, Mode mode);
  // Why the walk failed, kOk while it has not.
  sys::Code Failure() const;

 private:
  class Walker;
  std::unique_ptr<Walker> walker_;
};

// Scan mode (frame == nullptr): walks to the trailer and sets NumFrames,
// TotalDelay and the screen fields. Decode mode: decodes image number
// frameNumber (from 0) into frame->pBitmap, post-processed for display:
// single pictures and frames with their own table get a palette of the colours
// they use, with the transparent entry, if any, at index 0. Returns 0 on
// success, non-zero on failure (recorded in ctx). Reads at most DataSize bytes
// (and never beyond data).
int ParseGif(std::span<const std::uint8_t> data, GifInfo& info, GifFrame* frame, int frameNumber, sys::Context& ctx,
             const ReadLimits& limits = ReadLimits{});

// As decode mode, but leaves the frame as it lies in the file (Mode::kRaw).
int ParseGifFrameRaw(std::span<const std::uint8_t> data, GifInfo& info, GifFrame& frame, int frameNumber,
                     sys::Context& ctx, const ReadLimits& limits = ReadLimits{});

// The first picture of a whole file held in memory.
ReadResult ReadGifFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx);

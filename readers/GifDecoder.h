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

#include "image/AnimationFrames.h"
#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

// Walks one file once. Call ReadScreen first, then Next until it gives kEnd
// (or kFailed, after which it gives kFailed again). The data, info and
// context outlive the reader; the limits are copied.
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

}  // namespace rastra

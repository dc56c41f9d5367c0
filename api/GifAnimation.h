// Animated sprites and cursors from the bytes of an animated GIF: the frame
// walk of the GIF reader feeding the animation writer, one frame at a time.
// The command line, the window and the library's WriteAnimation all write
// animations through here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "image/AnimationFrames.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

namespace rastra {

// What becomes of a decoded frame (its number counted from 0) before it is
// written, or null when it cannot be written (the reason was reported).
using FramePreparation = std::function<BitmapPtr(BitmapPtr frame, int index)>;

struct AnimationJob {
  int type = kOutputAnimSprite;  // 6 sprite or 7 cursor
  OutputSpec spec{5, 0};
  std::string identifierSource;  // a name or path the C identifiers are made of
  OutputOptions options;
  ReadLimits limits;
  FramePreparation prepare;  // none: the frames as decoded
};

enum class AnimationScan {
  kAnimated,
  kSingleImage,  // a GIF of one picture
  kUnreadable,   // the walk failed (recorded in ctx)
};

bool HasGifSignature(std::span<const std::uint8_t> data);
// Walks the GIF to its end for the frame count and playing time, which the
// file's banner names before the first frame. Data that is no GIF fails as
// the walk finds it.
AnimationScan ScanAnimation(std::span<const std::uint8_t> data, GifInfo& info, const ReadLimits& limits,
                            sys::Context& ctx);
// Decodes every frame in one pass and writes each with the job's type and
// spec into sink; info is what ScanAnimation gave. False after ctx recorded
// why (or the preparation reported it).
bool WriteGifAnimation(std::span<const std::uint8_t> data, GifInfo& info, const AnimationJob& job,
                       sys::ByteSink& sink, sys::Context& ctx);

}  // namespace rastra

// What a read takes besides the bytes (its limits) and what it gives back.
#pragma once

#include <cstdint>
#include <string>

#include "image/Bitmap.h"
#include "sys/Context.h"

namespace rastra {

// Files beyond these are refused before anything large is allocated. A caller
// that reads untrusted files with little memory (a server, a fuzzer) sets its
// own; the defaults hold any real picture.
struct ReadLimits {
  std::int64_t maxWidth = INT32_MAX;
  std::int64_t maxHeight = INT32_MAX;
  std::uint64_t maxPixelBytes = sys::kDefaultMaxBlockBytes;  // of one decoded picture or frame
  std::uint32_t maxFrames = 100000;                          // of an animation
  std::uint64_t maxFileBytes = sys::kDefaultMaxBlockBytes;
};

struct ReadOptions {
  ReadLimits limits;
};

// The image, or the code and text of why there is none. Warnings, and any
// failure met on the way (such as the allocator's), are in the read's context.
struct ReadResult {
  BitmapPtr image;
  sys::Code code = sys::Code::kOk;
  std::string text;

  explicit operator bool() const { return image != nullptr; }

  static ReadResult Of(BitmapPtr image) {
    ReadResult result;
    result.image = std::move(image);
    return result;
  }
  // Records the failure in ctx and returns it.
  static ReadResult Failure(sys::Context& ctx, sys::Code code, std::string text) {
    ReadResult result;
    result.code = code;
    result.text = text;
    ctx.Fail(code, std::move(text));
    return result;
  }
  // A failure already recorded in ctx (the allocator's, say): the last one.
  static ReadResult Recorded(const sys::Context& ctx) {
    ReadResult result;
    result.code = ctx.LastFailure();
    result.text = ctx.LastFailureText();
    if (result.code == sys::Code::kOk) result.code = sys::Code::kInternal;
    return result;
  }
};

// The pixel block of a Bitmap_Create(width, height, numColors) in bytes.
std::uint64_t PixelBlockBytes(std::int64_t width, std::int64_t height, int numColors);

// Bitmap_Create within limits.maxPixelBytes: beyond it the read fails as if
// memory had run out ("Failed to allocate ...", code kOutOfMemory).
BitmapPtr CreateReadImage(std::int64_t width, std::int64_t height, int numColors, const ReadLimits& limits,
                          sys::Context& ctx);

}  // namespace rastra

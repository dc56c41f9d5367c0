// What a read takes besides the bytes (its limits) and what it gives back.
#pragma once

#include <cstdint>
#include <string>

#include <rastra/options.h>

#include "image/Bitmap.h"
#include "sys/Context.h"

namespace rastra {

// The limits and options of a read are the library's public ReadLimits and
// ReadOptions.

// The image, or the code and text of why there is none. Warnings, and any
// failure met on the way (such as the allocator's), are in the read's context.
struct ReadResult {
  BitmapPtr image;
  sys::Code code = sys::Code::kOk;
  std::string text;
  std::string cause;  // the specific cause behind text, where the reader knows more
  // Where the loaders set them: the reader that ran (an ImageFileType) and
  // the pictures in the file (a GIF animation holds several, of which the
  // first is read).
  int fileType = -1;
  std::uint32_t frames = 1;
  // The EXIF orientation the file's tag gives (1 to 8, see OrientBitmap), 1
  // when it has none; orientationApplied when the image has been turned by it.
  int orientation = 1;
  bool orientationApplied = false;

  explicit operator bool() const { return image != nullptr; }

  static ReadResult Of(BitmapPtr image) {
    ReadResult result;
    result.image = std::move(image);
    return result;
  }
  // Records the failure in ctx and returns it.
  static ReadResult Failure(sys::Context& ctx, sys::Code code, std::string text, std::string cause = {}) {
    ReadResult result;
    result.code = code;
    result.text = text;
    result.cause = cause;
    ctx.FailBecause(code, std::move(text), std::move(cause));
    return result;
  }
  // A failure already recorded in ctx (the allocator's, say): the last one.
  static ReadResult Recorded(const sys::Context& ctx) {
    ReadResult result;
    result.code = ctx.LastFailure();
    result.text = ctx.LastFailureText();
    result.cause = ctx.LastFailureCause();
    if (result.code == sys::Code::kOk) result.code = sys::Code::kInternal;
    return result;
  }
};

// Why a picture of width x height passes the limits of a read, for the
// cause of its failure ("the picture is 96 x 48 pixels, wider than the
// limit of 8").
std::string SizeLimitCause(std::int64_t width, std::int64_t height, const ReadLimits& limits);

// The pixel block of a Bitmap_Create(width, height, numColors) in bytes.
std::uint64_t PixelBlockBytes(std::int64_t width, std::int64_t height, int numColors);

// Bitmap_Create within limits.maxPixelBytes: beyond it the read fails as if
// memory had run out ("Failed to allocate ...", code kOutOfMemory).
BitmapPtr CreateReadImage(std::int64_t width, std::int64_t height, int numColors, const ReadLimits& limits,
                          sys::Context& ctx);

// A palette image read from a file whose pixels use indices past its colour
// table: those pixels take an added black entry (MapStrayIndices), with a
// warning that says how many (once per segment, see sys::Context::Warn).
// False after the allocator recorded a failure.
bool RepairStrayIndices(Bitmap& image, sys::Context& ctx, std::int64_t segment = -1);

}  // namespace rastra

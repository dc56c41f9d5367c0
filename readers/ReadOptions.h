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

  // How the pixels are taken from the file. The defaults give the pixels
  // Rastra has always read; each of the others is asked for by the user.
  //
  // PNG files with a gAMA chunk: true corrects their samples for a display
  // of gamma 2.2, false keeps the stored values as the designer saved them.
  bool applyGamma = true;
  // JPEG files with 4:2:0, 4:2:2 or 4:4:0 chroma: true interpolates the
  // chroma between its samples (a triangle filter), false repeats each sample
  // over the pixels it covers. True follows the arithmetic of the IJG
  // decoder's default throughout (its order of the inverse transform too), so
  // that every JPEG decodes as libjpeg-turbo's and djpeg's default does.
  bool smoothChroma = false;
  // JPEG files with an EXIF orientation tag (APP1) and PNG files with one in
  // an eXIf chunk: true turns the picture upright as the tag says.
  bool applyOrientation = false;
};

// The image, or the code and text of why there is none. Warnings, and any
// failure met on the way (such as the allocator's), are in the read's context.
struct ReadResult {
  BitmapPtr image;
  sys::Code code = sys::Code::kOk;
  std::string text;
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

// A palette image read from a file whose pixels use indices past its colour
// table: those pixels take an added black entry (MapStrayIndices), with a
// warning that says how many (once per segment, see sys::Context::Warn).
// False after the allocator recorded a failure.
bool RepairStrayIndices(Bitmap& image, sys::Context& ctx, std::int64_t segment = -1);

}  // namespace rastra

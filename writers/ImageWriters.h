// The one way an image is saved: picks the writer by output type.
#pragma once

#include <cstdint>
#include <string>

#include <rastra/write.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

struct SharedPaletteRef;

struct OutputSpec {
  std::int32_t Format = 0;     // FORMAT code
  std::int32_t NoPalette = 0;  // 1: the palette is written only as a disabled reference
  // C bitmap files of an image on this palette declare it extern instead of
  // carrying a palette of their own (none: every file carries its own).
  const SharedPaletteRef* sharedPalette = nullptr;
};

// The command line's numbered messages that the writers give; the numbers
// decide the exit code of a batch run.
inline constexpr int kNoImageMessage = 8;
inline constexpr const char* kNoImageText = "An image needs to be opened before it can be saved.";
inline constexpr int kIllegalTypeMessage = 10;
inline constexpr const char* kIllegalTypeText = "Illegal TYPE parameter.";
inline constexpr int kFormatMismatchMessage = 11;
inline constexpr const char* kFormatMismatchText = "FORMAT does not match image.";

// How a save ended. The texts are in the context the save was given.
struct WriteResult {
  sys::Code code = sys::Code::kOk;
  std::string text;  // the failure's text, "" on success
  // GIF and PNG files are written from a converted image (best palette, or
  // true colour with alpha), which then replaces the caller's image; the
  // caller pushes the undo step. Set whenever the conversion succeeded, even
  // when writing then failed.
  BitmapPtr replacement;
  bool Ok() const { return code == sys::Code::kOk; }
};

// Writes bitmap (null gives the numbered message 8) to sink with the writer of
// type 1 to 5. Every byte must reach the sink: a short write fails the save
// with "Could not write file <path>" (code kIo). Types 6 and 7 are written by
// the animation writer (AnimWriter.h), not here.
WriteResult WriteImageFile(const Bitmap* bitmap, sys::ByteSink& sink, const std::string& path,
                           const OutputSpec& spec, int type, const OutputOptions& options, sys::Context& ctx);

// "Could not write file <path>": the text of a save whose bytes did not all
// reach the file.
std::string CouldNotWriteText(const std::string& path);

}  // namespace rastra

// The one way an image is saved: picks the writer by output type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "sys/File.h"

enum OutputType : int {
  kOutputCBitmap = 1,
  kOutputBmp = 2,
  kOutputCStream = 3,
  kOutputGif = 4,
  kOutputPng = 5,
  kOutputAnimSprite = 6,
  kOutputAnimCursor = 7,
};

struct OutputSpec {
  std::int32_t Format = 0;     // FORMAT code
  std::int32_t NoPalette = 0;  // 1: the palette is written only as a disabled reference
};

struct GifInfo;
struct GifFrame;

// Extra arguments of the animation writer (types 6 and 7).
struct AnimArgs {
  int framesToFollow = 0;
  const GifInfo* info = nullptr;
  std::vector<GifFrame>* frames = nullptr;
};

// Writes bitmap to the open file and returns the image that is now the current
// one: the same image, or a replacement made for the file (GIF, PNG), or null.
BitmapPtr WriteImageFile(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec,
                         int type, bool bigEndian, const AnimArgs& anim = {});

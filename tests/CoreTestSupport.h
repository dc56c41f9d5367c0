// What tests of the core need to look into a job's context, and to make
// pictures without carrying a context around.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "sys/Context.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// The texts a context recorded, in order.
inline std::vector<std::string> TextsOf(const sys::Context& ctx) {
  std::vector<std::string> texts;
  for (const sys::Message& m : ctx.Messages()) texts.push_back(m.text);
  return texts;
}

// Whether a failure (or, with warning true, a warning) of code was recorded.
inline bool Recorded(const sys::Context& ctx, sys::Code code, bool warning = false) {
  return std::any_of(ctx.Messages().begin(), ctx.Messages().end(),
                     [&](const sys::Message& m) { return m.code == code && m.warning == warning; });
}

inline std::size_t WarningCount(const sys::Context& ctx) {
  return static_cast<std::size_t>(
      std::count_if(ctx.Messages().begin(), ctx.Messages().end(), [](const sys::Message& m) { return m.warning; }));
}

// Bitmap_Create for tests, whose pictures are small enough never to fail.
inline BitmapPtr MakeBitmap(int xSize, int ySize, int numColors) {
  sys::Context ctx;
  return Bitmap_Create(xSize, ySize, numColors, ctx);
}

inline BitmapPtr CopyBitmap(const Bitmap& source) {
  sys::Context ctx;
  return Bitmap_Copy(source, ctx);
}

}  // namespace testing_support

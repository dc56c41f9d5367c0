// The library's Image around the program's own Bitmap. The front end and the
// application reach through it; callers of the library never see a Bitmap.
#pragma once

#include <rastra/image.h>

#include "image/Bitmap.h"

namespace rastra {

struct ImageAccess {
  // Null for an empty image.
  static const Bitmap* Get(const Image& image) noexcept { return image.bitmap_.get(); }
  static Image Wrap(BitmapPtr bitmap) noexcept {
    Image image;
    image.bitmap_ = std::move(bitmap);
    return image;
  }
  static BitmapPtr Release(Image& image) noexcept { return std::move(image.bitmap_); }
};

}  // namespace rastra

// Conversions between the Bitmap model and Qt images, shared by the image
// view and the clipboard.
#pragma once

#include <QImage>

#include "image/Bitmap.h"
#include "sys/Context.h"

namespace rastra {

// Whether a palette image's transparent entry (entry 0 while HasTrans is set)
// renders transparent: on screen it does, so the view's background shows
// through; on the clipboard the colour stays, as the entry holds it.
enum class TransparentEntry { kOpaque, kShown };

// A 1:1 rendering in QImage::Format_ARGB32. Palette images show their palette
// colours; the transparency byte becomes alpha only when HasAlpha is set, so a
// plain true-colour image is always opaque.
QImage BitmapToQImage(const Bitmap& bitmap, TransparentEntry transparentEntry = TransparentEntry::kOpaque);

// What the image view paints: the transparent palette entry shows the
// background, as transparent pixels of a picture with alpha do; premultiplied
// for fast painting. Safe on any thread, so a job renders its own result.
QImage RenderForView(const Bitmap& bitmap);

// A 32-bit Bitmap of the same size whose transparency bytes are 255 minus the
// Qt alpha. HasAlpha is set when any pixel is not fully opaque. Null after the
// allocator has recorded why, or for an empty image.
BitmapPtr QImageToBitmap(const QImage& image, sys::Context& ctx);

}  // namespace rastra

// The main window's animation action without its dialogs: an animated GIF
// becomes C source for an animated sprite or an animated cursor.
#pragma once

#include <string>

#include "image/Bitmap.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

// The save call made for every frame; WriteImageFile unless a caller needs
// another route to the same writers.
using AnimFrameWriter = BitmapPtr (*)(BitmapPtr bitmap, sys::File& file, const std::string& path,
                                      const OutputSpec& spec, int type, bool bigEndian, const AnimArgs& anim);

// Reads the GIF at gifPath, scans it, decodes its frames one by one and hands
// each to writer with type 6 (sprite) or 7 (cursor), FORMAT 5 and NOPALETTE
// 0; outPath (at most 255 characters) is replaced. Returns true when every
// frame was written; problems are reported. The current image is untouched.
bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type,
                         AnimFrameWriter writer = WriteImageFile);

// A palette of up to 256 colours chosen for the least squared error: the
// colour cube is cut into boxes along the axis that lowers the error most
// (variance-minimising cuts over a 6-bit histogram), and the boxes' means
// are then moved to the means of the colours nearest to them (Lloyd's
// iterations over the picture's distinct colours). Slower than the octree
// of the best palette, and closer to the picture.
#pragma once

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"

namespace rastra {

// Up to maxColors (1 to 256) colours into palette, most used first; a
// picture with no more colours than that gets exactly its colours. Fully
// transparent pixels of an image with alpha do not count. Returns the
// number of colours, 0 for an image without pixels.
int CalcFinePalette(int maxColors, const Bitmap& source, PaletteRef& palette, sys::Context& ctx);

// The picture on its fine palette of up to 256 colours (each pixel to its
// nearest colour, or dithered as options say); null for an image without
// pixels.
BitmapPtr ConvertToFinePalette(const Bitmap& source, const OutputOptions& options, sys::Context& ctx);

}  // namespace rastra

// What the FORMAT codes ask of an image before it is saved, and which FORMAT
// a save without one uses: the one set of rules behind the command line's
// -saveas, the window's Save as, the size report and the library's Write.
#pragma once

#include <rastra/size_report.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"

namespace rastra {

// Whether a save of the output TYPE takes a FORMAT: C bitmaps and streams.
bool TypeTakesFormat(int type);
// 1 to 29 and 99 (14 is accepted, though no image matches it).
bool IsFormatCode(int format);
// Animation frames are written as packed palette indices only: 1, 2, 4, 5.
bool IsAnimationFormat(int format);
// The FORMAT a save without one uses: by the palette size 1 (2 colours), 2
// (4), 4 (16) or 5 (256); true colour 8, or 16 with alpha.
int DefaultFormat(const Bitmap& image);

// FORMAT codes whose data is made from true-colour pixels: a palette image is
// converted to true colour before such a save.
bool FormatTakesTrueColor(int format);
// The colour format a palette FORMAT (1 to 7) needs for an image with
// numColors palette entries (0: true colour) when its palette does not fit,
// or -1 when it fits or the FORMAT is no palette FORMAT.
int FittingColorFormat(int format, int numColors);
// The colour format whose colours a high-colour FORMAT (565, 555, 444)
// keeps, into which a save dithers when dithering is asked for; -1 for the
// other FORMATs (those with alpha too: dithering drops transparency).
int DitherColorFormat(int format);
// Both rules together for one image.
SaveStep SaveStepFor(int format, const Bitmap& image);

// The image a save in format writes: image itself when the FORMAT needs no
// conversion, else the converted copy, kept in holder. Null after ctx
// recorded why the copy could not be made.
const Bitmap* ImageForFormat(const Bitmap& image, int format, const OutputOptions& options, BitmapPtr& holder,
                             sys::Context& ctx);

}  // namespace rastra

// The window's "as saved" view: the picture as a C file or stream of the
// chosen FORMAT holds it, so the designer sees on the desktop what the
// display will show.
#pragma once

#include <rastra/options.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"

namespace rastra {

// The pixels a save of image in format writes: the writers' own fitting
// (palette FORMATs, true colour, dithering when options ask for it), then the
// 16-bit FORMATs' reduction to their colour codes, alpha kept only where the
// FORMAT keeps it. Null after ctx has the failure.
BitmapPtr AsSavedPicture(const Bitmap& image, int format, const OutputOptions& options, sys::Context& ctx);

// What the View menu chose for the "as saved" view.
struct SavedViewChoice {
  bool shown = false;     // the view shows the picture as saved
  int format = 0;         // the FORMAT last chosen (Save as or the menu); 0: the picture's default
  bool dithered = false;  // saves and the view dither, with the "Dither to" method
  DitherMethod method = DitherMethod::kFloydSteinberg;

  // The FORMAT the view uses for image.
  int FormatFor(const Bitmap& image) const;
  // The options of a save (and of the view) made from base.
  OutputOptions OptionsFrom(OutputOptions base) const;
};

}  // namespace rastra

// The main window's animation action without its dialogs: an animated GIF
// becomes C source for an animated sprite or an animated cursor.
#pragma once

#include <string>

#include "app/Report.h"
#include "readers/ReadOptions.h"

// Reads the GIF at gifPath, scans it for its frame count and playing time,
// then decodes its frames one after the other in one pass and writes each
// with type 6 (sprite) or 7 (cursor), FORMAT 5 and NOPALETTE 0; outPath (at
// most 255 characters) is replaced only when every frame was written.
// Returns true when it was; problems are reported. The current image is
// untouched.
bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type,
                         const ReadLimits& limits = JobLimits());

// Whether the GIF at path can be read as an animation (reported when not).
bool CheckGifForAnimation(const std::string& path, const ReadLimits& limits = JobLimits());

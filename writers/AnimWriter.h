// Animated sprite and cursor writer (output types 6 and 7): the frames of an
// animated GIF as one C source file, written piecewise over one call per frame.
#pragma once

#include <string>
#include <vector>

#include "readers/GifDecoder.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

// Writes frame N - framesToFollow - 1 of the records in frames (N =
// info.NumFrames): the first call of an animation (framesToFollow = N - 1)
// also writes the banner, the last (framesToFollow = 0) the bitmap, pointer and
// delay tables and, for type 7, the cursor structure. Calls must come in frame
// order on the same open file; between them the writer keeps a process-wide
// count of the frames still expected. Returns 0 on success, 1 on failure
// (reported; an out-of-order call also ends the animation being written).
int WriteAnimFile(const OutputSpec& spec, const GifInfo& info, sys::File& file, const std::string& path,
                  int framesToFollow, std::vector<GifFrame>* frames, int type);

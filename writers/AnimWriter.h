// Animated sprite and cursor writer (output types 6 and 7): the frames of an
// animated GIF as one C source file, written piecewise over one call per frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/AnimationFrames.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/ImageWriters.h"
#include "writers/TextOutput.h"

namespace rastra {

// What one animation file carries from one call to the next; a fresh one per
// file.
struct AnimWriterState {
  // A palette block written for frames on the global colour table.
  struct SharedPalette {
    int owner = 0;  // the frame number in its name
    int hasTrans = 0;
    std::vector<std::uint8_t> entries;  // the Bitmap's palette bytes
  };
  int remaining = 0;  // frames still expected after the last successful call; 0 idle
  int count = 0;      // frames of the animation being written
  // Frames on the global table share a palette only while their palettes are
  // equal: the decoder moves a frame's transparent entry to index 0, so a
  // frame with another transparent index (or none) needs its own block.
  std::vector<SharedPalette> globalPalettes;
  std::vector<int> paletteOwner;  // per frame: the number in the name of its palette
  std::uint64_t bytes = 0;         // written by the calls so far
};

// Writes frame N - framesToFollow - 1 of the records in frames (N =
// info.NumFrames): the first call of an animation (framesToFollow = N - 1)
// also writes the banner, the last (framesToFollow = 0) the bitmap, pointer and
// delay tables and, for type 7, the cursor structure. Calls must come in frame
// order with the same state and buffer. Returns 0 on success, 1 on failure
// (recorded in ctx; an out-of-order call also ends the animation being
// written). Only the frame being written needs its bitmap.
//
// Before a call writes anything it counts what it adds. The frames of an
// animation share one size, so what is written so far, this call and the
// data arrays of the frames to follow make the least the file can come to;
// beyond options.maxOutputBytes the call fails with "Output would be at
// least N bytes, more than the limit of M bytes" (code kLimit), the first
// call before a byte is written.
int WriteAnimFile(AnimWriterState& state, OutBuffer& out, const OutputSpec& spec, const GifInfo& info,
                  const std::string& path, int framesToFollow, std::vector<GifFrame>* frames, int type,
                  const OutputOptions& options, sys::Context& ctx);

}  // namespace rastra

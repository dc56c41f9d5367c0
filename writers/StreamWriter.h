// The C stream (.dta): the picture data of a C bitmap file as raw bytes behind
// a 16-byte header, for loading at run time instead of compiling in.
#pragma once

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/ImageWriters.h"
#include "writers/TextOutput.h"

namespace rastra {

// Returns kOk, or why nothing (or not all) was written: no image, a FORMAT
// without stream form (99 and codes outside the table; nothing is written
// then), or memory for compressed data ran out. Pixels of 16 and 32 bits come
// in the byte order options.bigEndian asks for; options.useArgb gives palette
// entries as 0xAARRGGBB. Whether every byte reached the sink is for the owner
// of out to ask (OutComplete).
sys::Code WriteStreamedBitmap(OutBuffer& out, const OutputSpec& spec, const OutputOptions& options,
                              const Bitmap* bitmap, sys::Context& ctx);

}  // namespace rastra

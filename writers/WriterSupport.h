// Checks and reports shared by the file writers.
#pragma once

#include <string>

#include "image/Bitmap.h"
#include "sys/Context.h"

namespace rastra {

namespace writer_support {

// True when the fields describe a Bitmap as Bitmap_Create makes them and both
// blocks hold every byte the fields address, so rows can be read through
// Bitmap::Row without a further test.
bool IsConsistent(const Bitmap& bitmap);

// Records "Error writing <format>: <reason>" and returns code.
sys::Code ReportWriteError(sys::Context& ctx, const char* format, const std::string& reason,
                           sys::Code code = sys::Code::kIo);

// The image a file writer writes when it needs true colour, made as
// Bitmap_ToTrueColor would make it of a copy: a plain true-colour image is
// copied with its HasTrans, any other becomes a new true-colour image of its
// colours (a transparent entry's pixels fully transparent, with HasAlpha).
// Null after the allocator has recorded why.
BitmapPtr TrueColorCopy(const Bitmap& bitmap, sys::Context& ctx);

}  // namespace writer_support

}  // namespace rastra

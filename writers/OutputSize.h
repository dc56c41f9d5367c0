// How many bytes a save writes, known before it writes them, and the ceiling
// that keeps a few bytes of input from filling a disk.
//
// A cheap upper bound from the image's size and the FORMAT settles almost
// every save at once. Only when the bound passes the ceiling are the bytes
// counted exactly, by the writers themselves writing into a sink that keeps
// nothing: C rows whose elements all have one width are then counted from
// their first row, so even a count of gigabytes of C text takes moments.
#pragma once

#include <cstdint>
#include <string>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/ImageWriters.h"

namespace rastra {

// At least the bytes WriteImageFile writes for bitmap in TYPE type (1 to 5).
std::uint64_t OutputBytesBound(const Bitmap& bitmap, const OutputSpec& spec, int type);

// Exactly the bytes WriteImageFile writes, found without writing them: kOk
// with bytes set, or the code of the failure the save would meet (nothing
// is recorded in ctx; the save itself reports it).
sys::Code CountOutputBytes(const Bitmap& bitmap, const std::string& path, const OutputSpec& spec, int type,
                           const OutputOptions& options, std::uint64_t& bytes, const sys::Context& ctx);

// kOk when the save fits options.maxOutputBytes. Otherwise records "Output
// would be N bytes, more than the limit of M bytes" (code kLimit) and
// returns kLimit. Counts only when the bound passes the limit.
sys::Code CheckOutputSize(const Bitmap& bitmap, const std::string& path, const OutputSpec& spec, int type,
                          const OutputOptions& options, sys::Context& ctx);

// The refusal's text; atLeast for a size known only from below (an
// animation whose later frames are not written yet).
std::string OutputTooLargeText(std::uint64_t bytes, std::uint64_t limit, bool atLeast = false);

// 6712345678 as "6,712,345,678".
std::string GroupedNumber(std::uint64_t value);

}  // namespace rastra

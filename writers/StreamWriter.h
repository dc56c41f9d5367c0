// The C stream (.dta): the picture data of a C bitmap file as raw bytes behind
// a 16-byte header, for loading at run time instead of compiling in.
#pragma once

#include "image/Bitmap.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

// Returns 0, or 1 when there is no image, the FORMAT has no stream form (99 and
// codes outside the table; nothing is written then), or a write of the header,
// palette or uncompressed pixels fell short. The caller's OutFlush writes the rest.
int WriteStreamedBitmap(sys::File& file, const OutputSpec& spec, bool bigEndian, const Bitmap* bitmap);

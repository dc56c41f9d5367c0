// Checks shared by the file writers before they touch a Bitmap's blocks.
#pragma once

#include <string>

#include "image/Bitmap.h"

namespace writer_support {

// True when the fields describe a Bitmap as Bitmap_Create makes them and both
// blocks hold every byte the fields address, so rows can be read through
// Bitmap::Row without a further test.
bool IsConsistent(const Bitmap& bitmap);

// "Error writing <format>: <reason>\n" through ReportText.
void ReportWriteError(const char* format, const std::string& reason);

}  // namespace writer_support

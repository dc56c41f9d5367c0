#include "readers/PngReader.h"

#include "app/Report.h"

BitmapPtr ReadPngFile(std::span<const std::uint8_t> /*file*/) {
  ReportText("This file type cannot be read yet");
  return nullptr;
}


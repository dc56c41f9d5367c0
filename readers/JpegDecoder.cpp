#include "readers/JpegDecoder.h"

#include "app/Report.h"

BitmapPtr ReadJpegFile(std::span<const std::uint8_t> /*file*/) {
  ReportText("This file type cannot be read yet");
  return nullptr;
}


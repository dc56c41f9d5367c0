#include "readers/BmpReader.h"

#include "app/Report.h"

BitmapPtr ReadBmpFile(std::span<const std::uint8_t> /*file*/) {
  ReportText("This file type cannot be read yet");
  return nullptr;
}

BitmapPtr ReadSbmpFile(std::span<const std::uint8_t> /*file*/) {
  ReportText("This file type cannot be read yet");
  return nullptr;
}


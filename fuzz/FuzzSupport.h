// Shared set-up of the harnesses: reports are kept quiet and in memory, and
// the pixel ceiling is small (32 MiB, room for every seed picture) so that
// each run stays fast and memory use reflects the input.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Report.h"
#include "readers/ImageReaders.h"
#include "sys/Memory.h"

inline void QuietReports() {
  static bool done = false;
  if (done) return;
  done = true;
  // Counted like every other report, so that the silence checks below see it.
  sys::SetAllocFailureHandler([](const std::string& text) { ReportText(text); });
  sys::SetMaxBlockBytes(std::uint64_t{32} << 20);
  SetMessageBoxHook([](const std::string&, const std::string&) {});
}

// One private directory per process for the files a harness writes; it is
// removed when the process ends normally.
inline const std::filesystem::path& FuzzTempDir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "rastra-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  // Registered once dir is complete, so that it runs before dir is destroyed.
  static const bool cleanupRegistered = [] {
    return std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(FuzzTempDir(), ec);
    }) == 0;
  }();
  (void)cleanupRegistered;
  return dir;
}

// A failure the user never hears of is a finding like a crash: every reader
// that gives no image must have said why.
inline BitmapPtr LoadAndCheckReported(const std::uint8_t* data, std::size_t size, int type) {
  const unsigned long reportsBefore = ReportCount();
  BitmapPtr image = LoadImageData({data, size}, type);
  if (!image && ReportCount() == reportsBefore) __builtin_trap();
  return image;
}

// Reads every pixel byte through the row pointers, so that rows or sizes that
// do not fit the pixel block show up under AddressSanitizer. Cheap, unlike a
// colour count, so the harnesses keep their pace.
inline void TouchPixels(const Bitmap& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(image.XSize) * (image.NumColors != 0 ? 1 : 4);
  unsigned sum = 0;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (std::size_t i = 0; i < rowBytes; ++i) sum += row[i];
  }
  static volatile unsigned sink;  // keeps the reads from being optimised away
  sink = sum;
}

// Shared set-up of the harnesses. Every run reads under a pixel ceiling of
// 32 MiB (room for every seed picture), held both as the read's limit and as
// the job's allocation ceiling, so that each run stays fast and memory use
// reflects the input. The core reports nothing itself: what a run has to say
// is in its context, which the checks below look into.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Report.h"
#include "readers/ImageReaders.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

inline constexpr std::uint64_t kFuzzMaxPixelBytes = std::uint64_t{32} << 20;

inline ReadLimits FuzzReadLimits() {
  ReadLimits limits;
  limits.maxPixelBytes = kFuzzMaxPixelBytes;
  return limits;
}

inline ReadOptions FuzzReadOptions() {
  ReadOptions options;
  options.limits = FuzzReadLimits();
  return options;
}

// A context for one job of a run, under the harnesses' allocation ceiling.
inline sys::Context FuzzContext() {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(kFuzzMaxPixelBytes);
  return ctx;
}

// For the harnesses that run application code, which still shows its
// messages: no message box, nothing on stderr.
inline void QuietReports() {
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

// A failure the user never hears of is a finding like a crash: the job failed
// (a reader gave no image, a walk stopped, a writer did not finish) and the
// context holds no failure text saying why.
inline void TrapIfUnexplained(bool failed, const sys::Context& ctx) {
  if (failed && ctx.LastFailureText().empty()) __builtin_trap();
}

// Every reader that gives no image must say why: a failure code, its text,
// and that failure recorded in the context.
inline void CheckReadResult(const ReadResult& result, const sys::Context& ctx) {
  if (result.image) return;
  if (result.code == sys::Code::kOk || result.text.empty()) __builtin_trap();
  TrapIfUnexplained(true, ctx);
}

inline BitmapPtr LoadAndCheckReported(const std::uint8_t* data, std::size_t size, int type, sys::Context& ctx) {
  ReadResult result = LoadImageData({data, size}, type, FuzzReadOptions(), ctx);
  CheckReadResult(result, ctx);
  return std::move(result.image);
}

inline BitmapPtr LoadAndCheckReported(const std::uint8_t* data, std::size_t size, int type) {
  sys::Context ctx = FuzzContext();
  return LoadAndCheckReported(data, size, type, ctx);
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

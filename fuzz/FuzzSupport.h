// Shared set-up of the harnesses. Every run reads under a pixel ceiling of
// 256 KiB (256 x 256 in true colour, room for the seeds), held both as
// the read's limit and as the job's allocation ceiling, and animations stop
// after 256 frames. A hundred bytes may claim a picture of any size; under a
// high ceiling most of a run went into allocating, clearing and walking such
// pictures under the sanitizers, and a harness managed a few dozen inputs a
// second instead of thousands. Larger corpus pictures are refused at once;
// what they exercise, smaller ones exercise as well. The core reports nothing itself: what a run has to say
// is in its context, which the checks below look into.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Report.h"
#include "readers/ImageReaders.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

inline constexpr std::uint64_t kFuzzMaxPixelBytes = std::uint64_t{256} << 10;
inline constexpr std::uint32_t kFuzzMaxFrames = 256;

inline ReadLimits FuzzReadLimits() {
  ReadLimits limits;
  limits.maxPixelBytes = kFuzzMaxPixelBytes;
  limits.maxFrames = kFuzzMaxFrames;
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

struct FuzzSize {
  int width;
  int height;
};

// The size of a structure-aware harness's picture. One in largeOneIn may take
// up to maxSide on each side, the others at most smallSide: the faults sit at
// block, row and table boundaries that small pictures reach as well, and the
// work of a run grows with the pixels, so a run tries several times as many
// pictures.
inline FuzzSize ConsumePictureSize(FuzzedDataProvider& input, int smallSide, int maxSide, int largeOneIn = 8) {
  const int side = input.ConsumeIntegralInRange(1, largeOneIn) == 1 ? maxSide : smallSide;
  const int width = input.ConsumeIntegralInRange(1, side);
  return {width, input.ConsumeIntegralInRange(1, side)};
}

// For the harnesses that run application code, which still shows its
// messages: no message box, nothing on stderr.
inline void QuietReports() {
  SetMessageBoxHook([](const std::string&, const std::string&) {});
}

// Where the private directories go: memory-backed when the machine has such
// a place, since creating and deleting a file on a disk's file system every
// run cost more than everything else a run does.
inline std::filesystem::path FuzzTempRoot() {
  std::error_code ec;
  const std::filesystem::path shared("/dev/shm");
  if (std::filesystem::is_directory(shared, ec) && access(shared.c_str(), W_OK) == 0) return shared;
  return std::filesystem::temp_directory_path();
}

// One private directory per process for the files a harness writes; it is
// removed when the process ends normally.
inline const std::filesystem::path& FuzzTempDir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (FuzzTempRoot() / "rastra-fuzz-XXXXXX").string();
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

inline BitmapPtr LoadAndCheckReported(const std::uint8_t* data, std::size_t size, int type, sys::Context& ctx,
                                      const ReadOptions& options = FuzzReadOptions()) {
  ReadResult result = LoadImageData({data, size}, type, options, ctx);
  CheckReadResult(result, ctx);
  return std::move(result.image);
}

// The read options that are not the defaults: stored PNG values, smoothed
// JPEG chroma, pictures turned by their orientation tag.
inline ReadOptions FuzzOtherReadOptions() {
  ReadOptions options = FuzzReadOptions();
  options.applyGamma = false;
  options.smoothChroma = true;
  options.applyOrientation = true;
  return options;
}

inline BitmapPtr LoadAndCheckReported(const std::uint8_t* data, std::size_t size, int type) {
  sys::Context ctx = FuzzContext();
  return LoadAndCheckReported(data, size, type, ctx);
}

// Reads every pixel byte through the row pointers, so that rows or sizes that
// do not fit the pixel block show up under AddressSanitizer. Cheap, unlike a
// colour count, so the harnesses keep their pace. Not traced for coverage:
// the loop is the harness's, and tracing it per byte only slowed runs down.
__attribute__((no_sanitize("coverage"))) inline void TouchPixels(const Bitmap& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(image.XSize) * (image.NumColors != 0 ? 1 : 4);
  unsigned sum = 0;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (std::size_t i = 0; i < rowBytes; ++i) sum += row[i];
  }
  static volatile unsigned sink;  // keeps the reads from being optimised away
  sink = sum;
}

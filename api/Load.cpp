// Loading in one call: the readers' own loaders behind the library's
// Load and LoadFromMemory.
#include <rastra/load.h>

#include <algorithm>
#include <span>

#include "api/GifAnimation.h"
#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "readers/ImageReaders.h"

namespace rastra {

namespace {

Result<Image> Finish(ReadResult read, sys::Context& ctx) {
  Code code = Code::kOk;
  if (!read.image) code = read.code != Code::kOk ? read.code : Code::kInternal;
  return ResultOf(ctx, code, ImageAccess::Wrap(std::move(read.image)));
}

// A job's allocations are held to the read's own pixel ceiling.
sys::Context ReadContext(const ReadOptions& options) {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(options.limits.maxPixelBytes);
  return ctx;
}

}  // namespace

FileType DetectFileType(const void* data, std::size_t size, const std::string& nameHint) noexcept {
  const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), data != nullptr ? size : 0);
  return static_cast<FileType>(ChooseFileType(FileTypeFromExtension(nameHint), bytes));
}

int FrameCount(const void* data, std::size_t size, const std::string& nameHint, const ReadOptions& options) noexcept {
  try {
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), data != nullptr ? size : 0);
    const int type = ChooseFileType(FileTypeFromExtension(nameHint), bytes);
    if (type == kFileTypeNone) return 0;
    if (type != kFileTypeGif) return 1;
    GifInfo info;
    sys::Context scan;
    if (ScanAnimation(bytes, info, options.limits, scan) == AnimationScan::kUnreadable) return 0;
    return static_cast<int>(std::min<std::uint32_t>(info.NumFrames, INT32_MAX));
  } catch (...) {
    return 0;
  }
}

Result<Image> Load(const std::string& path, const ReadOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx = ReadContext(options);
    return Finish(LoadImagePath(path, options, ctx), ctx);
  });
}

Result<Image> LoadFromMemory(const void* data, std::size_t size, const std::string& nameHint,
                             const ReadOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx = ReadContext(options);
    if (data == nullptr && size != 0) return Result<Image>(Refuse(ctx, Code::kBadArgument, "no data"), Image{});
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), size);
    return Finish(LoadImageBytes(bytes, nameHint, options, ctx), ctx);
  });
}

}  // namespace rastra

// The library's LVGL output: WriteLvgl and WriteLvglFile.
#include <rastra/lvgl.h>

#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"
#include "writers/LvglWriter.h"

namespace rastra {

namespace {

// A file's C name comes from its own name unless the caller gave one.
LvglOptions Named(const LvglOptions& options, const std::string& path) {
  LvglOptions named = options;
  if (named.name.empty()) named.name = path.empty() ? "image" : LvglIdentifierOf(path);
  return named;
}

}  // namespace

Result<std::string> WriteLvgl(const Image& image, const LvglOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Result<std::string>(Refuse(ctx, Code::kNoImage, kNoImageText), std::string{});
    sys::MemorySink sink;
    const Code code = WriteLvglImage(*b, Named(options, ""), OutputOptions{}, sink, "", ctx);
    const std::vector<std::uint8_t>& bytes = sink.Bytes();
    return ResultOf(ctx, code, std::string(bytes.begin(), bytes.end()));
  });
}

Status WriteLvglFile(const Image& image, const std::string& path, const LvglOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Refuse(ctx, Code::kNoImage, kNoImageText);
    auto output = sys::SafeOutputFile::Create(path);
    if (!output) return Refuse(ctx, Code::kIo, "Could not create file " + path);
    const Code code = WriteLvglImage(*b, Named(options, path), OutputOptions{}, output->Output(), path, ctx);
    if (code != Code::kOk) return StatusOf(ctx, code);
    if (!output->Commit()) return Refuse(ctx, Code::kIo, CouldNotWriteText(path));
    return StatusOf(ctx, Code::kOk);
  });
}

}  // namespace rastra

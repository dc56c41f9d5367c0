// Writing with the library: the save dispatcher behind Write and WriteFile,
// fitted to the FORMAT by the rules every save follows, and animations.
#include <rastra/write.h>

#include <span>

#include "api/GifAnimation.h"
#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "readers/GifDecoder.h"
#include "sys/File.h"
#include "writers/FormatRules.h"
#include "writers/ImageWriters.h"
#include "writers/TextOutput.h"

namespace rastra {

namespace {

constexpr const char* kDefaultName = "image";

bool IsImageType(int type) { return type >= kOutputCBitmap && type <= kOutputPng; }
bool IsAnimationType(int type) { return type == kOutputAnimSprite || type == kOutputAnimCursor; }

// Types 1 to 5 of image into sink; identifierSource names the C identifiers.
Code WriteImageTo(const Bitmap& image, sys::ByteSink& sink, const std::string& identifierSource,
                  const WriteOptions& options, sys::Context& ctx) {
  if (!IsImageType(options.type)) {
    const char* why = IsAnimationType(options.type) ? "TYPE 6 and 7 are written from a GIF's bytes (WriteAnimation)"
                                                    : "TYPE must be 1 to 7";
    return ctx.Fail(Code::kBadType, why);
  }
  OutputSpec spec{options.format, options.noPalette ? 1 : 0};
  const Bitmap* written = &image;
  BitmapPtr fitted;
  if (TypeTakesFormat(options.type)) {
    if (spec.Format == 0) spec.Format = DefaultFormat(image);
    if (!IsFormatCode(spec.Format)) {
      return ctx.Fail(Code::kBadFormat, "FORMAT must be 1 to 29 or 99, not " + std::to_string(spec.Format));
    }
    written = ImageForFormat(image, spec.Format, options.output, fitted, ctx);
    if (written == nullptr) return ctx.LastFailure();
  }
  return WriteImageFile(written, sink, identifierSource, spec, options.type, options.output, ctx).code;
}

std::string IdentifierSource(const WriteOptions& options, const std::string& fallback) {
  return options.name.empty() ? fallback : options.name;
}

// The frames of a GIF, edited by the caller's hook and fitted to the FORMAT.
Code WriteAnimationTo(std::span<const std::uint8_t> gif, sys::ByteSink& sink, const std::string& identifierSource,
                      const WriteOptions& options, const ReadLimits& limits, sys::Context& ctx) {
  if (!IsAnimationType(options.type)) return ctx.Fail(Code::kBadType, "animations are TYPE 6 or 7");
  AnimationJob job;
  job.type = options.type;
  job.spec = OutputSpec{options.format != 0 ? options.format : 5, options.noPalette ? 1 : 0};
  if (!IsAnimationFormat(job.spec.Format)) {
    return ctx.Fail(Code::kBadFormat, "TYPE 6 and 7 take FORMAT 1, 2, 4 or 5, not " + std::to_string(job.spec.Format));
  }
  if (!HasGifSignature(gif)) return ctx.Fail(Code::kNotRecognised, "the data is not a GIF file");
  job.identifierSource = identifierSource;
  job.options = options.output;
  job.limits = limits;
  job.prepare = [&](BitmapPtr frame, int index) -> BitmapPtr {
    if (options.editFrame) {
      Result<Image> edited = options.editFrame(ImageAccess::Wrap(std::move(frame)), index);
      if (!edited) {
        ctx.Fail(edited.code, "frame " + std::to_string(index) + ": " + edited.text);
        return nullptr;
      }
      frame = ImageAccess::Release(edited.value);
      if (!frame) return nullptr;
    }
    BitmapPtr fitted;
    const Bitmap* written = ImageForFormat(*frame, job.spec.Format, options.output, fitted, ctx);
    if (written == nullptr) return nullptr;
    return fitted ? std::move(fitted) : std::move(frame);
  };
  GifInfo info;
  switch (ScanAnimation(gif, info, limits, ctx)) {
    case AnimationScan::kUnreadable: return ctx.LastFailure() != Code::kOk ? ctx.LastFailure() : Code::kCorrupt;
    case AnimationScan::kSingleImage: return ctx.Fail(Code::kBadArgument, "GIF file is not animated.");
    case AnimationScan::kAnimated: break;
  }
  if (WriteGifAnimation(gif, info, job, sink, ctx)) return Code::kOk;
  return ctx.LastFailure() != Code::kOk ? ctx.LastFailure() : Code::kInternal;
}

// Writes into the file at path through a temporary sibling that replaces it
// only when complete.
template <class Fill>
Status WriteThroughFile(const std::string& path, sys::Context& ctx, Fill&& fill) {
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) return Refuse(ctx, Code::kIo, "Could not create file " + path);
  const Code code = fill(output->Output());
  if (code != Code::kOk) return StatusOf(ctx, code);
  if (!output->Commit()) return Refuse(ctx, Code::kIo, CouldNotWriteText(path));
  return StatusOf(ctx, Code::kOk);
}

std::string BytesOf(const sys::MemorySink& sink) {
  const std::vector<std::uint8_t>& bytes = sink.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string CIdentifierOf(const std::string& name) noexcept {
  try {
    return IdentifierFromName(name);
  } catch (...) {
    return {};
  }
}

int DefaultFormat(const Image& image) noexcept {
  const Bitmap* b = ImageAccess::Get(image);
  return b != nullptr ? DefaultFormat(*b) : 0;
}

Result<Image> FitToFormat(const Image& image, int format, const OutputOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Result<Image>(Refuse(ctx, Code::kNoImage, "there is no image to work on"), Image{});
    if (!IsFormatCode(format)) {
      return Result<Image>(Refuse(ctx, Code::kBadFormat, "FORMAT must be 1 to 29 or 99, not " + std::to_string(format)),
                           Image{});
    }
    BitmapPtr fitted;
    const Bitmap* written = ImageForFormat(*b, format, options, fitted, ctx);
    if (written == nullptr) return Result<Image>(StatusOf(ctx, ctx.LastFailure()), Image{});
    if (!fitted) fitted = Bitmap_Clone(*b, ctx);
    const Code code = fitted ? Code::kOk : ctx.LastFailure();
    return ResultOf(ctx, code, ImageAccess::Wrap(std::move(fitted)));
  });
}

Result<std::string> Write(const Image& image, const WriteOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Result<std::string>(Refuse(ctx, Code::kNoImage, kNoImageText), std::string{});
    sys::MemorySink sink;
    const Code code = WriteImageTo(*b, sink, IdentifierSource(options, kDefaultName), options, ctx);
    return ResultOf(ctx, code, code == Code::kOk ? BytesOf(sink) : std::string{});
  });
}

Status WriteFile(const Image& image, const std::string& path, const WriteOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) return Refuse(ctx, Code::kNoImage, kNoImageText);
    return WriteThroughFile(path, ctx, [&](sys::ByteSink& sink) {
      return WriteImageTo(*b, sink, IdentifierSource(options, path), options, ctx);
    });
  });
}

Result<std::string> WriteAnimation(const void* gifData, std::size_t size, const WriteOptions& options,
                                   const ReadLimits& limits) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    ctx.SetMaxBlockBytes(limits.maxPixelBytes);
    const std::span<const std::uint8_t> gif(static_cast<const std::uint8_t*>(gifData), gifData != nullptr ? size : 0);
    sys::MemorySink sink;
    const Code code = WriteAnimationTo(gif, sink, IdentifierSource(options, kDefaultName), options, limits, ctx);
    return ResultOf(ctx, code, code == Code::kOk ? BytesOf(sink) : std::string{});
  });
}

Status WriteAnimationFile(const void* gifData, std::size_t size, const std::string& path, const WriteOptions& options,
                          const ReadLimits& limits) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    ctx.SetMaxBlockBytes(limits.maxPixelBytes);
    const std::span<const std::uint8_t> gif(static_cast<const std::uint8_t*>(gifData), gifData != nullptr ? size : 0);
    return WriteThroughFile(path, ctx, [&](sys::ByteSink& sink) {
      return WriteAnimationTo(gif, sink, IdentifierSource(options, path), options, limits, ctx);
    });
  });
}

}  // namespace rastra

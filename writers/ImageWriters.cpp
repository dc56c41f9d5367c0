#include "writers/ImageWriters.h"

#include "writers/BmpWriter.h"
#include "writers/CBitmapWriter.h"
#include "writers/GifWriter.h"
#include "writers/OutputSize.h"
#include "writers/PngWriter.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

namespace rastra {

namespace {

// The writers that go through an OutBuffer.
sys::Code WriteBuffered(const Bitmap* bitmap, OutBuffer& out, const std::string& path, const OutputSpec& spec, int type,
                  const OutputOptions& options, sys::Context& ctx) {
  switch (type) {
    case kOutputCBitmap:
      return WriteCBitmapFile(out, spec, bitmap, path, options, ctx);
    case kOutputCStream:
      return WriteStreamedBitmap(out, spec, options, bitmap, ctx);
    default:
      return WriteBmpFile(out, bitmap, ctx);
  }
}

WriteResult Finish(WriteResult result, sys::Context& ctx) {
  if (!result.Ok() && result.text.empty()) result.text = ctx.LastFailureText();
  return result;
}

// The save itself. With counted given, sink keeps nothing and *counted
// receives the bytes written (see OutBuffer::counting).
WriteResult WriteWithoutLimit(const Bitmap* bitmap, sys::ByteSink& sink, const std::string& path,
                              const OutputSpec& spec, int type, const OutputOptions& options,
                              std::uint64_t* counted, sys::Context& ctx) {
  WriteResult result;
  switch (type) {
    case kOutputCBitmap:
    case kOutputCStream:
    case kOutputBmp: {
      OutBuffer out(sink);
      out.counting = counted != nullptr;
      result.code = WriteBuffered(bitmap, out, path, spec, type, options, ctx);
      if (result.Ok() && !OutComplete(out)) {
        result.code = ctx.Fail(sys::Code::kIo, CouldNotWriteText(path));
      }
      if (counted != nullptr) *counted = OutBytesSoFar(out);
      return Finish(std::move(result), ctx);
    }
    case kOutputGif:
      result.code = WriteGifFile(bitmap, sink, result.replacement, options, ctx);
      return Finish(std::move(result), ctx);
    case kOutputPng:
      result.code = WritePngFile(bitmap, sink, result.replacement, ctx);
      return Finish(std::move(result), ctx);
    case kOutputAnimSprite:
    case kOutputAnimCursor:
      result.code = ctx.Fail(sys::Code::kBadType, "No animation to save");
      return Finish(std::move(result), ctx);
    default:
      // Nothing written, and the image stays the caller's.
      result.code = ctx.Fail(sys::Code::kBadType, kIllegalTypeText, kIllegalTypeMessage);
      return Finish(std::move(result), ctx);
  }
}

}  // namespace

std::string CouldNotWriteText(const std::string& path) { return "Could not write file " + path; }

WriteResult WriteImageFile(const Bitmap* bitmap, sys::ByteSink& sink, const std::string& path,
                           const OutputSpec& spec, int type, const OutputOptions& options, sys::Context& ctx) {
  if (bitmap != nullptr && type >= kOutputCBitmap && type <= kOutputPng) {
    WriteResult refused;
    refused.code = CheckOutputSize(*bitmap, path, spec, type, options, ctx);
    if (!refused.Ok()) return Finish(std::move(refused), ctx);
  }
  return WriteWithoutLimit(bitmap, sink, path, spec, type, options, nullptr, ctx);
}

sys::Code CountOutputBytes(const Bitmap& bitmap, const std::string& path, const OutputSpec& spec, int type,
                           const OutputOptions& options, std::uint64_t& bytes, const sys::Context& ctx) {
  sys::MemorySink counter(false);
  sys::Context scratch;  // what the count meets, the save meets again and reports
  scratch.SetMaxBlockBytes(ctx.MaxBlockBytes());
  bytes = 0;
  const WriteResult result = WriteWithoutLimit(&bitmap, counter, path, spec, type, options, &bytes, scratch);
  if (type == kOutputGif || type == kOutputPng) bytes = counter.Count();
  return result.code;
}

}  // namespace rastra

#include "writers/ImageWriters.h"

#include "writers/BmpWriter.h"
#include "writers/CBitmapWriter.h"
#include "writers/GifWriter.h"
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

}  // namespace

std::string CouldNotWriteText(const std::string& path) { return "Could not write file " + path; }

WriteResult WriteImageFile(const Bitmap* bitmap, sys::ByteSink& sink, const std::string& path,
                           const OutputSpec& spec, int type, const OutputOptions& options, sys::Context& ctx) {
  WriteResult result;
  switch (type) {
    case kOutputCBitmap:
    case kOutputCStream:
    case kOutputBmp: {
      OutBuffer out(sink);
      result.code = WriteBuffered(bitmap, out, path, spec, type, options, ctx);
      if (result.Ok() && !OutComplete(out)) {
        result.code = ctx.Fail(sys::Code::kIo, CouldNotWriteText(path));
      }
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

}  // namespace rastra

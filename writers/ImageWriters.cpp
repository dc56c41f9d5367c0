#include "writers/ImageWriters.h"

#include "app/Report.h"
#include "readers/GifDecoder.h"
#include "writers/AnimWriter.h"
#include "writers/BmpWriter.h"
#include "writers/CBitmapWriter.h"
#include "writers/GifWriter.h"
#include "writers/PngWriter.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

namespace {

BitmapPtr Dispatch(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec, int type,
                   bool bigEndian, const AnimArgs& anim) {
  switch (type) {
    case kOutputCBitmap:
      WriteCBitmapFile(file, spec, bitmap.get(), path);
      return bitmap;
    case kOutputCStream:
      WriteStreamedBitmap(file, spec, bigEndian, bitmap.get());
      OutFlush();
      return bitmap;
    case kOutputBmp:
      WriteBmpFile(file, bitmap.get());
      OutFlush();
      return bitmap;
    case kOutputGif:
      bitmap = WriteGifFile(std::move(bitmap), file);
      OutFlush();
      return bitmap;
    case kOutputPng:
      bitmap = WritePngFile(std::move(bitmap), file);
      OutFlush();
      return bitmap;
    case kOutputAnimSprite:
    case kOutputAnimCursor: {
      if (anim.info == nullptr) {
        ReportText("No animation to save");
        return bitmap;
      }
      // The frames stay with the caller's records; a failed frame ends the
      // animation, so the null result must not look like success.
      const int result = WriteAnimFile(spec, *anim.info, file, path, anim.framesToFollow, anim.frames, type);
      OutFlush();
      return result == 0 ? std::move(bitmap) : nullptr;
    }
    default:
      // Nothing written, but the image stays the caller's.
      ReportMessage(10);  // "Illegal TYPE parameter."
      return bitmap;
  }
}

}  // namespace

BitmapPtr WriteImageFile(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec, int type,
                         bool bigEndian, const AnimArgs& anim) {
  OutAttach(file);
  BitmapPtr result = Dispatch(std::move(bitmap), file, path, spec, type, bigEndian, anim);
  // The caller closes the file next; nothing may write to it afterwards.
  OutDetach();
  return result;
}

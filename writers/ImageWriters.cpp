#include "writers/ImageWriters.h"

#include "app/Report.h"
#include "writers/CBitmapWriter.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

namespace {

BitmapPtr Dispatch(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec, int type,
                   bool bigEndian) {
  switch (type) {
    case kOutputCBitmap:
      WriteCBitmapFile(file, spec, bitmap.get(), path);
      return bitmap;
    case kOutputCStream:
      WriteStreamedBitmap(file, spec, bigEndian, bitmap.get());
      OutFlush();
      return bitmap;
    case kOutputBmp:
      ReportText("Saving as Windows bitmap is not available yet");
      return bitmap;
    case kOutputGif:
      ReportText("Saving as GIF is not available yet");
      return bitmap;
    case kOutputPng:
      ReportText("Saving as PNG is not available yet");
      return bitmap;
    case kOutputAnimSprite:
    case kOutputAnimCursor:
      ReportText("Saving animations is not available yet");
      return bitmap;
    default:
      return nullptr;
  }
}

}  // namespace

BitmapPtr WriteImageFile(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec, int type,
                         bool bigEndian, const AnimArgs& /*anim*/) {
  OutAttach(file);
  BitmapPtr result = Dispatch(std::move(bitmap), file, path, spec, type, bigEndian);
  // The caller closes the file next; nothing may write to it afterwards.
  OutDetach();
  return result;
}

#include "writers/ImageWriters.h"

#include "app/Report.h"
#include "writers/CBitmapWriter.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

BitmapPtr WriteImageFile(BitmapPtr bitmap, sys::File& file, const std::string& path, const OutputSpec& spec, int type,
                         bool bigEndian, const AnimArgs& /*anim*/) {
  OutAttach(file);
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

#include "writers/ImageWriters.h"

#include "app/Report.h"

BitmapPtr WriteImageFile(BitmapPtr bitmap, sys::File& /*file*/, const std::string& /*path*/,
                         const OutputSpec& /*spec*/, int /*type*/, bool /*bigEndian*/, const AnimArgs& /*anim*/) {
  ReportText("This output type cannot be written yet");
  return bitmap;
}

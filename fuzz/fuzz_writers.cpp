// Decodes the input as a Windows bitmap and saves what results through the
// save dispatch. The first two bytes choose the save, the rest is the file:
//   byte 0: the output (C file or C stream with one FORMAT code, BMP, GIF, PNG);
//   byte 1: bit 0 big-endian streams, bit 1 NOPALETTE 1, bit 2 prepare the
//           image for the FORMAT the way -saveas does instead of handing the
//           writer whatever was decoded.
// A writer that gives no image back must have said why; written BMP and PNG
// files are read back and must give the same size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

namespace {

struct Save {
  int type;
  int format;
};

// Every FORMAT code (3 and 14 are no FORMAT), for both C outputs.
const std::vector<Save>& Saves() {
  static const std::vector<Save> saves = [] {
    std::vector<Save> list;
    for (int type : {kOutputCBitmap, kOutputCStream}) {
      for (int format = 1; format <= 29; ++format) list.push_back({type, format});
      list.push_back({type, 99});
    }
    list.push_back({kOutputBmp, 0});
    list.push_back({kOutputGif, 0});
    list.push_back({kOutputPng, 0});
    return list;
  }();
  return saves;
}

constexpr std::uint64_t kMaxPixels = 128 * 128;

// The conversion -saveas makes before writing a FORMAT.
BitmapPtr PrepareFor(BitmapPtr image, int format) {
  const bool paletteFormat = format >= 1 && format <= 7;
  if (!paletteFormat && image->NumColors != 0) return Bitmap_ToTrueColor(std::move(image));
  const int n = image->NumColors;
  int fitting = -1;
  if (format == 1 && (n == 0 || n > 2)) fitting = kFormatBW;
  if (format == 2 && (n == 0 || n > 4)) fitting = kFormatGray4;
  if (format == 3 && (n == 0 || n > 8)) fitting = kFormat111;
  if ((format == 4 || format == 6) && (n == 0 || n > 16)) fitting = kFormatGray16;
  if ((format == 5 || format == 7) && n == 0) fitting = kFormat8666;
  if (fitting < 0) return image;
  return ConvertToFormat(std::move(image), GetColorFormat(fitting));
}

void CheckReadBack(const std::string& path, int type, int width, int height) {
  if (type != kOutputBmp && type != kOutputPng) return;
  auto bytes = sys::ReadWholeFile(path);
  if (!bytes) return;
  BitmapPtr back = LoadImageData(*bytes, type == kOutputBmp ? kFileTypeBmp : kFileTypePng);
  if (!back || back->XSize != width || back->YSize != height) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietReports();
  if (size < 2) return 0;
  const Save save = Saves()[data[0] % Saves().size()];
  const std::uint8_t flags = data[1];
  BitmapPtr image = LoadAndCheckReported(data + 2, size - 2, kFileTypeBmp);
  if (!image || static_cast<std::uint64_t>(image->XSize) * static_cast<std::uint64_t>(image->YSize) > kMaxPixels) {
    return 0;
  }
  if ((flags & 4) != 0) {
    image = PrepareFor(std::move(image), save.format);
    if (!image) return 0;
  }
  const int width = image->XSize;
  const int height = image->YSize;
  static const std::string path = (FuzzTempDir() / "out").string();
  bool complete = false;
  {
    auto file = sys::File::Create(path);
    if (!file) return 0;
    const unsigned long reportsBefore = ReportCount();
    OutputSpec spec;
    spec.Format = save.format;
    spec.NoPalette = (flags & 2) != 0 ? 1 : 0;
    image = WriteImageFile(std::move(image), *file, path, spec, save.type, (flags & 1) != 0);
    if (!image && ReportCount() == reportsBefore) __builtin_trap();  // lost the image without a word
    complete = file->Close() && ReportCount() == reportsBefore;
  }
  if (complete) CheckReadBack(path, save.type, width, height);
  return 0;
}

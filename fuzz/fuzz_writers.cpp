// Decodes the input as a Windows bitmap and saves what results through the
// save dispatch. The first two bytes choose the save, the rest is the file:
//   byte 0: the output (C file or C stream with one FORMAT code, BMP, GIF, PNG);
//   byte 1: bit 0 big-endian streams, bit 1 NOPALETTE 1, bit 2 prepare the
//           image for the FORMAT the way -saveas does instead of handing the
//           writer whatever was decoded.
// A read or a save that fails must say why, and a GIF or PNG save that gives
// no converted image back must have said why too; written BMP and PNG files
// are read back and must give the same size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/OutputOptions.h"
#include "readers/ImageReaders.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

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

// A failure the user never hears of is a finding like a crash.
void CheckReadExplained(const ReadResult& result) {
  if (!result.image && (result.code == sys::Code::kOk || result.text.empty())) __builtin_trap();
}

void CheckSaveExplained(const WriteResult& result, int type, const sys::Context& ctx) {
  const bool silent = ctx.Messages().empty();
  if (!result.Ok() && (silent || result.text.empty())) __builtin_trap();
  // The GIF and PNG writers write from a converted image and hand it back.
  if ((type == kOutputGif || type == kOutputPng) && !result.replacement && silent) __builtin_trap();
}

// The conversion -saveas makes before writing a FORMAT.
BitmapPtr PrepareFor(BitmapPtr image, int format, const OutputOptions& options, sys::Context& ctx) {
  const bool paletteFormat = format >= 1 && format <= 7;
  if (!paletteFormat && image->NumColors != 0) return Bitmap_ToTrueColor(*image, ctx);
  const int n = image->NumColors;
  int fitting = -1;
  if (format == 1 && (n == 0 || n > 2)) fitting = kFormatBW;
  if (format == 2 && (n == 0 || n > 4)) fitting = kFormatGray4;
  if (format == 3 && (n == 0 || n > 8)) fitting = kFormat111;
  if ((format == 4 || format == 6) && (n == 0 || n > 16)) fitting = kFormatGray16;
  if ((format == 5 || format == 7) && n == 0) fitting = kFormat8666;
  if (fitting < 0) return image;
  return ConvertToFormat(*image, GetColorFormat(fitting), options, ctx);
}

void CheckReadBack(const std::vector<std::uint8_t>& bytes, int type, int width, int height) {
  if (type != kOutputBmp && type != kOutputPng) return;
  sys::Context ctx = FuzzContext();
  const ReadResult back =
      LoadImageData(bytes, type == kOutputBmp ? kFileTypeBmp : kFileTypePng, FuzzReadOptions(), ctx);
  if (!back.image || back.image->XSize != width || back.image->YSize != height) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Save save = Saves()[data[0] % Saves().size()];
  const std::uint8_t flags = data[1];
  sys::Context readCtx = FuzzContext();
  ReadResult read = LoadImageData({data + 2, size - 2}, kFileTypeBmp, FuzzReadOptions(), readCtx);
  CheckReadExplained(read);
  BitmapPtr image = std::move(read.image);
  if (!image || static_cast<std::uint64_t>(image->XSize) * static_cast<std::uint64_t>(image->YSize) > kMaxPixels) {
    return 0;
  }
  OutputOptions options;
  options.bigEndian = (flags & 1) != 0;
  if ((flags & 4) != 0) {
    image = PrepareFor(std::move(image), save.format, options, readCtx);
    if (!image) return 0;
  }
  const int width = image->XSize;
  const int height = image->YSize;
  // The writers see a path only for the identifier they derive from it; the
  // bytes stay in memory, which spares every run a file on disk.
  static const std::string path = "out";
  sys::MemorySink sink;
  OutputSpec spec;
  spec.Format = save.format;
  spec.NoPalette = (flags & 2) != 0 ? 1 : 0;
  sys::Context saveCtx = FuzzContext();
  const WriteResult result = WriteImageFile(image.get(), sink, path, spec, save.type, options, saveCtx);
  CheckSaveExplained(result, save.type, saveCtx);
  if (result.Ok() && saveCtx.Messages().empty()) CheckReadBack(sink.Bytes(), save.type, width, height);
  return 0;
}

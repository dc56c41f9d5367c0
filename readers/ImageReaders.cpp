#include "readers/ImageReaders.h"

#include <array>
#include <cstring>

#include "readers/BmpReader.h"
#include "readers/GifDecoder.h"
#include "readers/JpegDecoder.h"
#include "readers/PngReader.h"

namespace {

struct ExtensionRow {
  const char* text;
  std::size_t compared;  // characters compared; the end of a shorter text counts as one
  int type;
};

constexpr std::array<ExtensionRow, 11> kExtensions = {{
    {".bmp", 4, kFileTypeBmp},
    {".BMP", 4, kFileTypeBmp},
    {".sbmp", 5, kFileTypeSbmp},
    {".gif", 4, kFileTypeGif},
    {".GIF", 5, kFileTypeGif},
    {".png", 4, kFileTypePng},
    {".PNG", 5, kFileTypePng},
    {".jpg", 3, kFileTypeJpeg},
    {".JPG", 5, kFileTypeJpeg},
    {".jpeg", 4, kFileTypeJpeg},
    {".JPEG", 5, kFileTypeJpeg},
}};

// strncmp semantics: both texts end in a terminating zero that takes part in
// the comparison.
bool Matches(const std::string& extension, const ExtensionRow& row) {
  return std::strncmp(extension.c_str(), row.text, row.compared) == 0;
}

}  // namespace

int FileTypeFromExtension(const std::string& name) {
  const std::string limited = name.substr(0, 255);
  const std::size_t dot = limited.rfind('.');
  if (dot == std::string::npos) return kFileTypeNone;
  const std::string extension = limited.substr(dot);
  int type = kFileTypeNone;
  for (const ExtensionRow& row : kExtensions) {
    if (Matches(extension, row)) type = row.type;  // the last matching row wins
  }
  return type;
}

ReadResult LoadImageFile(sys::File& file, int type, const ReadOptions& options, sys::Context& ctx) {
  if (type < kFileTypeBmp || type > kFileTypeJpeg) {
    return ReadResult::Failure(ctx, sys::Code::kUnknownType, "Unsupported file type");
  }
  const std::int64_t size = file.Size();
  if (size >= 0 && static_cast<std::uint64_t>(size) > options.limits.maxFileBytes) {
    return ReadResult::Failure(ctx, sys::Code::kLimit, "File too long");
  }
  auto bytes = file.ReadAll();
  if (!bytes) return ReadResult::Failure(ctx, sys::Code::kIo, "File could not be read");
  return LoadImageData(*bytes, type, options, ctx);
}

ReadResult LoadImageData(std::span<const std::uint8_t> data, int type, const ReadOptions& options, sys::Context& ctx) {
  switch (type) {
    case kFileTypeBmp:
      return ReadBmpFile(data, options, ctx);
    case kFileTypeSbmp:
      return ReadSbmpFile(data, options, ctx);
    case kFileTypeGif:
      return ReadGifFile(data, options, ctx);
    case kFileTypePng:
      return ReadPngFile(data, options, ctx);
    case kFileTypeJpeg:
      return ReadJpegFile(data, options, ctx);
    default:
      return ReadResult::Failure(ctx, sys::Code::kUnknownType, "Unsupported file type");
  }
}

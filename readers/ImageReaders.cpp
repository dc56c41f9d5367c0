#include "readers/ImageReaders.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "readers/BmpReader.h"
#include "readers/GifDecoder.h"
#include "readers/JpegDecoder.h"
#include "readers/PngReader.h"

namespace rastra {

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

// How each format's files begin.
struct Signature {
  int type;
  std::string_view bytes;
};

constexpr std::array<Signature, 6> kSignatures = {{
    {kFileTypePng, std::string_view("\x89PNG\r\n\x1a\n", 8)},
    {kFileTypeGif, "GIF87a"},
    {kFileTypeGif, "GIF89a"},
    {kFileTypeJpeg, "\xFF\xD8\xFF"},
    {kFileTypeBmp, "BM"},
    {kFileTypeSbmp, "SB"},
}};

bool StartsWith(std::span<const std::uint8_t> data, std::string_view prefix) {
  return data.size() >= prefix.size() && std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

// Frames of a GIF file; a file that does not scan to its end counts as one
// picture, since the reader showed only its first anyway.
std::uint32_t CountGifFrames(std::span<const std::uint8_t> data, const ReadLimits& limits) {
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  sys::Context scan;  // what the scan meets was said by the read already, or concerns later frames
  if (ParseGif(data, info, nullptr, 0, scan, limits) != 0) return 1;
  return std::max<std::uint32_t>(info.NumFrames, 1);
}

}  // namespace

int FileTypeFromExtension(const std::string& name) {
  // The file's own name, of at most 255 characters as a folder holds them:
  // however long its folders, they never push the extension out of reach.
#ifdef _WIN32
  const std::size_t slash = name.find_last_of("/\\");
#else
  const std::size_t slash = name.rfind('/');
#endif
  const std::string limited = name.substr(slash == std::string::npos ? 0 : slash + 1, 255);
  const std::size_t dot = limited.rfind('.');
  if (dot == std::string::npos) return kFileTypeNone;
  const std::string extension = limited.substr(dot);
  int type = kFileTypeNone;
  for (const ExtensionRow& row : kExtensions) {
    if (Matches(extension, row)) type = row.type;  // the last matching row wins
  }
  return type;
}

int FileTypeFromContent(std::span<const std::uint8_t> data) {
  for (const Signature& signature : kSignatures) {
    if (StartsWith(data, signature.bytes)) return signature.type;
  }
  return kFileTypeNone;
}

int ChooseFileType(int typeFromName, std::span<const std::uint8_t> data) {
  const int fromContent = FileTypeFromContent(data);
  // Every reader refuses data that does not begin as its format does, so a
  // file that begins as another format would be refused by the name's reader.
  return fromContent != kFileTypeNone ? fromContent : typeFromName;
}

ReadResult LoadImagePath(const std::string& path, const ReadOptions& options, sys::Context& ctx) {
  PathRead file;
  return LoadImagePath(path, options, ctx, file);
}

ReadResult LoadImagePath(const std::string& path, const ReadOptions& options, sys::Context& ctx, PathRead& read) {
  std::string reason;
  auto file = sys::File::OpenRead(path, &reason);
  if (!file) {
    read.openFailure = reason;
    ReadResult result;
    result.code = ctx.FailBecause(sys::Code::kIo, kFileNotFoundText, "cannot open " + path + ": " + reason,
                                  kFileNotFoundMessage);
    result.text = kFileNotFoundText;
    result.cause = ctx.LastFailureCause();
    return result;
  }
  const std::int64_t size = file->Size();
  if (size >= 0 && static_cast<std::uint64_t>(size) > options.limits.maxFileBytes) {
    return ReadResult::Failure(ctx, sys::Code::kLimit, "File too long",
                               "the file has " + std::to_string(size) + " bytes, more than the limit of " +
                                   std::to_string(options.limits.maxFileBytes));
  }
  auto bytes = file->ReadAll();
  if (!bytes) return ReadResult::Failure(ctx, sys::Code::kIo, "File could not be read", "reading " + path + " failed");
  ReadResult result = LoadImageBytes(*bytes, path, options, ctx);
  read.bytes = std::move(*bytes);
  return result;
}

ReadResult LoadImageBytes(std::span<const std::uint8_t> data, const std::string& nameHint, const ReadOptions& options,
                          sys::Context& ctx) {
  const int type = ChooseFileType(FileTypeFromExtension(nameHint), data);
  ReadResult result = LoadImageData(data, type, options, ctx);
  result.fileType = type;
  if (result.image && type == kFileTypeGif) result.frames = CountGifFrames(data, options.limits);
  return result;
}

ReadResult LoadImageFile(sys::File& file, int type, const ReadOptions& options, sys::Context& ctx) {
  const std::int64_t size = file.Size();
  if (size >= 0 && static_cast<std::uint64_t>(size) > options.limits.maxFileBytes) {
    return ReadResult::Failure(ctx, sys::Code::kLimit, "File too long");
  }
  auto bytes = file.ReadAll();
  if (!bytes) return ReadResult::Failure(ctx, sys::Code::kIo, "File could not be read");
  return LoadImageData(*bytes, ChooseFileType(type, *bytes), options, ctx);
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

}  // namespace rastra

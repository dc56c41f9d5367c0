// Choosing a reader by file name and handing it the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

enum ImageFileType : int {
  kFileTypeNone = -1,
  kFileTypeBmp = 0,
  kFileTypeSbmp = 1,
  kFileTypeGif = 2,
  kFileTypePng = 3,
  kFileTypeJpeg = 4,
};

// The type from the name's extension; the file's content is not looked at.
int FileTypeFromExtension(const std::string& name);
// The type whose signature the data begins with (PNG, GIF, JPEG, BMP, SBMP),
// or kFileTypeNone.
int FileTypeFromContent(std::span<const std::uint8_t> data);
// The content decides, the name is a hint: typeFromName unless the data
// begins as a supported format does. A file named for no supported type, or
// one whose name's reader would refuse it because it is in fact another
// format, is read by its content without a word.
int ChooseFileType(int typeFromName, std::span<const std::uint8_t> data);

// The command line's numbered message for a file that cannot be opened.
inline constexpr int kFileNotFoundMessage = 20;
inline constexpr const char* kFileNotFoundText = "File not found.";

// Loading in one call, the way every part of the program opens a picture:
// the content decides the reader and the name is the hint (see
// ChooseFileType); the result names the reader that ran and, for a GIF, the
// pictures the file holds. A file that cannot be opened fails with
// kFileNotFoundText (code kIo, the system's reason as the cause).
ReadResult LoadImagePath(const std::string& path, const ReadOptions& options, sys::Context& ctx);
// What LoadImagePath found of the file itself.
struct PathRead {
  std::vector<std::uint8_t> bytes;  // the file's bytes, as decoded (empty when it could not be read)
  std::string openFailure;          // why the file could not be opened, "" when it was
};
// LoadImagePath that hands over the file's bytes, for a caller that keeps
// them (an animation save takes its frames from them) instead of reading the
// file again.
ReadResult LoadImagePath(const std::string& path, const ReadOptions& options, sys::Context& ctx, PathRead& file);
ReadResult LoadImageBytes(std::span<const std::uint8_t> data, const std::string& nameHint, const ReadOptions& options,
                          sys::Context& ctx);

// Reads the whole open file and decodes it with the reader ChooseFileType
// picks for type and the content; a file neither identifies fails with
// "Unsupported file type".
ReadResult LoadImageFile(sys::File& file, int type, const ReadOptions& options, sys::Context& ctx);
// File contents already in memory, with the reader of type and no other.
ReadResult LoadImageData(std::span<const std::uint8_t> data, int type, const ReadOptions& options, sys::Context& ctx);

}  // namespace rastra

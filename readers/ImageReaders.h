// Choosing a reader by file name and handing it the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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

// Reads the whole open file and decodes it with the reader ChooseFileType
// picks for type and the content; a file neither identifies fails with
// "Unsupported file type".
ReadResult LoadImageFile(sys::File& file, int type, const ReadOptions& options, sys::Context& ctx);
// File contents already in memory, with the reader of type and no other.
ReadResult LoadImageData(std::span<const std::uint8_t> data, int type, const ReadOptions& options, sys::Context& ctx);

}  // namespace rastra

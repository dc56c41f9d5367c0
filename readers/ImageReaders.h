// Choosing a reader by file name and handing it the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"
#include "sys/File.h"

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
// Reads the whole open file and decodes it with the reader of type; any other
// type fails with "Unsupported file type".
ReadResult LoadImageFile(sys::File& file, int type, const ReadOptions& options, sys::Context& ctx);
// The same for file contents already in memory.
ReadResult LoadImageData(std::span<const std::uint8_t> data, int type, const ReadOptions& options, sys::Context& ctx);

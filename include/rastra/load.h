// Reading pictures: BMP, SBMP, GIF (its first frame), JPEG and PNG.
//
// The content decides which reader runs; a file name is only a hint for
// data that begins as no supported format does. A failed load gives the
// specific cause as the result's text ("truncated: the data ends in row 12
// of 48"), with code kTruncated wherever the data ends early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <rastra/image.h>
#include <rastra/options.h>
#include <rastra/status.h>

namespace rastra {

enum class FileType : int { kUnknown = -1, kBmp = 0, kSbmp = 1, kGif = 2, kPng = 3, kJpeg = 4 };

// The reader a file would get: by its first bytes, else by the extension of
// nameHint (which may be empty).
FileType DetectFileType(const void* data, std::size_t size, const std::string& nameHint = {}) noexcept;

// The pictures the data holds: the frames of a GIF (more than one for an
// animation, which WriteAnimation takes), 1 for the other types, 0 when no
// reader takes the data or the GIF cannot be walked to its end.
int FrameCount(const void* data, std::size_t size, const std::string& nameHint = {},
               const ReadOptions& options = {}) noexcept;

Result<Image> Load(const std::string& path, const ReadOptions& options = {}) noexcept;
Result<Image> LoadFromMemory(const void* data, std::size_t size, const std::string& nameHint = {},
                             const ReadOptions& options = {}) noexcept;

}  // namespace rastra

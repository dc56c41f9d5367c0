// What the first bytes of an image file say of the picture a read makes of
// it, without decoding anything: its size and kind, and what the reader holds
// beside it while it decodes. A run that shares memory among images plans
// with it before it reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace rastra {

struct ImageHeader {
  int fileType = -1;  // an ImageFileType
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool palette = false;         // the reader makes a palette image (one byte a pixel), else true colour
  std::uint64_t workBytes = 0;  // held beside the picture while it is decoded
};

// The start of a file PeekImageHeader looks at, at most. A JPEG whose frame
// header lies beyond it (behind large metadata) is not recognised.
inline constexpr std::size_t kImageHeaderBytes = 256 * 1024;

// The header of the picture the content of head begins with, or nothing when
// it begins as no format that is read, is cut before the size, or claims no
// pixels.
std::optional<ImageHeader> PeekImageHeader(std::span<const std::uint8_t> head);

}  // namespace rastra

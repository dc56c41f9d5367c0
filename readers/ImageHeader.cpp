#include "readers/ImageHeader.h"

#include "readers/ImageReaders.h"

namespace rastra {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t Le16(Bytes b, std::size_t at) { return b[at] | (std::uint32_t{b[at + 1]} << 8); }
std::uint32_t Le32(Bytes b, std::size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
std::uint32_t Be16(Bytes b, std::size_t at) { return (std::uint32_t{b[at]} << 8) | b[at + 1]; }
std::uint32_t Be32(Bytes b, std::size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }

// Signature, chunk length and type, then the IHDR's width and height. libpng
// decodes straight into the picture, which is always true colour, through a
// table of row pointers.
std::optional<ImageHeader> PngHeader(Bytes b) {
  constexpr std::size_t kSizeEnd = 24;
  if (b.size() < kSizeEnd || b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R') return std::nullopt;
  ImageHeader h{kFileTypePng, Be32(b, 16), Be32(b, 20), false, 0};
  h.workBytes = static_cast<std::uint64_t>(h.height) * sizeof(void*);
  return h;
}

// The logical screen, which the first frame is drawn on; a frame's indices
// are decoded into a block of its size first.
std::optional<ImageHeader> GifHeader(Bytes b) {
  constexpr std::size_t kScreenEnd = 10;
  if (b.size() < kScreenEnd) return std::nullopt;
  ImageHeader h{kFileTypeGif, Le16(b, 6), Le16(b, 8), true, 0};
  h.workBytes = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
  return h;
}

// The file header, then the core header's 16-bit sizes or the info header's
// 32-bit ones (a negative height for rows stored top down).
std::optional<ImageHeader> BmpHeader(Bytes b) {
  constexpr std::size_t kDibStart = 14;
  constexpr std::uint32_t kCoreHeaderSize = 12;
  if (b.size() < kDibStart + 4) return std::nullopt;
  const std::uint32_t dibSize = Le32(b, kDibStart);
  ImageHeader h{kFileTypeBmp, 0, 0, false, 0};
  std::uint32_t bits = 0;
  if (dibSize == kCoreHeaderSize) {
    if (b.size() < 26) return std::nullopt;
    h.width = Le16(b, 18);
    h.height = Le16(b, 20);
    bits = Le16(b, 24);
  } else {
    if (b.size() < 30) return std::nullopt;
    h.width = static_cast<std::int32_t>(Le32(b, 18));
    const std::int64_t height = static_cast<std::int32_t>(Le32(b, 22));
    h.height = height < 0 ? -height : height;
    bits = Le16(b, 28);
  }
  h.palette = bits != 0 && bits <= 8;
  return h;
}

std::optional<ImageHeader> SbmpHeader(Bytes b) {
  if (b.size() < 8) return std::nullopt;
  return ImageHeader{kFileTypeSbmp, Le16(b, 2), Le16(b, 4), Le16(b, 6) != 0, 0};
}

bool IsFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments are walked by their lengths up to the frame header. Each
// component is decoded into a plane of its own; a progressive file also keeps
// every coefficient (two bytes each) until its last scan.
std::optional<ImageHeader> JpegHeader(Bytes b) {
  constexpr std::uint8_t kStartOfScan = 0xDA;
  constexpr std::uint8_t kEndOfImage = 0xD9;
  constexpr std::uint8_t kStartOfImage = 0xD8;
  constexpr std::uint8_t kFirstRestart = 0xD0;
  constexpr std::uint8_t kTemporary = 0x01;
  std::size_t pos = 2;
  while (pos + 4 <= b.size()) {
    if (b[pos] != 0xFF) return std::nullopt;
    const std::uint8_t marker = b[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == kStartOfScan || marker == kEndOfImage) return std::nullopt;
    if ((marker >= kFirstRestart && marker <= kStartOfImage) || marker == kTemporary) {  // no length
      pos += 2;
      continue;
    }
    if (IsFrameMarker(marker)) {
      if (pos + 10 > b.size()) return std::nullopt;
      ImageHeader h{kFileTypeJpeg, Be16(b, pos + 7), Be16(b, pos + 5), false, 0};
      const bool progressive = (marker & 0x03) == 0x02;
      const std::uint64_t planes =
          static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height) * b[pos + 9];
      h.workBytes = progressive ? 3 * planes : planes;
      return h;
    }
    pos += 2 + Be16(b, pos + 2);
  }
  return std::nullopt;
}

}  // namespace

std::optional<ImageHeader> PeekImageHeader(std::span<const std::uint8_t> head) {
  std::optional<ImageHeader> header;
  switch (FileTypeFromContent(head)) {
    case kFileTypePng: header = PngHeader(head); break;
    case kFileTypeGif: header = GifHeader(head); break;
    case kFileTypeBmp: header = BmpHeader(head); break;
    case kFileTypeSbmp: header = SbmpHeader(head); break;
    case kFileTypeJpeg: header = JpegHeader(head); break;
    default: break;
  }
  if (!header || header->width <= 0 || header->height <= 0) return std::nullopt;
  return header;
}

}  // namespace rastra

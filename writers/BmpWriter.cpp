#include "writers/BmpWriter.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "sys/Memory.h"
#include "writers/TextOutput.h"
#include "writers/WriterSupport.h"

namespace rastra {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

struct BmpLayout {
  int bitsPerPixel = 0;
  std::uint64_t stride = 0;      // bytes per stored row, a multiple of 4
  std::uint64_t tableBytes = 0;  // 4 per palette entry
  std::uint64_t blockBytes = 0;  // info header, colour table and rows
};

BmpLayout LayoutFor(const Bitmap& bitmap) {
  const std::uint64_t x = static_cast<std::uint64_t>(bitmap.XSize);
  const int n = bitmap.NumColors;
  BmpLayout layout;
  if (n >= 1 && n <= 2) {
    layout.bitsPerPixel = 1;
    layout.stride = (x + 31) / 32 * 4;
  } else if (n >= 3 && n <= 16) {
    layout.bitsPerPixel = 4;
    layout.stride = (x + 7) / 8 * 4;
  } else if (n >= 17) {
    layout.bitsPerPixel = 8;
    layout.stride = (x + 3) / 4 * 4;
  } else if (bitmap.HasAlpha == 0) {
    layout.bitsPerPixel = 24;
    layout.stride = (3 * x + 3) / 4 * 4;
  } else {
    layout.bitsPerPixel = 32;
    layout.stride = 4 * x;
  }
  layout.tableBytes = 4u * static_cast<unsigned>(n);
  layout.blockBytes = kInfoHeaderSize + layout.tableBytes + layout.stride * static_cast<std::uint64_t>(bitmap.YSize);
  return layout;
}

void PutLE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}

void FillInfoHeader(std::uint8_t* h, const Bitmap& bitmap, const BmpLayout& layout) {
  PutLE32(h + 0, kInfoHeaderSize);
  PutLE32(h + 4, static_cast<std::uint32_t>(bitmap.XSize));
  PutLE32(h + 8, static_cast<std::uint32_t>(bitmap.YSize));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, static_cast<std::uint32_t>(layout.bitsPerPixel));
  PutLE32(h + 32, static_cast<std::uint32_t>(bitmap.NumColors));
}

// The file's colour table carries no transparency: the fourth byte is 0.
void FillColorTable(std::uint8_t* table, const Bitmap& bitmap) {
  const std::uint8_t* palette = bitmap.pInfo.data() + kInfoHeaderSize;
  for (int i = 0; i < bitmap.NumColors; ++i) {
    table[4 * i + 0] = palette[4 * i + 0];
    table[4 * i + 1] = palette[4 * i + 1];
    table[4 * i + 2] = palette[4 * i + 2];
    table[4 * i + 3] = 0;
  }
}

// Indices wider than the file's bits are cut to them, so a stray index can
// never spill into the neighbouring pixel's bits. The row buffer comes in
// zero-filled, so the padding and the unused bits of a last partial byte stay 0.
void PackRow1(std::uint8_t* out, const std::uint8_t* indices, int width) {
  for (int x = 0; x < width; ++x) {
    out[x >> 3] |= static_cast<std::uint8_t>((indices[x] & 1u) << (7 - (x & 7)));
  }
}

void PackRow4(std::uint8_t* out, const std::uint8_t* indices, int width) {
  for (int x = 0; x < width; ++x) {
    out[x >> 1] |= static_cast<std::uint8_t>((indices[x] & 0x0Fu) << ((x & 1) != 0 ? 0 : 4));
  }
}

void CopyRow8(std::uint8_t* out, const std::uint8_t* indices, int width) {
  std::memcpy(out, indices, static_cast<std::size_t>(width));
}

// Blue, green and red of each pixel: four bytes are copied per pixel and the
// next pixel overwrites the fourth, which compiles to one load and one store;
// the last pixel takes its three bytes alone.
void PackRow24(std::uint8_t* out, const std::uint8_t* pixels, int width) {
  int x = 0;
  for (; x + 1 < width; ++x) std::memcpy(out + 3 * x, pixels + 4 * x, 4);
  if (x < width) std::memcpy(out + 3 * x, pixels + 4 * x, 3);
}

void PackRow32(std::uint8_t* out, const std::uint8_t* pixels, int width) {
  for (int x = 0; x < width; ++x, out += 4, pixels += 4) {
    out[0] = pixels[0];
    out[1] = pixels[1];
    out[2] = pixels[2];
    out[3] = static_cast<std::uint8_t>(255 - pixels[3]);
  }
}

using PackFn = void (*)(std::uint8_t*, const std::uint8_t*, int);

PackFn PackerFor(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: return PackRow1;
    case 4: return PackRow4;
    case 8: return CopyRow8;
    case 24: return PackRow24;
    default: return PackRow32;
  }
}

// Rows go bottom picture row first, one at a time through a row buffer, so
// the file never exists twice in memory. False when a write failed; the rows
// after it are not tried.
bool WriteRows(OutBuffer& out, const Bitmap& bitmap, const BmpLayout& layout, sys::Context& ctx) {
  std::vector<std::uint8_t> row;
  if (!sys::AllocZeroed(row, layout.stride, ctx)) return false;
  const PackFn pack = PackerFor(layout.bitsPerPixel);
  const bool packsBits = layout.bitsPerPixel < 8;
  for (int y = bitmap.YSize - 1; y >= 0; --y) {
    if (packsBits) std::memset(row.data(), 0, row.size());
    pack(row.data(), bitmap.Row(y), bitmap.XSize);
    if (OutWrite(out, row.data(), row.size()) == 0) return false;
  }
  return true;
}

bool WriteFileHeader(OutBuffer& out, std::uint32_t fileSize, std::uint32_t dataOffset) {
  std::uint8_t type[2] = {'B', 'M'};
  std::uint8_t size[4];
  std::uint8_t reserved[2] = {0, 0};
  std::uint8_t offset[4];
  PutLE32(size, fileSize);
  PutLE32(offset, dataOffset);
  return OutWrite(out, type, 2) != 0 && OutWrite(out, size, 4) != 0 && OutWrite(out, reserved, 2) != 0 &&
         OutWrite(out, reserved, 2) != 0 && OutWrite(out, offset, 4) != 0;
}

}  // namespace

sys::Code WriteBmpFile(OutBuffer& out, const Bitmap* bitmap, sys::Context& ctx) {
  using writer_support::ReportWriteError;
  if (bitmap == nullptr) return ReportWriteError(ctx, "BMP", "No image", sys::Code::kNoImage);
  if (!writer_support::IsConsistent(*bitmap)) {
    return ReportWriteError(ctx, "BMP", "Invalid image data", sys::Code::kInternal);
  }
  const BmpLayout layout = LayoutFor(*bitmap);
  const std::uint64_t fileSize = kFileHeaderSize + layout.blockBytes;
  if (fileSize > UINT32_MAX) return ReportWriteError(ctx, "BMP", "Image too large", sys::Code::kLimit);
  std::vector<std::uint8_t> head;
  if (!sys::AllocZeroed(head, kInfoHeaderSize + layout.tableBytes, ctx)) return sys::Code::kOutOfMemory;
  FillInfoHeader(head.data(), *bitmap, layout);
  FillColorTable(head.data() + kInfoHeaderSize, *bitmap);
  const auto dataOffset = static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + layout.tableBytes);
  // Flushing here lets a failure of the last piece be reported with the others.
  if (!WriteFileHeader(out, static_cast<std::uint32_t>(fileSize), dataOffset) ||
      OutWrite(out, head.data(), head.size()) == 0 || !WriteRows(out, *bitmap, layout, ctx) || OutFlush(out) == 0) {
    return ReportWriteError(ctx, "BMP", "The file could not be written");
  }
  return sys::Code::kOk;
}

}  // namespace rastra

// PNG files assembled chunk by chunk for the tests: any chunk, in any order
// the test needs, each with a correct checksum.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace png_test {

using Bytes = std::vector<std::uint8_t>;

inline void PutBE32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline void AddChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBE32(png, static_cast<std::uint32_t>(data.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  png.insert(png.end(), typed.begin(), typed.end());
  PutBE32(png, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

struct Png {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  std::uint8_t bitDepth = 8;
  std::uint8_t colorType = 2;
  std::vector<Bytes> rows;  // raw sample bytes of each row, without the filter byte
  Bytes palette;            // PLTE: red, green, blue per entry
  Bytes trns;
  Bytes bkgd;
  std::uint32_t gamma = 0;  // gAMA x 100000; 0 = none
  Bytes exif;               // eXIf data; written after the image data when exifLast
  bool exifLast = false;
};

inline Bytes Ihdr(const Png& p) {
  Bytes ihdr;
  PutBE32(ihdr, p.width);
  PutBE32(ihdr, p.height);
  ihdr.insert(ihdr.end(), {p.bitDepth, p.colorType, 0, 0, 0});
  return ihdr;
}

inline Bytes Encode(const Png& p) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  AddChunk(png, "IHDR", Ihdr(p));
  if (p.gamma != 0) {
    Bytes g;
    PutBE32(g, p.gamma);
    AddChunk(png, "gAMA", g);
  }
  if (!p.exif.empty() && !p.exifLast) AddChunk(png, "eXIf", p.exif);
  if (!p.palette.empty()) AddChunk(png, "PLTE", p.palette);
  if (!p.trns.empty()) AddChunk(png, "tRNS", p.trns);
  if (!p.bkgd.empty()) AddChunk(png, "bKGD", p.bkgd);
  Bytes raw;
  for (const Bytes& row : p.rows) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(size);
  AddChunk(png, "IDAT", packed);
  if (!p.exif.empty() && p.exifLast) AddChunk(png, "eXIf", p.exif);
  AddChunk(png, "IEND", {});
  return png;
}

}  // namespace png_test

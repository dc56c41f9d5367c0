// YCbCr to RGB through tables with 16 fractional bits; chroma is replicated
// over the luma samples it covers, not interpolated.
#include <algorithm>
#include <array>

#include "readers/JpegInternal.h"

namespace {

struct ColorTables {
  std::array<std::int32_t, 256> crToRed{};
  std::array<std::int32_t, 256> cbToBlue{};
  std::array<std::int32_t, 256> crToGreen{};
  std::array<std::int32_t, 256> cbToGreen{};
};

constexpr int kScaleBits = 16;
constexpr std::int32_t kHalf = 1 << (kScaleBits - 1);

constexpr ColorTables MakeColorTables() {
  ColorTables t;
  for (int i = 0; i < 256; ++i) {
    const std::int32_t k = i - 128;
    t.crToRed[i] = (91881 * k + kHalf) >> kScaleBits;    // 1.402
    t.cbToBlue[i] = (116129 * k + kHalf) >> kScaleBits;  // 1.772
    t.crToGreen[i] = -46802 * k;                         // -0.71414
    t.cbToGreen[i] = -22554 * k + kHalf;                 // -0.34414, with the rounding half
  }
  return t;
}

constexpr ColorTables kColor = MakeColorTables();

// Clamps luma plus a chroma term (at most -227 to 255 + 225) to 0 to 255.
constexpr int kLimitOffset = 384;
constexpr std::array<std::uint8_t, 1024> MakeRangeLimit() {
  std::array<std::uint8_t, 1024> t{};
  for (int i = 0; i < 1024; ++i) t[i] = static_cast<std::uint8_t>(std::clamp(i - kLimitOffset, 0, 255));
  return t;
}
constexpr std::array<std::uint8_t, 1024> kRangeLimit = MakeRangeLimit();

inline void StorePixel(std::uint8_t* out, int y, int red, int green, int blue) {
  const std::uint8_t* limit = kRangeLimit.data() + kLimitOffset;
  out[0] = limit[y + blue];
  out[1] = limit[y + green];
  out[2] = limit[y + red];
  out[3] = 0;
}

void ConvertGrey(const std::uint8_t* samples, int width, int lines, std::uint8_t* const* rows) {
  for (int line = 0; line < lines; ++line) {
    std::uint8_t* out = rows[line];
    const std::uint8_t* block = samples + line * 8;
    for (int x = 0; x < width; x += 8, block += kJpegBlockSize) {
      const int n = std::min(8, width - x);
      for (int i = 0; i < n; ++i, out += 4) {
        out[0] = out[1] = out[2] = block[i];
        out[3] = 0;
      }
    }
  }
}

// H x V luma blocks and one Cb and one Cr block per MCU. V lines share a
// chroma row, so they are produced together.
template <int H, int V>
void ConvertColor(const std::uint8_t* samples, int mcusPerRow, int width, int lines, std::uint8_t* const* rows) {
  constexpr int kLumaBlocks = H * V;
  constexpr int kMcuBytes = (kLumaBlocks + 2) * kJpegBlockSize;
  constexpr int kMcuWidth = 8 * H;
  for (int chromaRow = 0; chromaRow * V < lines; ++chromaRow) {
    const int firstLine = chromaRow * V;
    const int lineCount = std::min(V, lines - firstLine);
    for (int m = 0; m < mcusPerRow; ++m) {
      const std::uint8_t* mcu = samples + static_cast<std::size_t>(m) * kMcuBytes;
      const std::uint8_t* cbRow = mcu + kLumaBlocks * kJpegBlockSize + chromaRow * 8;
      const std::uint8_t* crRow = cbRow + kJpegBlockSize;
      const int x0 = m * kMcuWidth;
      const int n = std::min(kMcuWidth, width - x0);
      for (int v = 0; v < lineCount; ++v) {
        const int line = firstLine + v;
        const std::uint8_t* lumaRow = mcu + (line >> 3) * H * kJpegBlockSize + (line & 7) * 8;
        std::uint8_t* out = rows[line] + 4 * x0;
        for (int c = 0; c * H < n; ++c) {
          const int cb = cbRow[c];
          const int cr = crRow[c];
          const int red = kColor.crToRed[cr];
          const int green = (kColor.cbToGreen[cb] + kColor.crToGreen[cr]) >> kScaleBits;
          const int blue = kColor.cbToBlue[cb];
          for (int h = 0; h < H; ++h) {
            const int x = c * H + h;
            if (H > 1 && x >= n) break;
            StorePixel(out + 4 * x, lumaRow[(x >> 3) * kJpegBlockSize + (x & 7)], red, green, blue);
          }
        }
      }
    }
  }
}

}  // namespace

void JpegConvertMcuRow(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                       std::uint8_t* const* rows) {
  switch (type) {
    case JpegScanType::kGrey:
      ConvertGrey(samples, width, lines, rows);
      break;
    case JpegScanType::kH1V1:
      ConvertColor<1, 1>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH2V1:
      ConvertColor<2, 1>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH1V2:
      ConvertColor<1, 2>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH2V2:
      ConvertColor<2, 2>(samples, mcusPerRow, width, lines, rows);
      break;
  }
}

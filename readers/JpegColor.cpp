// YCbCr to RGB through tables with 16 fractional bits. Here chroma is
// replicated over the luma samples it covers; JpegSmooth interpolates it.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Two MCUs at a time with AVX2, chosen at run time; the build only assumes SSE2.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define RASTRA_JPEG_COLOR_AVX2 1
#include <immintrin.h>
#endif

#include "readers/JpegInternal.h"

namespace rastra {

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

struct Chroma {
  int red;
  int green;
  int blue;
};

inline Chroma LookUpChroma(int cb, int cr) {
  return Chroma{kColor.crToRed[cr], (kColor.cbToGreen[cb] + kColor.crToGreen[cr]) >> kScaleBits,
                kColor.cbToBlue[cb]};
}

// Stores the bytes of value lowest first (blue, green, red, transparency).
inline void StoreWord(std::uint8_t* out, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &value, sizeof value);
  } else {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// Blue, green, red and a 0 transparency byte in one store.
inline void StorePixel(std::uint8_t* out, int y, const Chroma& c) {
  const std::uint8_t* limit = kRangeLimit.data() + kLimitOffset;
  const std::uint32_t pixel = static_cast<std::uint32_t>(limit[y + c.blue]) |
                              (static_cast<std::uint32_t>(limit[y + c.green]) << 8) |
                              (static_cast<std::uint32_t>(limit[y + c.red]) << 16);
  StoreWord(out, pixel);
}

void ConvertGrey(const std::uint8_t* samples, int width, int lines, std::uint8_t* const* rows) {
  for (int line = 0; line < lines; ++line) {
    std::uint8_t* out = rows[line];
    const std::uint8_t* block = samples + line * 8;
    for (int x = 0; x < width; x += 8, block += kJpegBlockSize) {
      const int n = std::min(8, width - x);
      for (int i = 0; i < n; ++i, out += 4) {
        StoreWord(out, block[i] * 0x010101u);
      }
    }
  }
}

// One chroma row of one MCU: 8 Cb/Cr pairs, each serving H x V luma samples
// (lumaRows[v] point at the luma sample row of output line v). Pixels from
// `count` on are not stored (right edge of the picture).
template <int H, int V, bool kWhole>
inline void ConvertMcuChromaRow(const std::uint8_t* cbRow, const std::uint8_t* crRow,
                                const std::uint8_t* const* lumaRows, std::uint8_t* const* out, int lineCount,
                                int count) {
  for (int c = 0; c < 8; ++c) {
    if (!kWhole && c * H >= count) return;
    const Chroma chroma = LookUpChroma(cbRow[c], crRow[c]);
    for (int v = 0; v < V; ++v) {
      if (V > 1 && v >= lineCount) break;
      for (int h = 0; h < H; ++h) {
        const int x = c * H + h;
        if (!kWhole && H > 1 && x >= count) break;
        StorePixel(out[v] + 4 * x, lumaRows[v][(x >> 3) * kJpegBlockSize + (x & 7)], chroma);
      }
    }
  }
}

#if defined(__SSE2__)

// 16 bytes to out; with kStream (out aligned) past the caches, for pictures
// far larger than they are, so that writing them does not first read them in.
template <bool kStream>
inline void Store16(std::uint8_t* out, __m128i value) {
  if constexpr (kStream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(out), value);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), value);
  }
}

// Interleaves 16 blue, green and red bytes into 16 pixels (blue, green, red, 0).
template <bool kStream>
inline void StoreSixteenPixels(std::uint8_t* out, __m128i blue, __m128i green, __m128i red) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bgLow = _mm_unpacklo_epi8(blue, green);
  const __m128i bgHigh = _mm_unpackhi_epi8(blue, green);
  const __m128i r0Low = _mm_unpacklo_epi8(red, zero);
  const __m128i r0High = _mm_unpackhi_epi8(red, zero);
  Store16<kStream>(out, _mm_unpacklo_epi16(bgLow, r0Low));
  Store16<kStream>(out + 16, _mm_unpackhi_epi16(bgLow, r0Low));
  Store16<kStream>(out + 32, _mm_unpacklo_epi16(bgHigh, r0High));
  Store16<kStream>(out + 48, _mm_unpackhi_epi16(bgHigh, r0High));
}

// The low 8 bytes of each colour into 8 pixels.
template <bool kStream>
inline void StoreEightPixels(std::uint8_t* out, __m128i blue, __m128i green, __m128i red) {
  const __m128i bg = _mm_unpacklo_epi8(blue, green);
  const __m128i r0 = _mm_unpacklo_epi8(red, _mm_setzero_si128());
  Store16<kStream>(out, _mm_unpacklo_epi16(bg, r0));
  Store16<kStream>(out + 16, _mm_unpackhi_epi16(bg, r0));
}

// The three chroma terms of 8 Cb/Cr pairs, exactly as the tables give them.
// Each table entry is (constant x (sample - 128) + rounding) >> 16; the
// constants are split into a multiple of 65536, which adds whole multiples of
// the centred sample, and a part below 32768, which one multiply-add forms
// with its rounding in 32 bits.
struct ChromaTerms {
  __m128i red;
  __m128i green;
  __m128i blue;
};

// (x * a + y * b + 32768) >> 16 for 8 pairs of 16-bit lanes, in 32 bits,
// narrowed back to 16 bits.
inline __m128i MulAddRounded(__m128i x, __m128i y, int a, int b) {
  const __m128i ab =
      _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) | static_cast<std::uint16_t>(a)));
  const __m128i round = _mm_set1_epi32(kHalf);
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x, y), ab), round), kScaleBits);
  const __m128i high = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(x, y), ab), round), kScaleBits);
  return _mm_packs_epi32(low, high);
}

inline ChromaTerms ComputeChromaTerms(const std::uint8_t* cbRow, const std::uint8_t* crRow) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i center = _mm_set1_epi16(128);
  const __m128i cb = _mm_sub_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbRow)), zero), center);
  const __m128i cr = _mm_sub_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(crRow)), zero), center);
  ChromaTerms t;
  // 91881 = 65536 + 26345; 116129 = 2 x 65536 - 14943; -46802 = -65536 + 18734.
  t.red = _mm_add_epi16(cr, MulAddRounded(cr, zero, 26345, 0));
  t.blue = _mm_add_epi16(_mm_add_epi16(cb, cb), MulAddRounded(cb, zero, -14943, 0));
  t.green = _mm_sub_epi16(MulAddRounded(cb, cr, -22554, 18734), cr);
  return t;
}

// A whole MCU's chroma row at once: luma plus chroma term is formed in 16-bit
// lanes, and the unsigned saturation of the final narrowing is the clamp to 0
// to 255.
template <int H, int V, bool kStream>
inline void ConvertWholeMcuChromaRow(const std::uint8_t* cbRow, const std::uint8_t* crRow,
                                     const std::uint8_t* const* lumaRows, std::uint8_t* const* out, int lineCount) {
  const ChromaTerms terms = ComputeChromaTerms(cbRow, crRow);
  const __m128i red8 = terms.red;
  const __m128i green8 = terms.green;
  const __m128i blue8 = terms.blue;
  const __m128i zero = _mm_setzero_si128();
  for (int v = 0; v < V; ++v) {
    if (V > 1 && v >= lineCount) break;
    const __m128i lumaLeft =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lumaRows[v])), zero);
    if constexpr (H == 2) {
      const __m128i lumaRight = _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lumaRows[v] + kJpegBlockSize)), zero);
      auto channel = [&](__m128i term) {
        return _mm_packus_epi16(_mm_add_epi16(lumaLeft, _mm_unpacklo_epi16(term, term)),
                                _mm_add_epi16(lumaRight, _mm_unpackhi_epi16(term, term)));
      };
      StoreSixteenPixels<kStream>(out[v], channel(blue8), channel(green8), channel(red8));
    } else {
      auto channel = [&](__m128i term) { return _mm_packus_epi16(_mm_add_epi16(lumaLeft, term), zero); };
      StoreEightPixels<kStream>(out[v], channel(blue8), channel(green8), channel(red8));
    }
  }
}

#endif  // __SSE2__

// H x V luma blocks and one Cb and one Cr block per MCU. V lines share a
// chroma row, so they are produced together.
template <int H, int V, bool kStream>
void ConvertColor(const std::uint8_t* samples, int mcusPerRow, int width, int lines, std::uint8_t* const* rows) {
  constexpr int kLumaBlocks = H * V;
  constexpr int kMcuBytes = (kLumaBlocks + 2) * kJpegBlockSize;
  constexpr int kMcuWidth = 8 * H;
  const int wholeMcus = width / kMcuWidth;
  for (int chromaRow = 0; chromaRow * V < lines; ++chromaRow) {
    const int firstLine = chromaRow * V;
    const int lineCount = std::min(V, lines - firstLine);
    const std::uint8_t* lumaRows[V];
    std::uint8_t* out[V];
    for (int v = 0; v < V; ++v) {
      const int line = std::min(firstLine + v, lines - 1);
      lumaRows[v] = samples + (line >> 3) * H * kJpegBlockSize + (line & 7) * 8;
      out[v] = rows[line];
    }
    const std::uint8_t* cbRow = samples + kLumaBlocks * kJpegBlockSize + chromaRow * 8;
    for (int m = 0; m < mcusPerRow; ++m) {
      const int count = std::min(kMcuWidth, width - m * kMcuWidth);
      if (m < wholeMcus) {
#if defined(__SSE2__)
        ConvertWholeMcuChromaRow<H, V, kStream>(cbRow, cbRow + kJpegBlockSize, lumaRows, out, lineCount);
#else
        ConvertMcuChromaRow<H, V, true>(cbRow, cbRow + kJpegBlockSize, lumaRows, out, lineCount, count);
#endif
      } else {
        ConvertMcuChromaRow<H, V, false>(cbRow, cbRow + kJpegBlockSize, lumaRows, out, lineCount, count);
      }
      cbRow += kMcuBytes;
      for (int v = 0; v < V; ++v) {
        lumaRows[v] += kMcuBytes;
        out[v] += 4 * kMcuWidth;
      }
    }
  }
}

#if defined(RASTRA_JPEG_COLOR_AVX2)

#define RASTRA_AVX2 __attribute__((target("avx2")))

// The chroma terms above for two MCUs, one per 128-bit half.
RASTRA_AVX2 inline __m256i MulAddRounded2(__m256i x, __m256i y, int a, int b) {
  const __m256i ab =
      _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) | static_cast<std::uint16_t>(a)));
  const __m256i round = _mm256_set1_epi32(kHalf);
  const __m256i low =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(x, y), ab), round), kScaleBits);
  const __m256i high =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(x, y), ab), round), kScaleBits);
  return _mm256_packs_epi32(low, high);
}

// Eight bytes from each of two places, widened to 16-bit lanes, one place per half.
RASTRA_AVX2 inline __m256i LoadTwoRows(const std::uint8_t* first, const std::uint8_t* second) {
  const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first));
  const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second));
  return _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(a, b));
}

// 32 bytes to out; streamed as two 16-byte halves, so that rows need only
// the 16-byte alignment the SSE2 path asks for.
template <bool kStream>
RASTRA_AVX2 inline void Store32(std::uint8_t* out, __m256i value) {
  if constexpr (kStream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(value));
    _mm_stream_si128(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(value, 1));
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), value);
  }
}

// Two 16-byte groups per half of x and y, written as two MCUs' outputs: the
// low halves to out, the high ones to out + 32.
template <bool kStream>
RASTRA_AVX2 inline void StoreHalves(std::uint8_t* out, __m256i x, __m256i y) {
  Store32<kStream>(out, _mm256_permute2x128_si256(x, y, 0x20));
  Store32<kStream>(out + 32, _mm256_permute2x128_si256(x, y, 0x31));
}

// Luma plus a chroma term that covers two luma samples across, clamped to 0
// to 255 by the saturating narrowing.
RASTRA_AVX2 inline __m256i AddToPairs(__m256i lumaLeft, __m256i lumaRight, __m256i term) {
  return _mm256_packus_epi16(_mm256_add_epi16(lumaLeft, _mm256_unpacklo_epi16(term, term)),
                             _mm256_add_epi16(lumaRight, _mm256_unpackhi_epi16(term, term)));
}

// Two neighbouring whole MCUs' chroma row, exactly as ConvertWholeMcuChromaRow
// converts each.
template <int H, int V, bool kStream>
RASTRA_AVX2 inline void ConvertTwoMcuChromaRows(const std::uint8_t* cbRow, int mcuBytes,
                                                const std::uint8_t* const* lumaRows, std::uint8_t* const* out,
                                                int lineCount) {
  const __m256i center = _mm256_set1_epi16(128);
  const __m256i cb = _mm256_sub_epi16(LoadTwoRows(cbRow, cbRow + mcuBytes), center);
  const __m256i cr =
      _mm256_sub_epi16(LoadTwoRows(cbRow + kJpegBlockSize, cbRow + mcuBytes + kJpegBlockSize), center);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i red = _mm256_add_epi16(cr, MulAddRounded2(cr, zero, 26345, 0));
  const __m256i blue = _mm256_add_epi16(_mm256_add_epi16(cb, cb), MulAddRounded2(cb, zero, -14943, 0));
  const __m256i green = _mm256_sub_epi16(MulAddRounded2(cb, cr, -22554, 18734), cr);
  for (int v = 0; v < V; ++v) {
    if (V > 1 && v >= lineCount) break;
    const __m256i lumaLeft = LoadTwoRows(lumaRows[v], lumaRows[v] + mcuBytes);
    __m256i b8;
    __m256i g8;
    __m256i r8;
    if constexpr (H == 2) {
      const __m256i lumaRight =
          LoadTwoRows(lumaRows[v] + kJpegBlockSize, lumaRows[v] + mcuBytes + kJpegBlockSize);
      b8 = AddToPairs(lumaLeft, lumaRight, blue);
      g8 = AddToPairs(lumaLeft, lumaRight, green);
      r8 = AddToPairs(lumaLeft, lumaRight, red);
      const __m256i bgLow = _mm256_unpacklo_epi8(b8, g8);
      const __m256i bgHigh = _mm256_unpackhi_epi8(b8, g8);
      const __m256i r0Low = _mm256_unpacklo_epi8(r8, zero);
      const __m256i r0High = _mm256_unpackhi_epi8(r8, zero);
      // Per half: pixels 0-3, 4-7, 8-11 and 12-15 of its MCU.
      const __m256i p0 = _mm256_unpacklo_epi16(bgLow, r0Low);
      const __m256i p1 = _mm256_unpackhi_epi16(bgLow, r0Low);
      const __m256i p2 = _mm256_unpacklo_epi16(bgHigh, r0High);
      const __m256i p3 = _mm256_unpackhi_epi16(bgHigh, r0High);
      const __m256i first01 = _mm256_permute2x128_si256(p0, p1, 0x20);
      const __m256i first23 = _mm256_permute2x128_si256(p2, p3, 0x20);
      const __m256i second01 = _mm256_permute2x128_si256(p0, p1, 0x31);
      const __m256i second23 = _mm256_permute2x128_si256(p2, p3, 0x31);
      std::uint8_t* o = out[v];
      Store32<kStream>(o, first01);
      Store32<kStream>(o + 32, first23);
      Store32<kStream>(o + 64, second01);
      Store32<kStream>(o + 96, second23);
    } else {
      b8 = _mm256_packus_epi16(_mm256_add_epi16(lumaLeft, blue), zero);
      g8 = _mm256_packus_epi16(_mm256_add_epi16(lumaLeft, green), zero);
      r8 = _mm256_packus_epi16(_mm256_add_epi16(lumaLeft, red), zero);
      const __m256i bg = _mm256_unpacklo_epi8(b8, g8);
      const __m256i r0 = _mm256_unpacklo_epi8(r8, zero);
      StoreHalves<kStream>(out[v], _mm256_unpacklo_epi16(bg, r0), _mm256_unpackhi_epi16(bg, r0));
    }
  }
}

// ConvertColor with two whole MCUs at a time.
template <int H, int V, bool kStream>
RASTRA_AVX2 void ConvertColorAvx2(const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                                  std::uint8_t* const* rows) {
  constexpr int kLumaBlocks = H * V;
  constexpr int kMcuBytes = (kLumaBlocks + 2) * kJpegBlockSize;
  constexpr int kMcuWidth = 8 * H;
  const int wholeMcus = width / kMcuWidth;
  for (int chromaRow = 0; chromaRow * V < lines; ++chromaRow) {
    const int firstLine = chromaRow * V;
    const int lineCount = std::min(V, lines - firstLine);
    const std::uint8_t* lumaRows[V];
    std::uint8_t* out[V];
    for (int v = 0; v < V; ++v) {
      const int line = std::min(firstLine + v, lines - 1);
      lumaRows[v] = samples + (line >> 3) * H * kJpegBlockSize + (line & 7) * 8;
      out[v] = rows[line];
    }
    const std::uint8_t* cbRow = samples + kLumaBlocks * kJpegBlockSize + chromaRow * 8;
    for (int m = 0; m < mcusPerRow;) {
      const int step = m + 1 < wholeMcus ? 2 : 1;
      if (step == 2) {
        ConvertTwoMcuChromaRows<H, V, kStream>(cbRow, kMcuBytes, lumaRows, out, lineCount);
      } else if (m < wholeMcus) {
        ConvertWholeMcuChromaRow<H, V, kStream>(cbRow, cbRow + kJpegBlockSize, lumaRows, out, lineCount);
      } else {
        const int count = std::min(kMcuWidth, width - m * kMcuWidth);
        ConvertMcuChromaRow<H, V, false>(cbRow, cbRow + kJpegBlockSize, lumaRows, out, lineCount, count);
      }
      m += step;
      cbRow += step * kMcuBytes;
      for (int v = 0; v < V; ++v) {
        lumaRows[v] += step * kMcuBytes;
        out[v] += step * 4 * kMcuWidth;
      }
    }
  }
}

// One line of full-resolution samples, 16 pixels at a time, with the
// arithmetic of the converters above; returns how many pixels it did.
RASTRA_AVX2 int ConvertLineAvx2(const std::uint8_t* luma, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                                std::uint8_t* out) {
  const __m256i center = _mm256_set1_epi16(128);
  const __m256i zero = _mm256_setzero_si256();
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m256i cbw =
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x))), center);
    const __m256i crw =
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x))), center);
    const __m256i y = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x)));
    const __m256i red = _mm256_add_epi16(crw, MulAddRounded2(crw, zero, 26345, 0));
    const __m256i blue = _mm256_add_epi16(_mm256_add_epi16(cbw, cbw), MulAddRounded2(cbw, zero, -14943, 0));
    const __m256i green = _mm256_sub_epi16(MulAddRounded2(cbw, crw, -22554, 18734), crw);
    const __m256i b8 = _mm256_packus_epi16(_mm256_add_epi16(y, blue), zero);
    const __m256i g8 = _mm256_packus_epi16(_mm256_add_epi16(y, green), zero);
    const __m256i r8 = _mm256_packus_epi16(_mm256_add_epi16(y, red), zero);
    const __m256i bg = _mm256_unpacklo_epi8(b8, g8);
    const __m256i r0 = _mm256_unpacklo_epi8(r8, zero);
    StoreHalves<false>(out + 4 * x, _mm256_unpacklo_epi16(bg, r0), _mm256_unpackhi_epi16(bg, r0));
  }
  return x;
}

#undef RASTRA_AVX2

#endif  // RASTRA_JPEG_COLOR_AVX2

// One output line of one component, its samples replicated across: the line
// `line` of the MCU row, of every MCU.
void GatherLine(const JpegRowLayout& layout, int component, int line, const std::uint8_t* samples,
                std::uint8_t* out) {
  const int sampleRow = line / layout.repeatDown[component];
  const int repeat = layout.repeatAcross[component];
  const int across = layout.blocksAcross[component];
  const std::size_t mcuBytes = static_cast<std::size_t>(layout.blocksPerMcu) * kJpegBlockSize;
  const std::uint8_t* first = samples +
                              static_cast<std::size_t>(layout.firstBlock[component] + (sampleRow >> 3) * across) *
                                  kJpegBlockSize +
                              (sampleRow & 7) * 8;
  for (int m = 0; m < layout.mcusPerRow; ++m, first += mcuBytes) {
    for (int b = 0; b < across; ++b) {
      const std::uint8_t* block = first + static_cast<std::size_t>(b) * kJpegBlockSize;
      for (int i = 0; i < 8; ++i) {
        for (int r = 0; r < repeat; ++r) *out++ = block[i];
      }
    }
  }
}

// x * k / 255 rounded to nearest (255 is odd, so there are no ties).
inline int ScaleByInk(int x, int k) { return (x * k + 127) / 255; }

void ConvertLine(JpegColorSpace space, const std::array<const std::uint8_t*, kJpegMaxComponents>& in, int width,
                 std::uint8_t* out) {
  const std::uint8_t* limit = kRangeLimit.data() + kLimitOffset;
  for (int x = 0; x < width; ++x, out += 4) {
    switch (space) {
      case JpegColorSpace::kGrey:
        StoreWord(out, in[0][x] * 0x010101u);
        break;
      case JpegColorSpace::kYCbCr:
        StorePixel(out, in[0][x], LookUpChroma(in[1][x], in[2][x]));
        break;
      case JpegColorSpace::kRgb:
        StoreWord(out, in[2][x] | (in[1][x] << 8) | (static_cast<std::uint32_t>(in[0][x]) << 16));
        break;
      case JpegColorSpace::kCmyk: {
        const int k = in[3][x];
        StoreWord(out, static_cast<std::uint32_t>(ScaleByInk(in[2][x], k)) |
                           (static_cast<std::uint32_t>(ScaleByInk(in[1][x], k)) << 8) |
                           (static_cast<std::uint32_t>(ScaleByInk(in[0][x], k)) << 16));
        break;
      }
      case JpegColorSpace::kYcck: {
        // The YCC part converts as YCbCr would; its complement is the
        // stored (inverted) C, M and Y, as a CMYK file would hold them.
        const int k = in[3][x];
        const int y = in[0][x];
        const Chroma c = LookUpChroma(in[1][x], in[2][x]);
        StoreWord(out, static_cast<std::uint32_t>(ScaleByInk(255 - limit[y + c.blue], k)) |
                           (static_cast<std::uint32_t>(ScaleByInk(255 - limit[y + c.green], k)) << 8) |
                           (static_cast<std::uint32_t>(ScaleByInk(255 - limit[y + c.red], k)) << 16));
        break;
      }
    }
  }
}

template <int H, int V, bool kStream, bool kAvx2>
void ConvertColorWith(const std::uint8_t* samples, int mcusPerRow, int width, int lines, std::uint8_t* const* rows) {
#if defined(RASTRA_JPEG_COLOR_AVX2)
  if constexpr (kAvx2) {
    ConvertColorAvx2<H, V, kStream>(samples, mcusPerRow, width, lines, rows);
    return;
  }
#endif
  ConvertColor<H, V, kStream>(samples, mcusPerRow, width, lines, rows);
}

template <bool kStream, bool kAvx2>
void ConvertFixed(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                  std::uint8_t* const* rows) {
  switch (type) {
    case JpegScanType::kGrey:
      ConvertGrey(samples, width, lines, rows);
      break;
    case JpegScanType::kH1V1:
      ConvertColorWith<1, 1, kStream, kAvx2>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH2V1:
      ConvertColorWith<2, 1, kStream, kAvx2>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH1V2:
      ConvertColorWith<1, 2, kStream, kAvx2>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kH2V2:
      ConvertColorWith<2, 2, kStream, kAvx2>(samples, mcusPerRow, width, lines, rows);
      break;
    case JpegScanType::kGeneral:
      break;  // needs the layout: JpegConvertMcuRowGeneral
  }
}

#if defined(__SSE2__)
// All rows start on a multiple of `alignment` bytes.
bool RowsAligned(std::uint8_t* const* rows, int lines, std::uintptr_t alignment) {
  for (int i = 0; i < lines; ++i) {
    if ((reinterpret_cast<std::uintptr_t>(rows[i]) & (alignment - 1)) != 0) return false;
  }
  return true;
}
#endif

}  // namespace

void JpegConvertMcuRow(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                       std::uint8_t* const* rows, bool streamOut) {
  JpegConvertMcuRowWith(type, samples, mcusPerRow, width, lines, rows, streamOut, JpegUsesAvx2());
}

void JpegConvertMcuRowWith(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                           std::uint8_t* const* rows, bool streamOut, bool avx2) {
#if defined(RASTRA_JPEG_COLOR_AVX2)
  if (avx2) {
    if (streamOut && RowsAligned(rows, lines, 16)) {
      ConvertFixed<true, true>(type, samples, mcusPerRow, width, lines, rows);
      _mm_sfence();  // the streamed stores are in memory before anyone reads the rows
    } else {
      ConvertFixed<false, true>(type, samples, mcusPerRow, width, lines, rows);
    }
    return;
  }
#else
  (void)avx2;
#endif
#if defined(__SSE2__)
  if (streamOut && RowsAligned(rows, lines, 16)) {
    ConvertFixed<true, false>(type, samples, mcusPerRow, width, lines, rows);
    _mm_sfence();
    return;
  }
#else
  (void)streamOut;
#endif
  ConvertFixed<false, false>(type, samples, mcusPerRow, width, lines, rows);
}

void JpegConvertLine(const std::uint8_t* luma, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                     std::uint8_t* out) {
  int x = 0;
#if defined(RASTRA_JPEG_COLOR_AVX2)
  if (JpegUsesAvx2()) x = ConvertLineAvx2(luma, cb, cr, width, out);
#endif
#if defined(__SSE2__)
  for (; x + 8 <= width; x += 8) {
    const std::uint8_t* lumaRow = luma + x;
    std::uint8_t* outRow = out + 4 * x;
    ConvertWholeMcuChromaRow<1, 1, false>(cb + x, cr + x, &lumaRow, &outRow, 1);
  }
#endif
  for (; x < width; ++x) StorePixel(out + 4 * x, luma[x], LookUpChroma(cb[x], cr[x]));
}

void JpegConvertMcuRowGeneral(const JpegRowLayout& layout, JpegColorSpace space, const std::uint8_t* samples,
                              int width, int lines, std::uint8_t* const* rows) {
  const std::size_t lineBytes = static_cast<std::size_t>(layout.mcusPerRow) * layout.mcuWidth;
  std::vector<std::uint8_t> buffer(lineBytes * static_cast<std::size_t>(layout.componentCount));
  std::array<const std::uint8_t*, kJpegMaxComponents> in{};
  for (int line = 0; line < lines; ++line) {
    for (int c = 0; c < layout.componentCount; ++c) {
      std::uint8_t* out = buffer.data() + lineBytes * static_cast<std::size_t>(c);
      GatherLine(layout, c, line, samples, out);
      in[c] = out;
    }
    ConvertLine(space, in, width, rows[line]);
  }
}

}  // namespace rastra

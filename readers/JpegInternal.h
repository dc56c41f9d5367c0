// Pieces of the JPEG decoder shared between its source files: Huffman tables,
// the inverse DCT and the colour conversion of one MCU row.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rastra {

inline constexpr int kJpegBlockSize = 64;

// Natural (row-major) position of the k-th coefficient in zigzag order. The 16
// extra entries keep an index that runs past 63 in corrupt data inside the block.
inline constexpr std::array<std::uint8_t, 80> kJpegZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// Sets a block's 64 coefficients to zero; eight fixed stores beat a call to
// the general memset (which compilers turn a plain loop into).
inline void JpegClearBlock(std::int16_t* coefficients) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < kJpegBlockSize; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(coefficients + i), zero);
#else
  std::fill_n(coefficients, kJpegBlockSize, std::int16_t{0});
#endif
}

// Bits of the table that decodes a whole code (and where they fit, its value
// bits) with one lookup.
inline constexpr int kJpegFastBits = 11;

// Entries of JpegHuffmanTable::fast: the bits to drop in the low 5 bits, the
// zero run in bits 8 to 11 and the value (or, with kJpegSymbolOnly, the size
// of the value bits still to read) from bit 16 on. A plain entry (no flag) is
// a whole coefficient; a run of 16 zeros is a plain entry of value 0.
inline constexpr std::int32_t kJpegSymbolOnly = 0x20;
inline constexpr std::int32_t kJpegEndOfBlock = 0x40;  // AC size 0, run below 15 (an end-of-band run)
inline constexpr std::int32_t kJpegLongCode = 0x80;    // longer than kJpegFastBits, or no code at all
inline constexpr std::int32_t kJpegEntryFlags = kJpegSymbolOnly | kJpegEndOfBlock | kJpegLongCode;

// A decoding table as it arrives in a DHT segment, plus the lookup structures
// built from it at each scan start.
struct JpegHuffmanTable {
  bool defined = false;
  std::array<std::uint8_t, 17> counts{};  // counts[n]: number of codes of n bits (1 to 16)
  std::array<std::uint8_t, 256> symbols{};
  int symbolCount = 0;

  // Indexed by the next 8 bits: a symbol (>= 0) whose code has at most 8 bits,
  // or the negated tree node where the walk of a longer code continues.
  std::array<std::int16_t, 256> lookup{};
  std::array<std::uint8_t, 256> codeSize{};
  // Node n has its children at 2n (bit 0) and 2n + 1 (bit 1); nodes start at 1.
  std::array<std::int16_t, 512> tree{};
  // Indexed by the next kJpegFastBits bits; see kJpegSymbolOnly. DC tables
  // (acTable false) read each symbol as the size of a difference, AC tables
  // as run x 16 + size.
  std::array<std::int32_t, 1 << kJpegFastBits> fast{};
  // AC tables, for the same bits where `fast` has a whole coefficient: a
  // second whole coefficient that follows within the bits, as its value from
  // bit 16 on, the step to its position (1 + its zero run) in bits 8 to 12,
  // and the bits both take in the low 5 bits. Where none fits, the step is 0
  // and the value that of the first, so that storing it again changes nothing.
  std::array<std::int32_t, 1 << kJpegFastBits> pairs{};
};

// Entries no code reaches decode as symbol 0; for lookup entries the whole 8
// bits are consumed.
inline constexpr std::int16_t kJpegNoSymbol = 0x7FFF;

// Assigns the canonical codes and fills lookup, codeSize and tree. False when
// the code lengths do not form a prefix code.
bool JpegBuildHuffmanTable(JpegHuffmanTable& table, bool acTable);
// Defines slot (DC tables 0 and 1, AC tables 4 and 5) with the example table
// of ITU-T T.81 Annex K.3, which Motion-JPEG frames use without carrying it.
// False for the other slots.
bool JpegLoadStandardTable(int slot, JpegHuffmanTable& table);

// Inverse DCT of one block of dequantised coefficients in natural order into 64
// samples, 8 per row. lastNonZero is one past the highest zigzag index that may
// be non-zero (1: only the DC term; 64: any). The rows are transformed first,
// or with columnsFirst the columns, as the IJG decoder does.
void JpegInverseDct(const std::int16_t* coefficients, int lastNonZero, std::uint8_t* samples,
                    bool columnsFirst = false);
// The same transform without vector instructions, one line at a time; where
// vector instructions are available JpegInverseDct must agree with it.
void JpegInverseDctPortable(const std::int16_t* coefficients, int lastNonZero, std::uint8_t* samples,
                            bool columnsFirst = false);

// The layouts with a converter of their own; every other one goes through
// JpegConvertMcuRowGeneral.
// Two blocks with any coefficients at once (with AVX2 where the processor has
// it); the results equal JpegInverseDct's for each.
void JpegInverseDctPair(const std::int16_t* first, const std::int16_t* second, std::uint8_t* firstSamples,
                        std::uint8_t* secondSamples, bool columnsFirst = false);
// Whether the run-time choice above (and the colour conversion's) uses AVX2.
bool JpegUsesAvx2();

enum class JpegScanType { kGrey, kH1V1, kH2V1, kH1V2, kH2V2, kGeneral };

// How the stored components turn into RGB. CMYK and YCCK samples are stored
// inverted, as Adobe software writes them.
enum class JpegColorSpace { kGrey, kYCbCr, kRgb, kCmyk, kYcck };

inline constexpr int kJpegMaxComponents = 4;

// Where the samples of each component lie in one MCU row (64 bytes per block,
// blocks in MCU order), and how many output pixels each sample covers.
struct JpegRowLayout {
  int componentCount = 0;
  int blocksPerMcu = 0;
  int mcusPerRow = 0;
  int mcuWidth = 8;
  std::array<int, kJpegMaxComponents> firstBlock{};    // the component's first block within an MCU
  std::array<int, kJpegMaxComponents> blocksAcross{};  // its blocks per MCU, across and down
  std::array<int, kJpegMaxComponents> repeatAcross{};  // output pixels per sample across
  std::array<int, kJpegMaxComponents> repeatDown{};    // and down
};

// Turns the samples of one MCU row (64 bytes per block, blocks in MCU order:
// the luma blocks left to right then top to bottom, then Cb, then Cr) into
// output pixels (blue, green, red, 0) of `lines` picture rows of `width` pixels.
// streamOut: the picture is much larger than the caches, so whole 16-byte
// groups may bypass them (where the rows are aligned for it).
void JpegConvertMcuRow(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                       std::uint8_t* const* rows, bool streamOut = false);
// The same with the choice of AVX2 made by the caller (false: SSE2 or
// portable), so that tests can hold the paths against each other.
void JpegConvertMcuRowWith(JpegScanType type, const std::uint8_t* samples, int mcusPerRow, int width, int lines,
                           std::uint8_t* const* rows, bool streamOut, bool avx2);

// One line of width pixels from luma and chroma samples of full resolution
// each, with the same arithmetic as the converters above.
void JpegConvertLine(const std::uint8_t* luma, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                     std::uint8_t* out);

// Any layout and colour space: each output line gathers its samples of every
// component (replicated across), then converts them pixel by pixel with the
// same arithmetic as the layouts above.
void JpegConvertMcuRowGeneral(const JpegRowLayout& layout, JpegColorSpace space, const std::uint8_t* samples,
                              int width, int lines, std::uint8_t* const* rows);

}  // namespace rastra

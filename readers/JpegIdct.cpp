// The slow-but-accurate integer inverse DCT: two one-dimensional passes of the
// Loeffler-Ligtenberg-Moschytz flow graph with 13-bit constants, over the rows
// first and then over the columns, or (as the IJG decoder does) the other way
// round; the two orders round a few samples differently.
//
// The arithmetic runs in unsigned 32-bit values so that coefficients from a
// corrupt file wrap around instead of overflowing a signed type; for every
// real picture the results equal those of signed arithmetic.
#include <algorithm>
#include <cstring>

#include "readers/JpegInternal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The two-block AVX2 transform is chosen at run time; the build itself only
// assumes SSE2.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define RASTRA_JPEG_AVX2 1
#include <immintrin.h>
#endif

namespace rastra {

namespace {

using Wide = std::uint32_t;

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
constexpr int kPass1Shift = kConstBits - kPass1Bits;      // 11
constexpr int kPass2Shift = kConstBits + kPass1Bits + 3;  // 18

constexpr Wide Neg(Wide v) { return Wide{0} - v; }

constexpr Wide kFix0298631336 = 2446;
constexpr Wide kFix0390180644 = 3196;
constexpr Wide kFix0541196100 = 4433;
constexpr Wide kFix0765366865 = 6270;
constexpr Wide kFix0899976223 = 7373;
constexpr Wide kFix1175875602 = 9633;
constexpr Wide kFix1501321110 = 12299;
constexpr Wide kFix1847759065 = 15137;
constexpr Wide kFix1961570560 = 16069;
constexpr Wide kFix2053119869 = 16819;
constexpr Wide kFix2562915447 = 20995;
constexpr Wide kFix3072711026 = 25172;

constexpr std::int32_t Descale(Wide x, int shift) {
  return static_cast<std::int32_t>(x + (Wide{1} << (shift - 1))) >> shift;
}

// One 8-point transform; the eight results still carry the 13 fractional bits
// of the constants (plus whatever scaling the inputs had).
struct Line {
  Wide out[8];
};

inline Line Transform(Wide in0, Wide in1, Wide in2, Wide in3, Wide in4, Wide in5, Wide in6, Wide in7) {
  // Even part.
  Wide z1 = (in2 + in6) * kFix0541196100;
  const Wide even2 = z1 + in6 * Neg(kFix1847759065);
  const Wide even3 = z1 + in2 * kFix0765366865;
  const Wide even0 = (in0 + in4) << kConstBits;
  const Wide even1 = (in0 - in4) << kConstBits;
  const Wide tmp10 = even0 + even3;
  const Wide tmp13 = even0 - even3;
  const Wide tmp11 = even1 + even2;
  const Wide tmp12 = even1 - even2;

  // Odd part.
  z1 = in7 + in1;
  Wide z2 = in5 + in3;
  Wide z3 = in7 + in3;
  Wide z4 = in5 + in1;
  const Wide z5 = (z3 + z4) * kFix1175875602;
  Wide odd0 = in7 * kFix0298631336;
  Wide odd1 = in5 * kFix2053119869;
  Wide odd2 = in3 * kFix3072711026;
  Wide odd3 = in1 * kFix1501321110;
  z1 *= Neg(kFix0899976223);
  z2 *= Neg(kFix2562915447);
  z3 = z3 * Neg(kFix1961570560) + z5;
  z4 = z4 * Neg(kFix0390180644) + z5;
  odd0 += z1 + z3;
  odd1 += z2 + z4;
  odd2 += z2 + z3;
  odd3 += z1 + z4;

  return Line{{tmp10 + odd3, tmp11 + odd2, tmp12 + odd1, tmp13 + odd0, tmp13 - odd0, tmp12 - odd1, tmp11 - odd2,
               tmp10 - odd3}};
}

inline std::uint8_t ClampSample(std::int32_t v) { return static_cast<std::uint8_t>(std::clamp(v + 128, 0, 255)); }

// Rows below this many (counted from the top) may hold a non-zero coefficient
// when the zigzag positions from lastNonZero on are zero.
constexpr std::array<std::uint8_t, 65> MakeRowsInUse() {
  std::array<std::uint8_t, 65> rows{};
  int maxRow = 0;
  for (int n = 1; n <= 64; ++n) {
    const int row = kJpegZigzag[n - 1] >> 3;
    maxRow = row + 1 > maxRow ? row + 1 : maxRow;
    rows[n] = static_cast<std::uint8_t>(maxRow);
  }
  return rows;
}

void RowPass(const std::int16_t* in, int rowsInUse, std::int32_t* ws) {
  for (int r = 0; r < rowsInUse; ++r, in += 8, ws += 8) {
    if ((in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7]) == 0) {
      const std::int32_t dc = in[0] * (1 << kPass1Bits);
      for (int i = 0; i < 8; ++i) ws[i] = dc;
      continue;
    }
    const Line line = Transform(static_cast<Wide>(in[0]), static_cast<Wide>(in[1]), static_cast<Wide>(in[2]),
                                static_cast<Wide>(in[3]), static_cast<Wide>(in[4]), static_cast<Wide>(in[5]),
                                static_cast<Wide>(in[6]), static_cast<Wide>(in[7]));
    for (int i = 0; i < 8; ++i) ws[i] = Descale(line.out[i], kPass1Shift);
  }
  std::memset(ws, 0, sizeof(std::int32_t) * 8 * static_cast<std::size_t>(8 - rowsInUse));
}

void ColumnPass(const std::int32_t* ws, std::uint8_t* out) {
  for (int c = 0; c < 8; ++c) {
    const std::int32_t* col = ws + c;
    if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
      const std::uint8_t v = ClampSample(Descale(static_cast<Wide>(col[0]), kPass1Bits + 3));
      for (int i = 0; i < 8; ++i) out[8 * i + c] = v;
      continue;
    }
    const Line line = Transform(static_cast<Wide>(col[0]), static_cast<Wide>(col[8]), static_cast<Wide>(col[16]),
                                static_cast<Wide>(col[24]), static_cast<Wide>(col[32]), static_cast<Wide>(col[40]),
                                static_cast<Wide>(col[48]), static_cast<Wide>(col[56]));
    for (int i = 0; i < 8; ++i) out[8 * i + c] = ClampSample(Descale(line.out[i], kPass2Shift));
  }
}

#if defined(__SSE2__)

// The same arithmetic on eight lines at once in 16-bit lanes. Each product
// pair of the flow graph is regrouped (exactly, in integers) into sums of two
// 16 x 16-bit products, which one multiply-add instruction forms in 32 bits.
// The workspace between the passes is held in 16 bits; coefficients of a real
// picture keep it far inside that range.

inline __m128i Pair(int a, int b) {
  return _mm_set_epi16(static_cast<short>(b), static_cast<short>(a), static_cast<short>(b), static_cast<short>(a),
                       static_cast<short>(b), static_cast<short>(a), static_cast<short>(b), static_cast<short>(a));
}

inline void Transpose(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
  const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
  const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
  const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
  const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
  const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
  const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
  const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
  const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

// The eight 32-bit outputs of four lines, from the interleaved input pairs
// (0,4), (2,6), (7,5) and (3,1).
inline void TransformHalf(__m128i p04, __m128i p26, __m128i p75, __m128i p31, __m128i out[8]) {
  const __m128i even0 = _mm_madd_epi16(p04, Pair(1 << kConstBits, 1 << kConstBits));
  const __m128i even1 = _mm_madd_epi16(p04, Pair(1 << kConstBits, -(1 << kConstBits)));
  // even2 = (in2 + in6) * c0.541 - in6 * c1.848; even3 = (in2 + in6) * c0.541 + in2 * c0.765
  const __m128i even2 = _mm_madd_epi16(p26, Pair(4433, 4433 - 15137));
  const __m128i even3 = _mm_madd_epi16(p26, Pair(4433 + 6270, 4433));
  const __m128i tmp10 = _mm_add_epi32(even0, even3);
  const __m128i tmp13 = _mm_sub_epi32(even0, even3);
  const __m128i tmp11 = _mm_add_epi32(even1, even2);
  const __m128i tmp12 = _mm_sub_epi32(even1, even2);
  // The odd part with z1 to z5 multiplied out: each output is a sum of the
  // four odd inputs times combined constants.
  const __m128i odd0 = _mm_add_epi32(_mm_madd_epi16(p75, Pair(2446 - 7373 - 16069 + 9633, 9633)),
                                     _mm_madd_epi16(p31, Pair(-16069 + 9633, -7373 + 9633)));
  const __m128i odd1 = _mm_add_epi32(_mm_madd_epi16(p75, Pair(9633, 16819 - 20995 - 3196 + 9633)),
                                     _mm_madd_epi16(p31, Pair(-20995 + 9633, -3196 + 9633)));
  const __m128i odd2 = _mm_add_epi32(_mm_madd_epi16(p75, Pair(-16069 + 9633, -20995 + 9633)),
                                     _mm_madd_epi16(p31, Pair(25172 - 20995 - 16069 + 9633, 9633)));
  const __m128i odd3 = _mm_add_epi32(_mm_madd_epi16(p75, Pair(-7373 + 9633, -3196 + 9633)),
                                     _mm_madd_epi16(p31, Pair(9633, 12299 - 7373 - 3196 + 9633)));
  out[0] = _mm_add_epi32(tmp10, odd3);
  out[7] = _mm_sub_epi32(tmp10, odd3);
  out[1] = _mm_add_epi32(tmp11, odd2);
  out[6] = _mm_sub_epi32(tmp11, odd2);
  out[2] = _mm_add_epi32(tmp12, odd1);
  out[5] = _mm_sub_epi32(tmp12, odd1);
  out[3] = _mm_add_epi32(tmp13, odd0);
  out[4] = _mm_sub_epi32(tmp13, odd0);
}

// One pass over eight lines held lane-wise (x[k] holds input k of every line);
// the results are descaled by shift and narrowed to 16 bits.
template <int kShift>
inline void TransformLanes(const __m128i x[8], __m128i result[8]) {
  __m128i lo[8];
  __m128i hi[8];
  TransformHalf(_mm_unpacklo_epi16(x[0], x[4]), _mm_unpacklo_epi16(x[2], x[6]), _mm_unpacklo_epi16(x[7], x[5]),
                _mm_unpacklo_epi16(x[3], x[1]), lo);
  TransformHalf(_mm_unpackhi_epi16(x[0], x[4]), _mm_unpackhi_epi16(x[2], x[6]), _mm_unpackhi_epi16(x[7], x[5]),
                _mm_unpackhi_epi16(x[3], x[1]), hi);
  const __m128i round = _mm_set1_epi32(1 << (kShift - 1));
  for (int i = 0; i < 8; ++i) {
    result[i] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo[i], round), kShift),
                                _mm_srai_epi32(_mm_add_epi32(hi[i], round), kShift));
  }
}

// Rows first: the input is turned so that each lane holds a row. Columns
// first: the input's lanes are its columns already, and the output is turned
// back at the end instead.
template <bool kColumnsFirst>
void InverseDctFull(const std::int16_t* coefficients, std::uint8_t* samples) {
  __m128i x[8];
  for (int i = 0; i < 8; ++i) x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * i));
  if constexpr (!kColumnsFirst) Transpose(x);  // lanes: the eight rows
  __m128i ws[8];
  TransformLanes<kPass1Shift>(x, ws);
  Transpose(ws);
  __m128i out[8];
  TransformLanes<kPass2Shift>(ws, out);
  if constexpr (kColumnsFirst) Transpose(out);
  const __m128i center = _mm_set1_epi16(128);
  for (int i = 0; i < 8; i += 2) {
    const __m128i rows = _mm_packus_epi16(_mm_adds_epi16(out[i], center), _mm_adds_epi16(out[i + 1], center));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 8 * i), rows);
  }
}

#endif  // __SSE2__

#if defined(RASTRA_JPEG_AVX2)

// The vector transform above on two blocks at once: each 256-bit register
// holds the same row of both blocks, one per 128-bit half, and every
// instruction used works within the halves, so each block sees exactly the
// SSE2 arithmetic.

#define RASTRA_AVX2 __attribute__((target("avx2")))

RASTRA_AVX2 inline __m256i Pair2(int a, int b) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) | static_cast<std::uint16_t>(a)));
}

RASTRA_AVX2 inline void Transpose2(__m256i r[8]) {
  const __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]);
  const __m256i a1 = _mm256_unpackhi_epi16(r[0], r[1]);
  const __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]);
  const __m256i a3 = _mm256_unpackhi_epi16(r[2], r[3]);
  const __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]);
  const __m256i a5 = _mm256_unpackhi_epi16(r[4], r[5]);
  const __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]);
  const __m256i a7 = _mm256_unpackhi_epi16(r[6], r[7]);
  const __m256i b0 = _mm256_unpacklo_epi32(a0, a2);
  const __m256i b1 = _mm256_unpackhi_epi32(a0, a2);
  const __m256i b2 = _mm256_unpacklo_epi32(a1, a3);
  const __m256i b3 = _mm256_unpackhi_epi32(a1, a3);
  const __m256i b4 = _mm256_unpacklo_epi32(a4, a6);
  const __m256i b5 = _mm256_unpackhi_epi32(a4, a6);
  const __m256i b6 = _mm256_unpacklo_epi32(a5, a7);
  const __m256i b7 = _mm256_unpackhi_epi32(a5, a7);
  r[0] = _mm256_unpacklo_epi64(b0, b4);
  r[1] = _mm256_unpackhi_epi64(b0, b4);
  r[2] = _mm256_unpacklo_epi64(b1, b5);
  r[3] = _mm256_unpackhi_epi64(b1, b5);
  r[4] = _mm256_unpacklo_epi64(b2, b6);
  r[5] = _mm256_unpackhi_epi64(b2, b6);
  r[6] = _mm256_unpacklo_epi64(b3, b7);
  r[7] = _mm256_unpackhi_epi64(b3, b7);
}

RASTRA_AVX2 inline void TransformHalf2(__m256i p04, __m256i p26, __m256i p75, __m256i p31, __m256i out[8]) {
  const __m256i even0 = _mm256_madd_epi16(p04, Pair2(1 << kConstBits, 1 << kConstBits));
  const __m256i even1 = _mm256_madd_epi16(p04, Pair2(1 << kConstBits, -(1 << kConstBits)));
  const __m256i even2 = _mm256_madd_epi16(p26, Pair2(4433, 4433 - 15137));
  const __m256i even3 = _mm256_madd_epi16(p26, Pair2(4433 + 6270, 4433));
  const __m256i tmp10 = _mm256_add_epi32(even0, even3);
  const __m256i tmp13 = _mm256_sub_epi32(even0, even3);
  const __m256i tmp11 = _mm256_add_epi32(even1, even2);
  const __m256i tmp12 = _mm256_sub_epi32(even1, even2);
  const __m256i odd0 = _mm256_add_epi32(_mm256_madd_epi16(p75, Pair2(2446 - 7373 - 16069 + 9633, 9633)),
                                        _mm256_madd_epi16(p31, Pair2(-16069 + 9633, -7373 + 9633)));
  const __m256i odd1 = _mm256_add_epi32(_mm256_madd_epi16(p75, Pair2(9633, 16819 - 20995 - 3196 + 9633)),
                                        _mm256_madd_epi16(p31, Pair2(-20995 + 9633, -3196 + 9633)));
  const __m256i odd2 = _mm256_add_epi32(_mm256_madd_epi16(p75, Pair2(-16069 + 9633, -20995 + 9633)),
                                        _mm256_madd_epi16(p31, Pair2(25172 - 20995 - 16069 + 9633, 9633)));
  const __m256i odd3 = _mm256_add_epi32(_mm256_madd_epi16(p75, Pair2(-7373 + 9633, -3196 + 9633)),
                                        _mm256_madd_epi16(p31, Pair2(9633, 12299 - 7373 - 3196 + 9633)));
  out[0] = _mm256_add_epi32(tmp10, odd3);
  out[7] = _mm256_sub_epi32(tmp10, odd3);
  out[1] = _mm256_add_epi32(tmp11, odd2);
  out[6] = _mm256_sub_epi32(tmp11, odd2);
  out[2] = _mm256_add_epi32(tmp12, odd1);
  out[5] = _mm256_sub_epi32(tmp12, odd1);
  out[3] = _mm256_add_epi32(tmp13, odd0);
  out[4] = _mm256_sub_epi32(tmp13, odd0);
}

template <int kShift>
RASTRA_AVX2 inline void TransformLanes2(const __m256i x[8], __m256i result[8]) {
  __m256i lo[8];
  __m256i hi[8];
  TransformHalf2(_mm256_unpacklo_epi16(x[0], x[4]), _mm256_unpacklo_epi16(x[2], x[6]),
                 _mm256_unpacklo_epi16(x[7], x[5]), _mm256_unpacklo_epi16(x[3], x[1]), lo);
  TransformHalf2(_mm256_unpackhi_epi16(x[0], x[4]), _mm256_unpackhi_epi16(x[2], x[6]),
                 _mm256_unpackhi_epi16(x[7], x[5]), _mm256_unpackhi_epi16(x[3], x[1]), hi);
  const __m256i round = _mm256_set1_epi32(1 << (kShift - 1));
  for (int i = 0; i < 8; ++i) {
    result[i] = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo[i], round), kShift),
                                   _mm256_srai_epi32(_mm256_add_epi32(hi[i], round), kShift));
  }
}

template <bool kColumnsFirst>
RASTRA_AVX2 void InverseDctPairAvx2(const std::int16_t* first, const std::int16_t* second, std::uint8_t* firstOut,
                                    std::uint8_t* secondOut) {
  __m256i x[8];
  for (int i = 0; i < 8; ++i) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 8 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 8 * i));
    x[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
  }
  if constexpr (!kColumnsFirst) Transpose2(x);
  __m256i ws[8];
  TransformLanes2<kPass1Shift>(x, ws);
  Transpose2(ws);
  __m256i out[8];
  TransformLanes2<kPass2Shift>(ws, out);
  if constexpr (kColumnsFirst) Transpose2(out);
  const __m256i center = _mm256_set1_epi16(128);
  for (int i = 0; i < 8; i += 2) {
    const __m256i rows =
        _mm256_packus_epi16(_mm256_adds_epi16(out[i], center), _mm256_adds_epi16(out[i + 1], center));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(firstOut + 8 * i), _mm256_castsi256_si128(rows));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(secondOut + 8 * i), _mm256_extracti128_si256(rows, 1));
  }
}

#undef RASTRA_AVX2

bool CpuHasAvx2() {
  static const bool kHas = __builtin_cpu_supports("avx2") != 0;
  return kHas;
}

#endif  // RASTRA_JPEG_AVX2

}  // namespace

void JpegInverseDctPortable(const std::int16_t* coefficients, int lastNonZero, std::uint8_t* samples,
                            bool columnsFirst) {
  static constexpr std::array<std::uint8_t, 65> kRowsInUse = MakeRowsInUse();
  if (lastNonZero <= 1) {
    // Both passes reduce a lone DC term to one flat value.
    const Wide dc = static_cast<Wide>(coefficients[0] * (1 << kPass1Bits));
    std::memset(samples, ClampSample(Descale(dc, kPass1Bits + 3)), kJpegBlockSize);
    return;
  }
  std::int32_t workspace[kJpegBlockSize];
  if (!columnsFirst) {
    RowPass(coefficients, kRowsInUse[std::min(lastNonZero, 64)], workspace);
    ColumnPass(workspace, samples);
    return;
  }
  // The same passes over the turned block, turned back.
  std::int16_t turned[kJpegBlockSize];
  std::uint8_t turnedSamples[kJpegBlockSize];
  for (int i = 0; i < kJpegBlockSize; ++i) turned[i] = coefficients[(i % 8) * 8 + i / 8];
  RowPass(turned, 8, workspace);
  ColumnPass(workspace, turnedSamples);
  for (int i = 0; i < kJpegBlockSize; ++i) samples[i] = turnedSamples[(i % 8) * 8 + i / 8];
}

void JpegInverseDct(const std::int16_t* coefficients, int lastNonZero, std::uint8_t* samples, bool columnsFirst) {
#if defined(__SSE2__)
  if (lastNonZero <= 1) {
    const Wide dc = static_cast<Wide>(coefficients[0] * (1 << kPass1Bits));
    std::memset(samples, ClampSample(Descale(dc, kPass1Bits + 3)), kJpegBlockSize);
    return;
  }
  if (columnsFirst) {
    InverseDctFull<true>(coefficients, samples);
  } else {
    InverseDctFull<false>(coefficients, samples);
  }
#else
  JpegInverseDctPortable(coefficients, lastNonZero, samples, columnsFirst);
#endif
}

void JpegInverseDctPair(const std::int16_t* first, const std::int16_t* second, std::uint8_t* firstSamples,
                        std::uint8_t* secondSamples, bool columnsFirst) {
#if defined(RASTRA_JPEG_AVX2)
  if (CpuHasAvx2()) {
    if (columnsFirst) {
      InverseDctPairAvx2<true>(first, second, firstSamples, secondSamples);
    } else {
      InverseDctPairAvx2<false>(first, second, firstSamples, secondSamples);
    }
    return;
  }
#endif
  JpegInverseDct(first, kJpegBlockSize, firstSamples, columnsFirst);
  JpegInverseDct(second, kJpegBlockSize, secondSamples, columnsFirst);
}

bool JpegUsesAvx2() {
#if defined(RASTRA_JPEG_AVX2)
  return CpuHasAvx2();
#else
  return false;
#endif
}

}  // namespace rastra

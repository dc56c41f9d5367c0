// The slow-but-accurate integer inverse DCT: two one-dimensional passes of the
// Loeffler-Ligtenberg-Moschytz flow graph with 13-bit constants, over the rows
// first and then over the columns.
//
// The arithmetic runs in unsigned 32-bit values so that coefficients from a
// corrupt file wrap around instead of overflowing a signed type; for every
// real picture the results equal those of signed arithmetic.
#include <algorithm>
#include <cstring>

#include "readers/JpegInternal.h"

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

}  // namespace

void JpegInverseDct(const std::int16_t* coefficients, int lastNonZero, std::uint8_t* samples) {
  static constexpr std::array<std::uint8_t, 65> kRowsInUse = MakeRowsInUse();
  if (lastNonZero <= 1) {
    // Both passes reduce a lone DC term to one flat value.
    const Wide dc = static_cast<Wide>(coefficients[0] * (1 << kPass1Bits));
    std::memset(samples, ClampSample(Descale(dc, kPass1Bits + 3)), kJpegBlockSize);
    return;
  }
  std::int32_t workspace[kJpegBlockSize];
  RowPass(coefficients, kRowsInUse[std::min(lastNonZero, 64)], workspace);
  ColumnPass(workspace, samples);
}

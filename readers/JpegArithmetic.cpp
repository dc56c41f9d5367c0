// The JPEG decoder's arithmetic-coded data: the adaptive binary decoder and
// the statistical models for DC and AC coefficients, sequential and
// progressive.
//
// Every decision is decoded in a context ("bin") that keeps an adaptive
// probability estimate: an index into the estimation table below plus the
// symbol currently thought more probable. All bins start at index 0 with 0 as
// the more probable symbol, at the start of each scan and after each restart
// marker.
//
// Bins per conditioning table, DC: for each of the five classes of the
// previous difference (zero, small and large positive and negative) four
// bins (is the difference zero, its sign, is the magnitude above 1 for a
// positive and for a negative one) from 0 to 19, then the magnitude category
// bins X1 to X15 from 20 and the magnitude bit bins 14 further on.
// AC: for each coefficient index k from 1 to 63 three bins from 3 (k - 1)
// (end of block, is the coefficient zero, is its magnitude above 1 and
// above 2), then the category and bit bins X2 on for k up to the table's
// split index at 189, and for k above it at 217.
#include <bit>
#include <cstring>

#include "readers/JpegDecoderContext.h"

namespace rastra {

namespace {

// The probability estimation state machine: the estimated probability of the
// less probable symbol (in units of 2^-16 of the interval), the next state
// after a less and a more probable symbol, and whether a less probable one
// swaps which symbol is the more probable.
struct ProbabilityState {
  std::uint16_t estimate;
  std::uint8_t nextAfterLess;
  std::uint8_t nextAfterMore;
  std::uint8_t swap;
};

constexpr ProbabilityState kStates[] = {
    {0x5A1D, 1, 1, 1},     {0x2586, 14, 2, 0},    {0x1114, 16, 3, 0},    {0x080B, 18, 4, 0},
    {0x03D8, 20, 5, 0},    {0x01DA, 23, 6, 0},    {0x00E5, 25, 7, 0},    {0x006F, 28, 8, 0},
    {0x0036, 30, 9, 0},    {0x001A, 33, 10, 0},   {0x000D, 35, 11, 0},   {0x0006, 9, 12, 0},
    {0x0003, 10, 13, 0},   {0x0001, 12, 13, 0},   {0x5A7F, 15, 15, 1},   {0x3F25, 36, 16, 0},
    {0x2CF2, 38, 17, 0},   {0x207C, 39, 18, 0},   {0x17B9, 40, 19, 0},   {0x1182, 42, 20, 0},
    {0x0CEF, 43, 21, 0},   {0x09A1, 45, 22, 0},   {0x072F, 46, 23, 0},   {0x055C, 48, 24, 0},
    {0x0406, 49, 25, 0},   {0x0303, 51, 26, 0},   {0x0240, 52, 27, 0},   {0x01B1, 54, 28, 0},
    {0x0144, 56, 29, 0},   {0x00F5, 57, 30, 0},   {0x00B7, 59, 31, 0},   {0x008A, 60, 32, 0},
    {0x0068, 62, 33, 0},   {0x004E, 63, 34, 0},   {0x003B, 32, 35, 0},   {0x002C, 33, 9, 0},
    {0x5AE1, 37, 37, 1},   {0x484C, 64, 38, 0},   {0x3A0D, 65, 39, 0},   {0x2EF1, 67, 40, 0},
    {0x261F, 68, 41, 0},   {0x1F33, 69, 42, 0},   {0x19A8, 70, 43, 0},   {0x1518, 72, 44, 0},
    {0x1177, 73, 45, 0},   {0x0E74, 74, 46, 0},   {0x0BFB, 75, 47, 0},   {0x09F8, 77, 48, 0},
    {0x0861, 78, 49, 0},   {0x0706, 79, 50, 0},   {0x05CD, 48, 51, 0},   {0x04DE, 50, 52, 0},
    {0x040F, 50, 53, 0},   {0x0363, 51, 54, 0},   {0x02D4, 52, 55, 0},   {0x025C, 53, 56, 0},
    {0x01F8, 54, 57, 0},   {0x01A4, 55, 58, 0},   {0x0160, 56, 59, 0},   {0x0125, 57, 60, 0},
    {0x00F6, 58, 61, 0},   {0x00CB, 59, 62, 0},   {0x00AB, 61, 63, 0},   {0x008F, 61, 32, 0},
    {0x5B12, 65, 65, 1},   {0x4D04, 80, 66, 0},   {0x412C, 81, 67, 0},   {0x37D8, 82, 68, 0},
    {0x2FE8, 83, 69, 0},   {0x293C, 84, 70, 0},   {0x2379, 86, 71, 0},   {0x1EDF, 87, 72, 0},
    {0x1AA9, 87, 73, 0},   {0x174E, 72, 74, 0},   {0x1424, 72, 75, 0},   {0x119C, 74, 76, 0},
    {0x0F6B, 74, 77, 0},   {0x0D51, 75, 78, 0},   {0x0BB6, 77, 79, 0},   {0x0A40, 77, 48, 0},
    {0x5832, 80, 81, 1},   {0x4D1C, 88, 82, 0},   {0x438E, 89, 83, 0},   {0x3BDD, 90, 84, 0},
    {0x34EE, 91, 85, 0},   {0x2EAE, 92, 86, 0},   {0x299A, 93, 87, 0},   {0x2516, 86, 71, 0},
    {0x5570, 88, 89, 1},   {0x4CA9, 95, 90, 0},   {0x44D9, 96, 91, 0},   {0x3E22, 97, 92, 0},
    {0x3824, 99, 93, 0},   {0x32B4, 99, 94, 0},   {0x2E17, 93, 86, 0},   {0x56A8, 95, 96, 1},
    {0x4F46, 101, 97, 0},  {0x47E5, 102, 98, 0},  {0x41CF, 103, 99, 0},  {0x3C3D, 104, 100, 0},
    {0x375E, 99, 93, 0},   {0x5231, 105, 102, 0}, {0x4C0F, 106, 103, 0}, {0x4639, 107, 104, 0},
    {0x415E, 103, 99, 0},  {0x5627, 105, 106, 1}, {0x50E7, 108, 107, 0}, {0x4B85, 109, 103, 0},
    {0x5597, 110, 109, 0}, {0x504F, 111, 107, 0}, {0x5A10, 110, 111, 1}, {0x5522, 112, 109, 0},
    {0x59EB, 112, 111, 1},
};

constexpr std::uint8_t kStateMask = 0x7F;
constexpr std::uint8_t kMoreProbableBit = 0x80;
constexpr int kDcCategoryBins = 20;
constexpr int kAcLowCategoryBins = 189;
constexpr int kAcHighCategoryBins = 217;
constexpr int kMagnitudeBitOffset = 14;
// A magnitude category beyond 15 bits cannot come from 8-bit samples.
constexpr int kMagnitudeLimit = 0x8000;

}  // namespace

void JpegDecoder::ResetArithmetic() {
  for (auto& stats : dcStats_) stats.fill(0);
  for (auto& stats : acStats_) stats.fill(0);
  markerReached_ = false;
  // The interval starts as the whole range (0x10000); the first 16 bits of
  // data fill the compared part of the code register.
  arithInterval_ = 0x10000;
  arithCode_ = static_cast<std::uint32_t>(NextArithmeticByte()) << 16;
  arithCode_ = (arithCode_ | static_cast<std::uint32_t>(NextArithmeticByte()) << 8) << 8;
  arithBitsLeft_ = 0;
}

// A stuffed 0xFF 0x00 is the data byte 0xFF; at a marker (or the end of the
// data) the decoder reads 0-bits from then on.
std::uint8_t JpegDecoder::NextArithmeticByte() {
  if (markerReached_) return 0;
  std::uint8_t b = 0;
  if (!ReadByte(b)) {
    markerReached_ = true;
    return 0;
  }
  if (b != 0xFF) return b;
  std::uint8_t next = 0;
  if (!ReadByte(next)) {
    markerReached_ = true;
    return 0;
  }
  if (next == 0) return 0xFF;
  PushBack(next);
  PushBack(0xFF);
  markerReached_ = true;
  return 0;
}

// One binary decision. The interval is split into a part for the more
// probable symbol (below) and one of the estimated size for the less probable
// one (above); when the first part has become the smaller, their meanings are
// exchanged. The interval is then doubled until it is at least half the range.
int JpegDecoder::DecodeDecision(std::uint8_t& bin) {
  const ProbabilityState& state = kStates[bin & kStateMask];
  const int moreProbable = bin >> 7;
  arithInterval_ -= state.estimate;
  bool less = false;
  if ((arithCode_ >> 16) < arithInterval_) {
    if (arithInterval_ >= 0x8000) return moreProbable;
    less = arithInterval_ < state.estimate;
  } else {
    less = arithInterval_ >= state.estimate;
    arithCode_ -= arithInterval_ << 16;
    arithInterval_ = state.estimate;
  }
  int decision = moreProbable;
  if (less) {
    decision = 1 - moreProbable;
    const int nextMore = state.swap != 0 ? decision : moreProbable;
    bin = static_cast<std::uint8_t>(state.nextAfterLess | (nextMore != 0 ? kMoreProbableBit : 0));
  } else {
    bin = static_cast<std::uint8_t>(state.nextAfterMore | (moreProbable != 0 ? kMoreProbableBit : 0));
  }
  do {
    if (arithBitsLeft_ == 0) {
      arithCode_ += static_cast<std::uint32_t>(NextArithmeticByte()) << 8;
      arithBitsLeft_ = 8;
    }
    arithInterval_ <<= 1;
    arithCode_ <<= 1;
    --arithBitsLeft_;
  } while (arithInterval_ < 0x8000);
  return decision;
}

// Signs and refinement bits use a fixed even estimate that never adapts.
int JpegDecoder::DecodeFixedDecision() {
  std::uint8_t fixed = 0;
  return DecodeDecision(fixed);
}

// The magnitude of a non-zero value whose first category decision (is it
// above 1) has been made in stats[first]: further category decisions, then
// the bits below the top one. False for a category no real file has.
bool JpegDecoder::DecodeArithmeticMagnitude(std::uint8_t* stats, int first, int highBins, int& value) {
  int bin = first;
  int top = DecodeDecision(stats[bin]);
  if (top != 0 && (highBins == kDcCategoryBins || DecodeDecision(stats[bin]) != 0)) {
    top = highBins == kDcCategoryBins ? 1 : 2;
    bin = highBins;
    while (DecodeDecision(stats[bin]) != 0) {
      top <<= 1;
      if (top == kMagnitudeLimit) return false;
      ++bin;
    }
  }
  int magnitude = top;
  bin += kMagnitudeBitOffset;
  for (int bit = top >> 1; bit != 0; bit >>= 1) {
    if (DecodeDecision(stats[bin]) != 0) magnitude |= bit;
  }
  value = magnitude + 1;
  return true;
}

bool JpegDecoder::DecodeArithmeticDc(JpegComponent& component, int& diff) {
  std::uint8_t* stats = dcStats_[component.dcSlot].data();
  const int context = component.dcContext;
  if (DecodeDecision(stats[context]) == 0) {
    component.dcContext = 0;
    diff = 0;
    return true;
  }
  const int negative = DecodeDecision(stats[context + 1]);
  const int first = context + 2 + negative;
  int magnitude = 0;
  if (!DecodeArithmeticMagnitude(stats, first, kDcCategoryBins, magnitude)) return false;
  // The class of this difference conditions the next block's: by the top bit
  // of magnitude - 1, zero below 2^L / 2, large above 2^U / 2, small in
  // between, with its sign.
  const int top = static_cast<int>(std::bit_floor(static_cast<unsigned>(magnitude - 1)));
  const int lower = (1 << arithDcLower_[component.dcSlot]) >> 1;
  const int upper = (1 << arithDcUpper_[component.dcSlot]) >> 1;
  if (top < lower) {
    component.dcContext = 0;
  } else if (top > upper) {
    component.dcContext = 12 + 4 * negative;
  } else {
    component.dcContext = 4 + 4 * negative;
  }
  diff = negative != 0 ? -magnitude : magnitude;
  return true;
}

// Coefficients first to last (zigzag indices) of a block, each non-zero one
// handed to store(k, value); false for damaged data.
template <typename Store>
bool JpegDecoder::DecodeArithmeticAc(const JpegComponent& component, int first, int last, Store store) {
  std::uint8_t* stats = acStats_[component.acSlot - 4].data();
  const int split = arithAcSplit_[component.acSlot - 4];
  for (int k = first; k <= last; ++k) {
    int bin = 3 * (k - 1);
    if (DecodeDecision(stats[bin]) != 0) return true;  // end of block
    while (DecodeDecision(stats[bin + 1]) == 0) {
      bin += 3;
      if (++k > last) return false;
    }
    const int negative = DecodeFixedDecision();
    int magnitude = 0;
    if (!DecodeArithmeticMagnitude(stats, bin + 2, k <= split ? kAcLowCategoryBins : kAcHighCategoryBins,
                                   magnitude)) {
      return false;
    }
    store(k, negative != 0 ? -magnitude : magnitude);
  }
  return true;
}

bool JpegDecoder::DecodeArithmeticBlock(int block, JpegComponent& component) {
  std::int16_t* coef = coefficients_.data() + static_cast<std::size_t>(block) * kJpegBlockSize;
  std::uint8_t& lastUsed = lastNonZero_[block];
  if (lastUsed > 1) std::memset(coef, 0, kJpegBlockSize * sizeof(std::int16_t));
  const std::uint16_t* quant = quant_[component.quant].data();
  int diff = 0;
  if (!DecodeArithmeticDc(component, diff)) {
    lastUsed = kJpegBlockSize;
    return false;
  }
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  coef[0] = JpegDequantise(component.dcPrediction, quant[0]);
  int end = 1;
  const bool ok = DecodeArithmeticAc(component, 1, 63, [&](int k, int value) {
    coef[kJpegZigzag[k]] = JpegDequantise(value, quant[k]);
    end = k + 1;
  });
  lastUsed = static_cast<std::uint8_t>(ok ? end : kJpegBlockSize);
  return ok;
}

bool JpegDecoder::DecodeArithmeticDcFirst(JpegComponent& component, std::int16_t& dc) {
  int diff = 0;
  if (!DecodeArithmeticDc(component, diff)) return false;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  dc = static_cast<std::int16_t>(component.dcPrediction * (1 << al_));
  return true;
}

void JpegDecoder::DecodeArithmeticDcRefine(std::int16_t& dc) {
  if (DecodeFixedDecision() != 0) dc = static_cast<std::int16_t>(dc | (1 << al_));
}

bool JpegDecoder::DecodeArithmeticAcFirst(const JpegComponent& component, std::int16_t* block, int first) {
  const int scale = 1 << al_;
  return DecodeArithmeticAc(component, first, se_, [&](int k, int value) {
    block[k] = static_cast<std::int16_t>(value * scale);
  });
}

// Coefficients already non-zero get a correction bit each; the others may
// become +-1 at this bit position. End of block can only follow the last
// coefficient that was non-zero before this scan.
bool JpegDecoder::DecodeArithmeticAcRefine(const JpegComponent& component, std::int16_t* block) {
  std::uint8_t* stats = acStats_[component.acSlot - 4].data();
  const int p1 = 1 << al_;
  const int m1 = -p1;
  int lastKnown = se_;
  while (lastKnown > 0 && block[lastKnown] == 0) --lastKnown;
  for (int k = ss_; k <= se_; ++k) {
    int bin = 3 * (k - 1);
    if (k > lastKnown && DecodeDecision(stats[bin]) != 0) return true;
    for (;;) {
      std::int16_t& coef = block[k];
      if (coef != 0) {
        if (DecodeDecision(stats[bin + 2]) != 0) coef = static_cast<std::int16_t>(coef + (coef < 0 ? m1 : p1));
        break;
      }
      if (DecodeDecision(stats[bin + 1]) != 0) {
        coef = static_cast<std::int16_t>(DecodeFixedDecision() != 0 ? m1 : p1);
        break;
      }
      bin += 3;
      if (++k > se_) return false;
    }
  }
  return true;
}

}  // namespace rastra

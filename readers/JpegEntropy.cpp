// The JPEG decoder's bit reader, restart handling and sequential (baseline
// and extended) block decoding.
#include <cstring>

#include "readers/JpegDecoderContext.h"

namespace rastra {

namespace {
// More than the buffer ever holds: the count cannot overflow however long a
// damaged scan goes on.
constexpr int kMaxFillerBits = 1 << 20;
}  // namespace

// ---------------------------------------------------------------------------
// Entropy-coded data

void JpegDecoder::ResetBits() {
  bitBuffer_ = 0;
  bitCount_ = 0;
  markerReached_ = false;
  fillerBits_ = 0;
}

void JpegDecoder::StartEntropyCoding() {
  if (arithmetic_) {
    ResetArithmetic();
  } else {
    ResetBits();
    FillBits();
  }
}

// A stuffed 0xFF 0x00 is the data byte 0xFF. Any other byte after 0xFF makes a
// marker: both bytes go back for the marker processing, and from here on (as
// at the end of the data) the scan reads 1-bits.
std::uint8_t JpegDecoder::NextEntropyByte() {
  std::uint8_t b = 0;
  if (!ReadByte(b)) {
    markerReached_ = true;
    return 0xFF;
  }
  if (b != 0xFF) return b;
  std::uint8_t next = 0;
  if (!ReadByte(next)) {
    markerReached_ = true;
    return 0xFF;
  }
  if (next == 0) return 0xFF;
  PushBack(next);
  PushBack(0xFF);
  markerReached_ = true;
  return 0xFF;
}

void JpegDecoder::FillBits() {
  if (!markerReached_ && pushCount_ == 0) {
    // Whole bytes straight from the chunk while no 0xFF is near.
    if (chunkLeft_ >= 8) {
      const std::uint64_t next = JpegLoadBigEndian64(chunk_);
      if (!JpegHasByteFF(next)) {
        const int bytes = (64 - bitCount_) / 8;
        bitBuffer_ |= next >> bitCount_;
        bitCount_ += 8 * bytes;
        if (bitCount_ < 64) bitBuffer_ &= ~(~std::uint64_t{0} >> bitCount_);
        chunk_ += bytes;
        chunkLeft_ -= static_cast<std::size_t>(bytes);
        return;
      }
    }
    while (bitCount_ <= 56 && chunkLeft_ > 0 && *chunk_ != 0xFF) {
      bitBuffer_ |= static_cast<std::uint64_t>(*chunk_++) << (56 - bitCount_);
      --chunkLeft_;
      bitCount_ += 8;
    }
  }
  while (bitCount_ <= 56) {
    const std::uint8_t b = markerReached_ ? 0xFF : NextEntropyByte();
    bitBuffer_ |= static_cast<std::uint64_t>(b) << (56 - bitCount_);
    bitCount_ += 8;
    if (markerReached_ && fillerBits_ < kMaxFillerBits) fillerBits_ += 8;
  }
}

// The buffer reads ahead, so 1-bits past the data are normal; only when fewer
// bits are left than were made up did the blocks use made-up ones. Arithmetic
// coding reads zeros past its data by design and is not judged here.
void JpegDecoder::CheckDataLasted() {
  if (arithmetic_ || segmentDamaged_ || fillerBits_ <= bitCount_) return;
  Warn("the image data ends before the end of its scan");
  segmentDamaged_ = true;
}


// A restart marker with another number than expected (one lost or damaged)
// still resynchronises: its segment starts afresh, with a warning. Another
// marker ends the scan's data early: the rest of the scan is left out.
bool JpegDecoder::HandleRestart() {
  if (restartInterval_ == 0 || mcusLeft_ != 0) return true;
  CheckDataLasted();
  int marker = 0;
  const RestartSearch found = FindRestartMarker(marker);
  if (found == RestartSearch::kEndOfFile) return Fail("the file ends too early", sys::Code::kTruncated);
  ++segment_;
  if (found == RestartSearch::kOtherMarker) {
    PushBack(static_cast<std::uint8_t>(marker));
    PushBack(0xFF);
    Warn("the image data ends before the end of its scan");
    segmentDamaged_ = true;
    mcusLeft_ = -1;  // no further restart marker is looked for in this scan
    return true;
  }
  if (found == RestartSearch::kOutOfOrder) {
    Warn("a restart marker is missing or out of order");
    nextRestart_ = marker - kRst0;
  }
  ResetPredictions();
  mcusLeft_ = restartInterval_;
  nextRestart_ = (nextRestart_ + 1) & 7;
  segmentDamaged_ = false;
  StartEntropyCoding();
  return true;
}

// Skips what is left of the segment (data bytes, stuffed 0xFF 0x00 pairs
// included) up to the next marker, and tells what it is.
JpegDecoder::RestartSearch JpegDecoder::FindRestartMarker(int& marker) {
  std::uint8_t b = 0;
  for (;;) {
    do {
      if (!ReadByte(b)) return RestartSearch::kEndOfFile;
    } while (b != 0xFF);
    do {
      if (!ReadByte(b)) return RestartSearch::kEndOfFile;
    } while (b == 0xFF);
    if (b == 0) continue;
    marker = b;
    if (b == kRst0 + nextRestart_) return RestartSearch::kFound;
    return b >= kRst0 && b <= kRst7 ? RestartSearch::kOutOfOrder : RestartSearch::kOtherMarker;
  }
}

// ---------------------------------------------------------------------------
// Sequential frames

// False when the data is damaged (a run past coefficient 63, a difference
// too large for 8-bit samples).
inline bool JpegDecoder::DecodeBlock(std::uint64_t& bits, int& count, int block, JpegComponent& component) {
  std::int16_t* coef = coefficients_.data() + static_cast<std::size_t>(block) * kJpegBlockSize;
  std::uint8_t& last = lastNonZero_[block];
  // Only positions the previous use of this block may have set need clearing.
  if (last > 1) JpegClearBlock(coef);
  last = kJpegBlockSize;
  const std::uint16_t* quant = quant_[component.quant].data();

  auto peek = [&bits](int n) { return static_cast<unsigned>(bits >> (64 - n)); };
  auto drop = [&bits, &count](int n) {
    bits <<= n;
    count -= n;
  };
  auto longSymbol = [&](const JpegHuffmanTable& table) {
    bitBuffer_ = bits;
    bitCount_ = count;
    const int symbol = DecodeBufferedSymbol(table);
    bits = bitBuffer_;
    count = bitCount_;
    return symbol;
  };

  if (count < 31) Refill(bits, count);  // a code of up to 16 bits and up to 15 value bits
  const JpegHuffmanTable& dc = huffman_[component.dcSlot];
  const std::int32_t dcEntry = dc.fast[peek(kJpegFastBits)];
  int diff = 0;
  if ((dcEntry & kJpegEntryFlags) == 0) {
    drop(dcEntry & 31);
    diff = dcEntry >> 16;
  } else {
    int size = 0;
    if ((dcEntry & kJpegSymbolOnly) != 0) {
      drop(dcEntry & 31);
      size = dcEntry >> 16;
    } else {
      size = longSymbol(dc);
      if (size > 15) return false;
    }
    if (size != 0) {
      diff = JpegExtend(static_cast<int>(peek(size)), size);
      drop(size);
    }
  }
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  coef[0] = JpegDequantise(component.dcPrediction, quant[0]);

  const JpegHuffmanTable& ac = huffman_[component.acSlot];
  for (int k = 1; k < kJpegBlockSize; ++k) {
    if (count < 31) Refill(bits, count);
    const unsigned index = peek(kJpegFastBits);
    const std::int32_t entry = ac.fast[index];
    if ((entry & kJpegEntryFlags) == 0) {
      // One or two whole coefficients.
      const std::int32_t pair = ac.pairs[index];
      k += (entry >> 8) & 15;
      if (k > 63) return false;
      coef[kJpegZigzag[k]] = JpegDequantise(entry >> 16, quant[k]);
      const int next = k + ((pair >> 8) & 31);
      if (next > 63) {
        // The block ended with the first: the second bits belong to the next block.
        if (k != 63) return false;
        drop(entry & 31);
        return true;
      }
      k = next;
      coef[kJpegZigzag[k]] = JpegDequantise(pair >> 16, quant[k]);
      drop(pair & 31);
      continue;
    }
    if ((entry & kJpegEndOfBlock) != 0) {
      drop(entry & 31);
      last = static_cast<std::uint8_t>(k);
      return true;
    }
    int run = 0;
    int size = 0;
    if ((entry & kJpegSymbolOnly) != 0) {
      drop(entry & 31);
      run = (entry >> 8) & 15;
      size = entry >> 16;
    } else {
      const int symbol = longSymbol(ac);
      run = symbol >> 4;
      size = symbol & 15;
      if (size == 0 && run != 15) {
        last = static_cast<std::uint8_t>(k);
        return true;
      }
    }
    k += run;
    if (k > 63) return false;
    if (size != 0) {
      const int value = static_cast<int>(peek(size));
      drop(size);
      coef[kJpegZigzag[k]] = JpegDequantise(JpegExtend(value, size), quant[k]);
    }
  }
  return true;
}

void JpegDecoder::ClearBlock(int block) {
  std::int16_t* coef = coefficients_.data() + static_cast<std::size_t>(block) * kJpegBlockSize;
  if (lastNonZero_[block] > 1) JpegClearBlock(coef);
  coef[0] = 0;
  lastNonZero_[block] = 1;
}

// Blocks of a damaged segment come out flat mid-grey until the next restart.
bool JpegDecoder::DecodeMcuRow() {
  if (arithmetic_) return DecodeArithmeticMcuRow();
  // The bit buffer stays in locals (registers) over the whole row; it goes
  // back to the members around the restart handling.
  std::uint64_t bits = bitBuffer_;
  int count = bitCount_;
  for (int m = 0; m < mcusPerRow_; ++m) {
    if (restartInterval_ != 0 && mcusLeft_ == 0) {
      bitBuffer_ = bits;
      bitCount_ = count;
      if (!HandleRestart()) return false;
      bits = bitBuffer_;
      count = bitCount_;
    }
    const int firstBlock = m * blocksPerMcu_;
    for (int b = 0; b < blocksPerMcu_; ++b) {
      if (segmentDamaged_) {
        ClearBlock(firstBlock + b);
      } else if (!DecodeBlock(bits, count, firstBlock + b, components_[mcuComponent_[b]])) {
        MarkSegmentDamaged();
        ClearBlock(firstBlock + b);
      }
    }
    if (restartInterval_ != 0) --mcusLeft_;
  }
  bitBuffer_ = bits;
  bitCount_ = count;
  return true;
}

bool JpegDecoder::DecodeArithmeticMcuRow() {
  for (int m = 0; m < mcusPerRow_; ++m) {
    if (!HandleRestart()) return false;
    const int firstBlock = m * blocksPerMcu_;
    for (int b = 0; b < blocksPerMcu_; ++b) {
      if (segmentDamaged_) {
        ClearBlock(firstBlock + b);
      } else if (!DecodeArithmeticBlock(firstBlock + b, components_[mcuComponent_[b]])) {
        MarkSegmentDamaged();
        ClearBlock(firstBlock + b);
      }
    }
    if (restartInterval_ != 0) --mcusLeft_;
  }
  return true;
}

// A sequential block into a coefficient buffer: zigzag order, not dequantised.
bool JpegDecoder::DecodeSequentialBufferedBlock(JpegComponent& component, std::int16_t& dc, std::int16_t* block) {
  const int dcSize = DecodeSymbol(huffman_[component.dcSlot]);
  if (dcSize > 15) return false;
  const int diff = dcSize != 0 ? JpegExtend(GetBits(dcSize), dcSize) : 0;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  dc = static_cast<std::int16_t>(component.dcPrediction);
  const JpegHuffmanTable& ac = huffman_[component.acSlot];
  for (int k = 1; k < kJpegBlockSize; ++k) {
    const int symbol = DecodeSymbol(ac);
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size == 0 && run != 15) return true;
    k += run;
    if (k > 63) return false;
    if (size != 0) block[k] = static_cast<std::int16_t>(JpegExtend(GetBits(size), size));
  }
  return true;
}

}  // namespace rastra

// The JPEG decoder's buffered frames (progressive ones, and sequential ones
// in several scans): whole-image coefficient buffers, the scans into them,
// the four Huffman block decoders of spectral selection and successive
// approximation, and the dequantisation of the buffers for output.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readers/JpegDecoderContext.h"
#include "sys/Memory.h"

namespace rastra {

bool JpegDecoder::AllocateCoefficientBuffers() {
  std::uint64_t total = 0;
  for (int i = 0; i < componentCount_; ++i) {
    JpegComponent& c = components_[i];
    c.bufferBlocksAcross = c.mcuBlocksH * mcusPerRow_;
    c.bufferBlocksDown = c.mcuBlocksV * mcuRows_;
    total += static_cast<std::uint64_t>(c.bufferBlocksAcross) * static_cast<std::uint64_t>(c.bufferBlocksDown) *
             (kJpegBlockSize + 1) * sizeof(std::int16_t);
  }
  if (total > std::min(limits_.maxPixelBytes, ctx_.MaxBlockBytes())) {
    sys::FailAllocation(ctx_, total);
    return Fail("the image is too large to decode", sys::Code::kOutOfMemory);
  }
  try {
    for (int i = 0; i < componentCount_; ++i) {
      JpegComponent& c = components_[i];
      const std::size_t blocks = static_cast<std::size_t>(c.bufferBlocksAcross) * c.bufferBlocksDown;
      c.coefficients.assign(blocks * kJpegBlockSize, 0);
      c.dcTerms.assign(blocks, 0);
    }
  } catch (const std::bad_alloc&) {
    sys::FailAllocation(ctx_, total);
    return Fail("the image is too large to decode", sys::Code::kOutOfMemory);
  }
  return true;
}

namespace {

// One past the highest position of a non-zero coefficient (0: none).
int LastNonZero(const std::int16_t* block) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int group = 7; group >= 0; --group) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * group));
    const int zeroBytes = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
    if (zeroBytes != 0xFFFF) {
      // Two mask bits per coefficient; the highest clear one is the last non-zero.
      const unsigned nonZero = static_cast<unsigned>(~zeroBytes) & 0xFFFFu;
      return 8 * group + (static_cast<int>(std::bit_width(nonZero)) - 1) / 2 + 1;
    }
  }
  return 0;
#else
  int last = kJpegBlockSize;
  while (last > 0 && block[last - 1] == 0) --last;
  return last;
#endif
}

// Bit k set where coefficient k is non-zero.
std::uint64_t NonZeroMask(const std::int16_t* block) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t mask = 0;
  for (int group = 0; group < 4; ++group) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * group));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * group + 8));
    const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
    mask |= static_cast<std::uint64_t>(~_mm_movemask_epi8(zeros) & 0xFFFF) << (16 * group);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (int k = 0; k < kJpegBlockSize; ++k) {
    if (block[k] != 0) mask |= std::uint64_t{1} << k;
  }
  return mask;
#endif
}

}  // namespace

// ---------------------------------------------------------------------------
// Scans into the buffers

bool JpegDecoder::DecodeBufferedScans() {
  if (!AllocateCoefficientBuffers()) return false;
  for (int scans = 1;; ++scans) {
    if (!CheckBufferedScan() || !DecodeBufferedScan()) return false;
    bool ended = false;
    if (!NextScan(ended)) return false;
    if (ended) break;
    if (scans == kMaxScans) return Fail("the file has more scans than any real picture needs");
  }
  for (int i = 0; i < componentCount_; ++i) {
    if (!components_[i].scanned) Warn("a colour component has no image data");
  }
  return true;
}

bool JpegDecoder::CheckBufferedScan() {
  if (!progressive_) return true;
  if (se_ < ss_ || se_ > 63) return Fail("a progressive scan has a bad spectral range");
  if (ss_ > 0 && scanCount_ != 1) return Fail("a progressive AC scan has more than one component");
  if (ss_ == 0 && se_ != 0) return Fail("a progressive DC scan includes AC coefficients");
  if (ah_ != 0 && ah_ != al_ + 1) return Fail("a progressive scan has a bad successive approximation");
  if (al_ > 13) return Fail("a progressive scan has a bad successive approximation");
  return true;
}

bool JpegDecoder::DecodeBufferedScan() {
  if (scanCount_ == 1) {
    // One component: its blocks one by one, each an MCU.
    JpegComponent& c = components_[scanComponents_[0]];
    const int across = ((c.h * width_ + hMax_ - 1) / hMax_ + 7) / 8;
    const int down = ((c.v * height_ + vMax_ - 1) / vMax_ + 7) / 8;
    for (int by = 0; by < std::min(down, c.bufferBlocksDown); ++by) {
      for (int bx = 0; bx < std::min(across, c.bufferBlocksAcross); ++bx) {
        if (!HandleRestart()) return false;
        if (!segmentDamaged_ && !DecodeBufferedBlock(c, bx, by)) MarkSegmentDamaged();
        if (restartInterval_ != 0) --mcusLeft_;
      }
    }
    return true;
  }
  for (int my = 0; my < mcuRows_; ++my) {
    for (int mx = 0; mx < mcusPerRow_; ++mx) {
      if (!HandleRestart()) return false;
      for (int i = 0; i < scanCount_ && !segmentDamaged_; ++i) {
        JpegComponent& c = components_[scanComponents_[i]];
        for (int y = 0; y < c.mcuBlocksV && !segmentDamaged_; ++y) {
          for (int x = 0; x < c.mcuBlocksH; ++x) {
            if (!DecodeBufferedBlock(c, mx * c.mcuBlocksH + x, my * c.mcuBlocksV + y)) {
              MarkSegmentDamaged();
              break;
            }
          }
        }
      }
      if (restartInterval_ != 0) --mcusLeft_;
    }
  }
  return true;
}

bool JpegDecoder::DecodeBufferedBlock(JpegComponent& component, int bx, int by) {
  std::int16_t& dc = component.Dc(bx, by);
  std::int16_t* block = component.Block(bx, by);
  if (arithmetic_) {
    if (!progressive_) return DecodeArithmeticDcFirst(component, dc) && DecodeArithmeticAcFirst(component, block, 1);
    if (ss_ == 0) {
      if (ah_ == 0) return DecodeArithmeticDcFirst(component, dc);
      DecodeArithmeticDcRefine(dc);
      return true;
    }
    return ah_ == 0 ? DecodeArithmeticAcFirst(component, block, ss_) : DecodeArithmeticAcRefine(component, block);
  }
  if (!progressive_) return DecodeSequentialBufferedBlock(component, dc, block);
  if (ss_ == 0) {
    if (ah_ == 0) return DecodeDcFirst(component, dc);
    DecodeDcRefine(dc);
    return true;
  }
  return ah_ == 0 ? DecodeAcFirst(component, block) : DecodeAcRefine(component, block);
}

bool JpegDecoder::DecodeDcFirst(JpegComponent& component, std::int16_t& dc) {
  const int size = DecodeSymbol(huffman_[component.dcSlot]);
  if (size > 15) return false;
  const int diff = size != 0 ? JpegExtend(GetBits(size), size) : 0;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  dc = static_cast<std::int16_t>(component.dcPrediction * (1 << al_));
  return true;
}

void JpegDecoder::DecodeDcRefine(std::int16_t& dc) {
  if (GetBits(1) != 0) dc = static_cast<std::int16_t>(dc | (1 << al_));
}

bool JpegDecoder::DecodeAcFirst(JpegComponent& component, std::int16_t* block) {
  if (eobRun_ > 0) {
    --eobRun_;
    return true;
  }
  const JpegHuffmanTable& ac = huffman_[component.acSlot];
  for (int k = ss_; k <= se_; ++k) {
    NeedBits(31);
    const std::int32_t entry = ac.fast[PeekBits(kJpegFastBits)];
    if ((entry & kJpegEntryFlags) == 0) {
      k += (entry >> 8) & 15;
      if (k > se_) return false;
      DropBits(entry & 31);
      block[k] = static_cast<std::int16_t>((entry >> 16) * (1 << al_));
      continue;
    }
    const int symbol = DecodeBufferedSymbol(ac);
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size != 0) {
      k += run;
      if (k > 63) return false;
      block[k] = static_cast<std::int16_t>(JpegExtend(GetBits(size), size) * (1 << al_));
    } else if (run == 15) {
      k += 15;
    } else {
      eobRun_ = (1 << run) - 1 + GetBits(run);
      break;
    }
  }
  return true;
}

bool JpegDecoder::DecodeAcRefine(JpegComponent& component, std::int16_t* block) {
  const int p1 = 1 << al_;
  const int m1 = -p1;
  // The bit buffer in locals, written back on every way out.
  std::uint64_t bits = bitBuffer_;
  int count = bitCount_;
  auto take = [&](int n) {
    if (count < n) Refill(bits, count);
    const int v = static_cast<int>(bits >> (64 - n));
    bits <<= n;
    count -= n;
    return v;
  };
  auto finish = [&](bool result) {
    bitBuffer_ = bits;
    bitCount_ = count;
    return result;
  };
  // A non-zero coefficient passed on the way gets one correction bit, which
  // moves it away from zero unless its bit is set already.
  auto refine = [&](std::int16_t& coef) {
    if (take(1) != 0 && (coef & p1) == 0) coef = static_cast<std::int16_t>(coef + (coef >= 0 ? p1 : m1));
  };
  // The coefficients of the band that were non-zero before this scan; new
  // ones are only placed behind the position k has reached.
  const std::uint64_t band = (se_ == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (se_ + 1)) - 1) &
                             ~((std::uint64_t{1} << ss_) - 1);
  const std::uint64_t nonZero = NonZeroMask(block) & band;
  int k = ss_;
  if (eobRun_ == 0) {
    const JpegHuffmanTable& ac = huffman_[component.acSlot];
    for (; k <= se_; ++k) {
      if (count < 32) Refill(bits, count);
      const std::int32_t entry = ac.fast[static_cast<unsigned>(bits >> (64 - kJpegFastBits))];
      int run = 0;
      int value = 0;
      bool endOfBand = false;
      if ((entry & kJpegEntryFlags) == 0) {
        // A new coefficient of magnitude 1 with its sign bit, or 16 zeros.
        bits <<= entry & 31;
        count -= entry & 31;
        run = (entry >> 8) & 15;
        value = entry >> 16;
        if (value > 1 || value < -1) return finish(false);
      } else if ((entry & kJpegEndOfBlock) != 0) {
        bits <<= entry & 31;
        count -= entry & 31;
        run = (entry >> 8) & 15;
        endOfBand = true;
      } else {
        int size = 0;
        if ((entry & kJpegSymbolOnly) != 0) {
          bits <<= entry & 31;
          count -= entry & 31;
          run = (entry >> 8) & 15;
          size = entry >> 16;
        } else {
          bitBuffer_ = bits;
          bitCount_ = count;
          const int symbol = DecodeBufferedSymbol(ac);
          bits = bitBuffer_;
          count = bitCount_;
          run = symbol >> 4;
          size = symbol & 15;
          endOfBand = size == 0 && run != 15;
        }
        if (!endOfBand) {
          if (size > 1) return finish(false);
          if (size == 1) value = take(1) != 0 ? 1 : -1;
        }
      }
      if (endOfBand) {
        eobRun_ = (1 << run) + (run != 0 ? take(run) : 0);
        break;
      }
      // Skip `run` zero coefficients (refining the non-zero ones passed), then
      // place the new value on the next zero one. The mask leads from one
      // non-zero coefficient to the next.
      for (;;) {
        const std::uint64_t ahead = k <= se_ ? nonZero >> k : 0;
        const int next = ahead != 0 ? k + std::countr_zero(ahead) : se_ + 1;
        const int zeros = next - k;
        if (run < zeros) {
          k += run;
          break;
        }
        run -= zeros;
        k = next;
        if (k > se_) break;
        refine(block[k]);
        ++k;
      }
      if (value != 0) block[std::min(k, 63)] = static_cast<std::int16_t>(value * p1);
    }
  }
  if (eobRun_ > 0) {
    for (std::uint64_t rest = k <= se_ ? nonZero >> k << k : 0; rest != 0; rest &= rest - 1) {
      refine(block[std::countr_zero(rest)]);
    }
    --eobRun_;
  }
  return finish(true);
}

void JpegDecoder::LoadMcuRow(int mcuRow) {
  for (int m = 0; m < mcusPerRow_; ++m) {
    for (int b = 0; b < blocksPerMcu_; ++b) {
      JpegComponent& c = components_[mcuComponent_[b]];
      const int bx = m * c.mcuBlocksH + mcuBlockX_[b];
      const int by = mcuRow * c.mcuBlocksV + mcuBlockY_[b];
      const std::int16_t* source = c.Block(bx, by);
      const std::size_t block = static_cast<std::size_t>(m) * blocksPerMcu_ + b;
      std::int16_t* coef = coefficients_.data() + block * kJpegBlockSize;
      const std::uint16_t* quant = quant_[c.quant].data();
      // Position 0 of the AC block is 0; the DC term counts as in use.
      const int last = std::max(LastNonZero(source), 1);
      JpegClearBlock(coef);
      coef[0] = JpegDequantise(c.Dc(bx, by), quant[0]);
      for (int k = 1; k < last; ++k) coef[kJpegZigzag[k]] = JpegDequantise(source[k], quant[k]);
      lastNonZero_[block] = static_cast<std::uint8_t>(last);
    }
  }
}

}  // namespace rastra

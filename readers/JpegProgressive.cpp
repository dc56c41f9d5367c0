// The JPEG decoder's progressive frames: whole-image coefficient buffers,
// the four block decoders of spectral selection and successive
// approximation, and the dequantisation of the buffers for output.
#include <algorithm>
#include <cstring>
#include <new>

#include "readers/JpegDecoderContext.h"
#include "sys/Memory.h"

bool JpegDecoder::AllocateCoefficientBuffers() {
  std::uint64_t total = 0;
  for (int i = 0; i < componentCount_; ++i) {
    JpegComponent& c = components_[i];
    c.bufferBlocksAcross = c.mcuBlocksH * mcusPerRow_;
    c.bufferBlocksDown = c.mcuBlocksV * mcuRows_;
    total += static_cast<std::uint64_t>(c.bufferBlocksAcross) * static_cast<std::uint64_t>(c.bufferBlocksDown) *
             kJpegBlockSize * sizeof(std::int16_t);
  }
  if (total > limits_.maxPixelBytes) {
    sys::FailAllocation(ctx_, total);
    return Fail("the image is too large to decode");
  }
  try {
    for (int i = 0; i < componentCount_; ++i) {
      JpegComponent& c = components_[i];
      c.coefficients.assign(
          static_cast<std::size_t>(c.bufferBlocksAcross) * c.bufferBlocksDown * kJpegBlockSize, 0);
    }
  } catch (const std::bad_alloc&) {
    sys::FailAllocation(ctx_, total);
    return Fail("the image is too large to decode");
  }
  return true;
}

// ---------------------------------------------------------------------------
// Progressive frames

bool JpegDecoder::DecodeProgressiveScans() {
  if (!AllocateCoefficientBuffers()) return false;
  for (int scans = 0;; ++scans) {
    if (!ReadScanHeader()) {
      // The scans end at EOI, at another marker or at a header that does not
      // pass; what was decoded so far is the image.
      error_.clear();
      return true;
    }
    if (scans == kMaxProgressiveScans) return Fail("the file has more progressive scans than any real picture needs");
    if (!CheckProgressiveScan() || !DecodeProgressiveScan()) return false;
  }
}

bool JpegDecoder::CheckProgressiveScan() {
  if (se_ < ss_ || se_ > 63) return Fail("a progressive scan has a bad spectral range");
  if (ss_ > 0 && scanCount_ != 1) return Fail("a progressive AC scan has more than one component");
  if (ss_ == 0 && se_ != 0) return Fail("a progressive DC scan includes AC coefficients");
  if (ah_ != 0 && ah_ != al_ + 1) return Fail("a progressive scan has a bad successive approximation");
  if (al_ > 13) return Fail("a progressive scan has a bad successive approximation");
  return true;
}

bool JpegDecoder::DecodeProgressiveScan() {
  if (scanCount_ == 1) {
    // One component: its blocks one by one, each an MCU.
    JpegComponent& c = components_[scanComponents_[0]];
    int hMax = 1;
    int vMax = 1;
    for (int i = 0; i < componentCount_; ++i) {
      hMax = std::max(hMax, components_[i].h);
      vMax = std::max(vMax, components_[i].v);
    }
    const int across = ((c.h * width_ + hMax - 1) / hMax + 7) / 8;
    const int down = ((c.v * height_ + vMax - 1) / vMax + 7) / 8;
    for (int by = 0; by < std::min(down, c.bufferBlocksDown); ++by) {
      for (int bx = 0; bx < std::min(across, c.bufferBlocksAcross); ++bx) {
        HandleRestart();
        if (!DecodeProgressiveBlock(c, c.Block(bx, by))) return false;
        if (restartInterval_ != 0) --mcusLeft_;
      }
    }
    return true;
  }
  for (int my = 0; my < mcuRows_; ++my) {
    for (int mx = 0; mx < mcusPerRow_; ++mx) {
      HandleRestart();
      for (int i = 0; i < scanCount_; ++i) {
        JpegComponent& c = components_[scanComponents_[i]];
        for (int y = 0; y < c.mcuBlocksV; ++y) {
          for (int x = 0; x < c.mcuBlocksH; ++x) {
            if (!DecodeProgressiveBlock(c, c.Block(mx * c.mcuBlocksH + x, my * c.mcuBlocksV + y))) return false;
          }
        }
      }
      if (restartInterval_ != 0) --mcusLeft_;
    }
  }
  return true;
}

bool JpegDecoder::DecodeProgressiveBlock(JpegComponent& component, std::int16_t* block) {
  if (ss_ == 0) {
    if (ah_ == 0) return DecodeDcFirst(component, block);
    DecodeDcRefine(block);
    return true;
  }
  return ah_ == 0 ? DecodeAcFirst(component, block) : DecodeAcRefine(component, block);
}

bool JpegDecoder::DecodeDcFirst(JpegComponent& component, std::int16_t* block) {
  const int size = DecodeSymbol(huffman_[component.dcSlot]);
  if (size > 15) return Fail("the image data is damaged");
  const int diff = size != 0 ? JpegExtend(GetBits(size), size) : 0;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  block[0] = static_cast<std::int16_t>(component.dcPrediction * (1 << al_));
  return true;
}

void JpegDecoder::DecodeDcRefine(std::int16_t* block) {
  if (GetBits(1) != 0) block[0] = static_cast<std::int16_t>(block[0] | (1 << al_));
}

bool JpegDecoder::DecodeAcFirst(JpegComponent& component, std::int16_t* block) {
  if (eobRun_ > 0) {
    --eobRun_;
    return true;
  }
  const JpegHuffmanTable& ac = huffman_[component.acSlot];
  for (int k = ss_; k <= se_; ++k) {
    NeedBits(31);
    const int fast = ac.fastAc[PeekBits(kJpegFastBits)];
    if (fast != 0) {
      k += (fast >> 4) & 15;
      if (k > 63) return Fail("the image data is damaged");
      DropBits(fast & 15);
      block[k] = static_cast<std::int16_t>((fast >> 8) * (1 << al_));
      continue;
    }
    const int symbol = DecodeBufferedSymbol(ac);
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size != 0) {
      k += run;
      if (k > 63) return Fail("the image data is damaged");
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
  // A non-zero coefficient passed on the way gets one correction bit, which
  // moves it away from zero unless its bit is set already.
  auto refine = [&](std::int16_t& coef) {
    if (GetBits(1) != 0 && (coef & p1) == 0) coef = static_cast<std::int16_t>(coef + (coef >= 0 ? p1 : m1));
  };
  int k = ss_;
  if (eobRun_ == 0) {
    const JpegHuffmanTable& ac = huffman_[component.acSlot];
    for (; k <= se_; ++k) {
      const int symbol = DecodeSymbol(ac);
      int run = symbol >> 4;
      const int size = symbol & 15;
      int value = 0;
      if (size != 0) {
        if (size != 1) return Fail("the image data is damaged");
        value = GetBits(1) != 0 ? p1 : m1;
      } else if (run != 15) {
        eobRun_ = (1 << run) + GetBits(run);
        break;
      }
      // Skip `run` zero coefficients (refining the non-zero ones passed), then
      // place the new value on the next zero one.
      for (; k <= se_; ++k) {
        std::int16_t& coef = block[k];
        if (coef != 0) {
          refine(coef);
        } else if (--run < 0) {
          break;
        }
      }
      if (value != 0) block[std::min(k, 63)] = static_cast<std::int16_t>(value);
    }
  }
  if (eobRun_ > 0) {
    for (; k <= se_; ++k) {
      if (block[k] != 0) refine(block[k]);
    }
    --eobRun_;
  }
  return true;
}

void JpegDecoder::LoadMcuRow(int mcuRow) {
  for (int m = 0; m < mcusPerRow_; ++m) {
    for (int b = 0; b < blocksPerMcu_; ++b) {
      JpegComponent& c = components_[mcuComponent_[b]];
      const std::int16_t* source =
          c.Block(m * c.mcuBlocksH + mcuBlockX_[b], mcuRow * c.mcuBlocksV + mcuBlockY_[b]);
      const std::size_t block = static_cast<std::size_t>(m) * blocksPerMcu_ + b;
      std::int16_t* coef = coefficients_.data() + block * kJpegBlockSize;
      const std::uint16_t* quant = quant_[c.quant].data();
      int last = kJpegBlockSize;
      while (last > 0 && source[last - 1] == 0) --last;
      std::memset(coef, 0, kJpegBlockSize * sizeof(std::int16_t));
      for (int k = 0; k < last; ++k) coef[kJpegZigzag[k]] = JpegDequantise(source[k], quant[k]);
      lastNonZero_[block] = static_cast<std::uint8_t>(last);
    }
  }
}

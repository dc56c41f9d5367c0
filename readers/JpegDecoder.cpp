// Baseline, extended sequential and progressive Huffman-coded JPEG decoding
// into a true-colour Bitmap.
//
// The decoder pulls the file through an input callback in chunks, as it would
// from a stream, and never looks past the bytes the callback hands out. The
// file is parsed twice: once to learn the frame size (so the size can be
// checked before anything large is allocated), then again for the image.
#include "readers/JpegDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/Report.h"
#include "readers/JpegInternal.h"
#include "sys/Memory.h"

namespace {

constexpr std::size_t kChunkBytes = 4096;
constexpr int kMaxComponents = 4;
constexpr int kMaxPushback = 4;
constexpr int kRestartSearchBytes = 2000;
constexpr int kHuffmanSlots = 8;
constexpr int kQuantTables = 4;
// Real progressive files have a few dozen scans at most. Each scan walks all
// blocks of its components, and a scan can be a few bytes long, so without a
// limit a small file could keep the decoder busy for minutes.
constexpr int kMaxProgressiveScans = 256;

enum Marker : int {
  kTem = 0x01,
  kSof0 = 0xC0,
  kSof1 = 0xC1,
  kSof2 = 0xC2,
  kDht = 0xC4,
  kJpg = 0xC8,
  kDac = 0xCC,
  kRst0 = 0xD0,
  kRst7 = 0xD7,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kDqt = 0xDB,
  kDri = 0xDD,
  kApp14 = 0xEE,
};

// Gives the location of the file's bytes from offset on and their number: at
// most maxBytes, 0 at the end.
using JpegInputFn =
    std::function<std::size_t(std::uint64_t offset, std::size_t maxBytes, const std::uint8_t*& data)>;

bool IsFrameMarker(int m) { return m >= 0xC0 && m <= 0xCF && m != kDht && m != kJpg && m != kDac; }
bool IsReturnedMarker(int m) { return IsFrameMarker(m) || m == kSoi || m == kEoi || m == kSos; }
bool IsForbiddenMarker(int m) { return m == kTem || m == kJpg || m == kDac || (m >= kRst0 && m <= kRst7); }

const char* UnsupportedFrameText(int marker) {
  if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) {
    return "lossless JPEG files are not supported";
  }
  if (marker >= 0xC9 && marker <= 0xCF) return "arithmetic-coded JPEG files are not supported";
  if (marker >= 0xC5 && marker <= 0xC7) return "hierarchical JPEG files are not supported";
  return "the file has no frame header before its image data";
}

// Multiplies in unsigned arithmetic so that corrupt values wrap instead of
// overflowing; real coefficients are unchanged.
inline std::int16_t Dequantise(int value, unsigned quant) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(value) * quant);
}

// Sign extension of an s-bit magnitude category value (s >= 1).
inline int Extend(int v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; }

struct Component {
  int id = 0;
  int h = 1;
  int v = 1;
  int quant = 0;
  int dcSlot = 0;
  int acSlot = kHuffmanSlots / 2;
  int dcPrediction = 0;
  // Blocks of this component in one MCU of the frame layout.
  int mcuBlocksH = 1;
  int mcuBlocksV = 1;
  // Progressive frames: all coefficients of the image, in zigzag order.
  int bufferBlocksAcross = 0;
  int bufferBlocksDown = 0;
  std::vector<std::int16_t> coefficients;

  std::int16_t* Block(int bx, int by) {
    return coefficients.data() + (static_cast<std::size_t>(by) * bufferBlocksAcross + bx) * kJpegBlockSize;
  }
};

struct FrameInfo {
  int width = 0;
  int height = 0;
  bool progressive = false;
  std::uint64_t mcuCount = 0;
};

class JpegDecoder {
 public:
  JpegDecoder(JpegInputFn input, std::uint64_t fileSize) : input_(std::move(input)), fileSize_(fileSize) {}

  // SOI up to and including the frame header; the tables on the way are read.
  bool ReadHeaders();
  // Scan type, MCU geometry and the buffers; needs ReadHeaders.
  bool SetupFrame();
  // All scans and all output lines into bitmap (frame size).
  bool DecodeImage(Bitmap& bitmap);

  FrameInfo Frame() const;
  const std::string& Error() const { return error_; }

 private:
  // Input.
  bool ReadByte(std::uint8_t& b);
  void PushBack(std::uint8_t b);
  bool ReadU8(int& v);
  bool ReadU16(int& v);
  bool Skip(int count);
  bool Fail(const char* reason);

  // Markers and segments.
  bool FindMarker(int& marker);
  bool NextMarker(int& marker);
  bool SkipSegment();
  bool ReadQuantTables();
  bool ReadHuffmanTables();
  bool ReadRestartInterval();
  bool ReadAdobeSegment();
  bool ReadFrameHeader(int marker);
  bool ReadScanHeader();
  bool StartScan();

  // Entropy-coded data.
  void ResetBits();
  std::uint8_t NextEntropyByte();
  void FillBits();
  void NeedBits(int n) {
    if (bitCount_ < n) FillBits();
  }
  unsigned PeekBits(int n) const { return static_cast<unsigned>(bitBuffer_ >> (64 - n)); }
  void DropBits(int n) {
    bitBuffer_ <<= n;
    bitCount_ -= n;
  }
  int GetBits(int n);
  int DecodeSymbol(const JpegHuffmanTable& table);
  // The same with at least 16 bits already in the buffer.
  int DecodeBufferedSymbol(const JpegHuffmanTable& table);
  void HandleRestart();
  bool FindRestartMarker();
  void ResetPredictions();

  // Sequential frames.
  bool DecodeBlock(int block, Component& component);
  void DecodeMcuRow();

  // Progressive frames.
  bool AllocateCoefficientBuffers();
  bool DecodeProgressiveScans();
  bool CheckProgressiveScan();
  bool DecodeProgressiveScan();
  bool DecodeProgressiveBlock(Component& component, std::int16_t* block);
  bool DecodeDcFirst(Component& component, std::int16_t* block);
  void DecodeDcRefine(std::int16_t* block);
  bool DecodeAcFirst(Component& component, std::int16_t* block);
  bool DecodeAcRefine(Component& component, std::int16_t* block);
  void LoadMcuRow(int mcuRow);

  void TransformMcuRow();
  void OutputMcuRow(Bitmap& bitmap, int mcuRow);

  JpegInputFn input_;
  std::uint64_t fileSize_;
  std::string error_;

  const std::uint8_t* chunk_ = nullptr;
  std::size_t chunkLeft_ = 0;
  std::uint64_t offset_ = 0;
  std::array<std::uint8_t, kMaxPushback> pushback_{};
  int pushCount_ = 0;

  std::uint64_t bitBuffer_ = 0;  // next bits at the top
  int bitCount_ = 0;
  bool markerReached_ = false;  // the data ended or a marker is pending: 1-bits follow

  int width_ = 0;
  int height_ = 0;
  bool progressive_ = false;
  int componentCount_ = 0;
  std::array<Component, kMaxComponents> components_{};

  std::array<std::array<std::uint16_t, kJpegBlockSize>, kQuantTables> quant_{};
  std::array<bool, kQuantTables> quantDefined_{};
  std::array<JpegHuffmanTable, kHuffmanSlots> huffman_{};

  int scanCount_ = 0;
  std::array<int, kMaxComponents> scanComponents_{};
  int ss_ = 0;
  int se_ = 63;
  int ah_ = 0;
  int al_ = 0;

  int restartInterval_ = 0;
  int mcusLeft_ = 0;
  int nextRestart_ = 0;
  int eobRun_ = 0;

  JpegScanType scanType_ = JpegScanType::kGrey;
  int mcuWidth_ = 8;
  int mcuHeight_ = 8;
  int mcusPerRow_ = 0;
  int mcuRows_ = 0;
  int blocksPerMcu_ = 0;
  int blocksPerMcuRow_ = 0;
  std::array<int, 6> mcuComponent_{};  // frame component of each block of an MCU
  std::array<int, 6> mcuBlockX_{};     // its position within the component's part of the MCU
  std::array<int, 6> mcuBlockY_{};
  std::vector<std::int16_t> coefficients_;  // one MCU row, natural order
  std::vector<std::uint8_t> lastNonZero_;   // per block: one past the last zigzag index in use
  std::vector<std::uint8_t> samples_;       // one MCU row after the inverse DCT
};

// ---------------------------------------------------------------------------
// Input

bool JpegDecoder::ReadByte(std::uint8_t& b) {
  if (pushCount_ > 0) {
    b = pushback_[--pushCount_];
    return true;
  }
  if (chunkLeft_ == 0) {
    chunk_ = nullptr;
    chunkLeft_ = input_(offset_, kChunkBytes, chunk_);
    if (chunkLeft_ == 0 || chunk_ == nullptr) {
      chunkLeft_ = 0;
      return false;
    }
    offset_ += chunkLeft_;
  }
  --chunkLeft_;
  b = *chunk_++;
  return true;
}

void JpegDecoder::PushBack(std::uint8_t b) {
  if (pushCount_ < kMaxPushback) pushback_[pushCount_++] = b;
}

bool JpegDecoder::Fail(const char* reason) {
  if (error_.empty()) error_ = reason;
  return false;
}

bool JpegDecoder::ReadU8(int& v) {
  std::uint8_t b = 0;
  if (!ReadByte(b)) return Fail("the file ends too early");
  v = b;
  return true;
}

bool JpegDecoder::ReadU16(int& v) {
  int high = 0;
  int low = 0;
  if (!ReadU8(high) || !ReadU8(low)) return false;
  v = (high << 8) | low;
  return true;
}

bool JpegDecoder::Skip(int count) {
  while (count > 0) {
    if (pushCount_ > 0 || chunkLeft_ == 0) {
      std::uint8_t b = 0;
      if (!ReadByte(b)) return Fail("the file ends too early");
      --count;
      continue;
    }
    const std::size_t step = std::min(chunkLeft_, static_cast<std::size_t>(count));
    chunk_ += step;
    chunkLeft_ -= step;
    count -= static_cast<int>(step);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Markers and segments

bool JpegDecoder::FindMarker(int& marker) {
  std::uint8_t b = 0;
  for (;;) {
    do {
      if (!ReadByte(b)) return Fail("the file ends too early");
    } while (b != 0xFF);
    do {
      if (!ReadByte(b)) return Fail("the file ends too early");
    } while (b == 0xFF);
    if (b != 0) {
      marker = b;
      return true;
    }
  }
}

bool JpegDecoder::NextMarker(int& marker) {
  for (;;) {
    if (!FindMarker(marker)) return false;
    bool ok = true;
    if (marker == kDht) {
      ok = ReadHuffmanTables();
    } else if (marker == kDqt) {
      ok = ReadQuantTables();
    } else if (marker == kDri) {
      ok = ReadRestartInterval();
    } else if (marker == kApp14) {
      ok = ReadAdobeSegment();
    } else if (IsReturnedMarker(marker)) {
      return true;
    } else if (IsForbiddenMarker(marker)) {
      return Fail("the file has a marker out of place");
    } else {
      ok = SkipSegment();
    }
    if (!ok) return false;
  }
}

bool JpegDecoder::SkipSegment() {
  int length = 0;
  if (!ReadU16(length)) return false;
  if (length < 2) return Fail("a segment has a bad length");
  return Skip(length - 2);
}

bool JpegDecoder::ReadQuantTables() {
  int length = 0;
  if (!ReadU16(length)) return false;
  int remaining = length - 2;
  while (remaining > 0) {
    int pqTq = 0;
    if (!ReadU8(pqTq)) return false;
    const int precision = pqTq >> 4;
    const int table = pqTq & 15;
    if (table >= kQuantTables) return Fail("a quantisation table has a bad number");
    const int needed = 1 + (precision == 0 ? 64 : 128);
    if (needed > remaining) return Fail("a quantisation table segment has a bad length");
    for (int k = 0; k < kJpegBlockSize; ++k) {
      int value = 0;
      if (!(precision == 0 ? ReadU8(value) : ReadU16(value))) return false;
      quant_[table][k] = static_cast<std::uint16_t>(value);
    }
    quantDefined_[table] = true;
    remaining -= needed;
  }
  if (remaining != 0) return Fail("a quantisation table segment has a bad length");
  return true;
}

bool JpegDecoder::ReadHuffmanTables() {
  int length = 0;
  if (!ReadU16(length)) return false;
  int remaining = length - 2;
  while (remaining > 16) {
    int classAndNumber = 0;
    if (!ReadU8(classAndNumber)) return false;
    const int number = classAndNumber & 15;
    if (number > 3) return Fail("a Huffman table has a bad number");
    JpegHuffmanTable& table = huffman_[((classAndNumber >> 4) & 1) * 4 + number];
    int total = 0;
    for (int n = 1; n <= 16; ++n) {
      int count = 0;
      if (!ReadU8(count)) return false;
      table.counts[n] = static_cast<std::uint8_t>(count);
      total += count;
    }
    remaining -= 17;
    if (total >= 256 || total > remaining) return Fail("a Huffman table has a bad size");
    for (int i = 0; i < total; ++i) {
      int symbol = 0;
      if (!ReadU8(symbol)) return false;
      table.symbols[i] = static_cast<std::uint8_t>(symbol);
    }
    table.symbolCount = total;
    table.defined = true;
    remaining -= total;
  }
  return remaining > 0 ? Skip(remaining) : true;
}

bool JpegDecoder::ReadRestartInterval() {
  int length = 0;
  if (!ReadU16(length)) return false;
  if (length != 4) return Fail("a restart interval segment has a bad length");
  return ReadU16(restartInterval_);
}

bool JpegDecoder::ReadAdobeSegment() {
  int length = 0;
  int transform = 0;
  if (!ReadU16(length)) return false;
  if (length < 14) return Fail("an Adobe segment is too short");
  if (!Skip(11) || !ReadU8(transform)) return false;
  if (transform != 1) return Fail("only YCbCr colour is supported (the Adobe transform is not 1)");
  return Skip(length - 14);
}

bool JpegDecoder::ReadHeaders() {
  int first = 0;
  int second = 0;
  if (!ReadU8(first) || !ReadU8(second)) return false;
  if (first != 0xFF || second != kSoi) return Fail("the file does not start with a JPEG start-of-image marker");
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (marker != kSof0 && marker != kSof1 && marker != kSof2) return Fail(UnsupportedFrameText(marker));
  return ReadFrameHeader(marker);
}

bool JpegDecoder::ReadFrameHeader(int marker) {
  int length = 0;
  int precision = 0;
  int count = 0;
  if (!ReadU16(length) || !ReadU8(precision) || !ReadU16(height_) || !ReadU16(width_) || !ReadU8(count)) {
    return false;
  }
  if (height_ == 0 || width_ == 0) return Fail("the frame has no pixels");
  if (count > kMaxComponents || length != 8 + 3 * count) return Fail("the frame header is damaged");
  if (precision == 12) return Fail("JPEG files with 12-bit samples are not supported");
  if (precision != 8) return Fail("the frame has an unsupported sample precision");
  for (int i = 0; i < count; ++i) {
    Component& c = components_[i];
    int sampling = 0;
    if (!ReadU8(c.id) || !ReadU8(sampling) || !ReadU8(c.quant)) return false;
    c.h = sampling >> 4;
    c.v = sampling & 15;
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return Fail("the frame has bad sampling factors");
    if (c.quant >= kQuantTables) return Fail("the frame names a quantisation table that cannot exist");
  }
  componentCount_ = count;
  progressive_ = marker == kSof2;
  return true;
}

// ---------------------------------------------------------------------------
// Frame setup

FrameInfo JpegDecoder::Frame() const {
  FrameInfo info;
  info.width = width_;
  info.height = height_;
  info.progressive = progressive_;
  info.mcuCount = static_cast<std::uint64_t>(mcusPerRow_) * static_cast<std::uint64_t>(mcuRows_);
  return info;
}

bool JpegDecoder::SetupFrame() {
  if (componentCount_ == 0) return Fail("the frame has no components");
  if (componentCount_ == 4) return Fail("CMYK and YCCK JPEG files are not supported");
  if (componentCount_ == 2) return Fail("JPEG files with two components are not supported");
  blocksPerMcu_ = 0;
  auto addBlocks = [this](int component, int across, int down) {
    Component& c = components_[component];
    c.mcuBlocksH = across;
    c.mcuBlocksV = down;
    for (int y = 0; y < down; ++y) {
      for (int x = 0; x < across; ++x) {
        mcuComponent_[blocksPerMcu_] = component;
        mcuBlockX_[blocksPerMcu_] = x;
        mcuBlockY_[blocksPerMcu_] = y;
        ++blocksPerMcu_;
      }
    }
  };
  if (componentCount_ == 1) {
    scanType_ = JpegScanType::kGrey;
    mcuWidth_ = mcuHeight_ = 8;
    addBlocks(0, 1, 1);
  } else {
    const Component& luma = components_[0];
    for (int i = 1; i < 3; ++i) {
      if (components_[i].h != 1 || components_[i].v != 1) return Fail("the chroma sampling is not supported");
    }
    if (luma.h > 2 || luma.v > 2) return Fail("the chroma sampling is not supported");
    static constexpr JpegScanType kTypes[2][2] = {{JpegScanType::kH1V1, JpegScanType::kH1V2},
                                                  {JpegScanType::kH2V1, JpegScanType::kH2V2}};
    scanType_ = kTypes[luma.h - 1][luma.v - 1];
    mcuWidth_ = 8 * luma.h;
    mcuHeight_ = 8 * luma.v;
    addBlocks(0, luma.h, luma.v);
    addBlocks(1, 1, 1);
    addBlocks(2, 1, 1);
  }
  mcusPerRow_ = (width_ + mcuWidth_ - 1) / mcuWidth_;
  mcuRows_ = (height_ + mcuHeight_ - 1) / mcuHeight_;
  blocksPerMcuRow_ = mcusPerRow_ * blocksPerMcu_;
  return true;
}

bool JpegDecoder::AllocateCoefficientBuffers() {
  std::uint64_t total = 0;
  for (int i = 0; i < componentCount_; ++i) {
    Component& c = components_[i];
    c.bufferBlocksAcross = c.mcuBlocksH * mcusPerRow_;
    c.bufferBlocksDown = c.mcuBlocksV * mcuRows_;
    total += static_cast<std::uint64_t>(c.bufferBlocksAcross) * static_cast<std::uint64_t>(c.bufferBlocksDown) *
             kJpegBlockSize * sizeof(std::int16_t);
  }
  if (total > sys::MaxBlockBytes()) {
    ReportAllocationFailure(sys::AllocFailureText(total));
    return Fail("the image is too large to decode");
  }
  try {
    for (int i = 0; i < componentCount_; ++i) {
      Component& c = components_[i];
      c.coefficients.assign(
          static_cast<std::size_t>(c.bufferBlocksAcross) * c.bufferBlocksDown * kJpegBlockSize, 0);
    }
  } catch (const std::bad_alloc&) {
    ReportAllocationFailure(sys::AllocFailureText(total));
    return Fail("the image is too large to decode");
  }
  return true;
}

// ---------------------------------------------------------------------------
// Scan headers

bool JpegDecoder::ReadScanHeader() {
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (marker == kEoi) return Fail("the file ends before the image data");
  if (marker != kSos) return Fail("a scan header is missing");
  int length = 0;
  if (!ReadU16(length) || !ReadU8(scanCount_)) return false;
  if (scanCount_ < 1 || scanCount_ > kMaxComponents || length != 6 + 2 * scanCount_) {
    return Fail("a scan header is damaged");
  }
  for (int i = 0; i < scanCount_; ++i) {
    int id = 0;
    int tables = 0;
    if (!ReadU8(id) || !ReadU8(tables)) return false;
    int index = 0;
    while (index < componentCount_ && components_[index].id != id) ++index;
    if (index == componentCount_) return Fail("a scan names a component the frame does not have");
    if ((tables >> 4) > 3 || (tables & 15) > 3) return Fail("a scan names a Huffman table that cannot exist");
    scanComponents_[i] = index;
    components_[index].dcSlot = tables >> 4;
    components_[index].acSlot = (tables & 15) + 4;
  }
  int approximation = 0;
  if (!ReadU8(ss_) || !ReadU8(se_) || !ReadU8(approximation)) return false;
  ah_ = approximation >> 4;
  al_ = approximation & 15;
  if (!progressive_) {
    ss_ = 0;
    se_ = 63;
  }
  return StartScan();
}

bool JpegDecoder::StartScan() {
  for (int i = 0; i < scanCount_; ++i) {
    const Component& c = components_[scanComponents_[i]];
    if (ss_ == 0 && !huffman_[c.dcSlot].defined) return Fail("a scan uses a Huffman table that is not defined");
    if (se_ != 0 && !huffman_[c.acSlot].defined) return Fail("a scan uses a Huffman table that is not defined");
    if (!quantDefined_[c.quant]) return Fail("a component uses a quantisation table that is not defined");
  }
  for (JpegHuffmanTable& table : huffman_) {
    if (table.defined && !JpegBuildHuffmanTable(table)) return Fail("a Huffman table is damaged");
  }
  ResetPredictions();
  if (restartInterval_ != 0) {
    mcusLeft_ = restartInterval_;
    nextRestart_ = 0;
  }
  ResetBits();
  FillBits();
  return true;
}

void JpegDecoder::ResetPredictions() {
  for (Component& c : components_) c.dcPrediction = 0;
  eobRun_ = 0;
}

// ---------------------------------------------------------------------------
// Entropy-coded data

void JpegDecoder::ResetBits() {
  bitBuffer_ = 0;
  bitCount_ = 0;
  markerReached_ = false;
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

// Eight bytes as one big-endian number.
inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

// True when one of the eight bytes of v is 0xFF.
inline bool HasByteFF(std::uint64_t v) {
  const std::uint64_t inverted = ~v;
  return ((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) != 0;
}

void JpegDecoder::FillBits() {
  if (!markerReached_ && pushCount_ == 0) {
    // Whole bytes straight from the chunk while no 0xFF is near.
    if (chunkLeft_ >= 8) {
      const std::uint64_t next = LoadBigEndian64(chunk_);
      if (!HasByteFF(next)) {
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
  }
}

inline int JpegDecoder::GetBits(int n) {
  if (n == 0) return 0;
  NeedBits(n);
  const int v = static_cast<int>(PeekBits(n));
  DropBits(n);
  return v;
}

inline int JpegDecoder::DecodeSymbol(const JpegHuffmanTable& table) {
  NeedBits(16);
  return DecodeBufferedSymbol(table);
}

inline int JpegDecoder::DecodeBufferedSymbol(const JpegHuffmanTable& table) {
  const unsigned peek = PeekBits(8);
  int entry = table.lookup[peek];
  if (entry >= 0) {
    DropBits(table.codeSize[peek]);
    return entry;
  }
  DropBits(8);
  // Codes have at most 16 bits, so the walk ends within the 8 bits at hand.
  for (;;) {
    entry = table.tree[static_cast<std::size_t>(-entry) * 2 + PeekBits(1)];
    DropBits(1);
    if (entry == kJpegNoSymbol) return 0;
    if (entry >= 0) return entry;
  }
}

void JpegDecoder::HandleRestart() {
  if (restartInterval_ == 0 || mcusLeft_ != 0) return;
  if (FindRestartMarker()) {
    ResetPredictions();
    mcusLeft_ = restartInterval_;
    nextRestart_ = (nextRestart_ + 1) & 7;
    ResetBits();
    FillBits();
  } else {
    // Decoding goes on from where the search stopped, without the reset; the
    // count of MCUs left drops below 0, so no further marker is looked for.
    markerReached_ = false;
  }
}

bool JpegDecoder::FindRestartMarker() {
  std::uint8_t b = 0;
  int budget = kRestartSearchBytes;
  do {
    if (budget-- == 0 || !ReadByte(b)) return false;
  } while (b != 0xFF);
  do {
    if (budget-- == 0 || !ReadByte(b)) return false;
  } while (b == 0xFF);
  return b == kRst0 + nextRestart_;
}

// ---------------------------------------------------------------------------
// Sequential frames

// False when a run passes coefficient 63: the rest of the MCU row is dropped.
bool JpegDecoder::DecodeBlock(int block, Component& component) {
  std::int16_t* coef = coefficients_.data() + static_cast<std::size_t>(block) * kJpegBlockSize;
  std::uint8_t& last = lastNonZero_[block];
  // Only positions the previous use of this block may have set need clearing.
  if (last > 1) std::memset(coef, 0, kJpegBlockSize * sizeof(std::int16_t));
  const std::uint16_t* quant = quant_[component.quant].data();

  const int dcSize = DecodeSymbol(huffman_[component.dcSlot]);
  if (dcSize > 15) {
    last = kJpegBlockSize;
    return false;
  }
  const int diff = dcSize != 0 ? Extend(GetBits(dcSize), dcSize) : 0;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  coef[0] = Dequantise(component.dcPrediction, quant[0]);

  const JpegHuffmanTable& ac = huffman_[component.acSlot];
  int k = 1;
  for (; k < kJpegBlockSize; ++k) {
    NeedBits(31);  // a code of up to 16 bits and up to 15 value bits
    const int fast = ac.fastAc[PeekBits(kJpegFastBits)];
    if (fast != 0) {
      k += (fast >> 4) & 15;
      if (k > 63) {
        last = kJpegBlockSize;
        return false;
      }
      DropBits(fast & 15);
      coef[kJpegZigzag[k]] = Dequantise(fast >> 8, quant[k]);
      continue;
    }
    const int symbol = DecodeBufferedSymbol(ac);
    const int run = symbol >> 4;
    const int size = symbol & 15;
    if (size != 0) {
      k += run;
      if (k > 63) {
        last = kJpegBlockSize;
        return false;
      }
      const int bits = static_cast<int>(PeekBits(size));
      DropBits(size);
      coef[kJpegZigzag[k]] = Dequantise(Extend(bits, size), quant[k]);
    } else if (run == 15) {
      k += 15;
      if (k > 63) {
        last = kJpegBlockSize;
        return false;
      }
    } else {
      last = static_cast<std::uint8_t>(k);
      return true;
    }
  }
  last = kJpegBlockSize;
  return true;
}

void JpegDecoder::DecodeMcuRow() {
  for (int m = 0; m < mcusPerRow_; ++m) {
    HandleRestart();
    const int firstBlock = m * blocksPerMcu_;
    for (int b = 0; b < blocksPerMcu_; ++b) {
      if (!DecodeBlock(firstBlock + b, components_[mcuComponent_[b]])) return;
    }
    if (restartInterval_ != 0) --mcusLeft_;
  }
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
    Component& c = components_[scanComponents_[0]];
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
        Component& c = components_[scanComponents_[i]];
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

bool JpegDecoder::DecodeProgressiveBlock(Component& component, std::int16_t* block) {
  if (ss_ == 0) {
    if (ah_ == 0) return DecodeDcFirst(component, block);
    DecodeDcRefine(block);
    return true;
  }
  return ah_ == 0 ? DecodeAcFirst(component, block) : DecodeAcRefine(component, block);
}

bool JpegDecoder::DecodeDcFirst(Component& component, std::int16_t* block) {
  const int size = DecodeSymbol(huffman_[component.dcSlot]);
  if (size > 15) return Fail("the image data is damaged");
  const int diff = size != 0 ? Extend(GetBits(size), size) : 0;
  component.dcPrediction = static_cast<std::int16_t>(component.dcPrediction + diff);
  block[0] = static_cast<std::int16_t>(component.dcPrediction * (1 << al_));
  return true;
}

void JpegDecoder::DecodeDcRefine(std::int16_t* block) {
  if (GetBits(1) != 0) block[0] = static_cast<std::int16_t>(block[0] | (1 << al_));
}

bool JpegDecoder::DecodeAcFirst(Component& component, std::int16_t* block) {
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
      block[k] = static_cast<std::int16_t>(Extend(GetBits(size), size) * (1 << al_));
    } else if (run == 15) {
      k += 15;
    } else {
      eobRun_ = (1 << run) - 1 + GetBits(run);
      break;
    }
  }
  return true;
}

bool JpegDecoder::DecodeAcRefine(Component& component, std::int16_t* block) {
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
      Component& c = components_[mcuComponent_[b]];
      const std::int16_t* source =
          c.Block(m * c.mcuBlocksH + mcuBlockX_[b], mcuRow * c.mcuBlocksV + mcuBlockY_[b]);
      const std::size_t block = static_cast<std::size_t>(m) * blocksPerMcu_ + b;
      std::int16_t* coef = coefficients_.data() + block * kJpegBlockSize;
      const std::uint16_t* quant = quant_[c.quant].data();
      int last = kJpegBlockSize;
      while (last > 0 && source[last - 1] == 0) --last;
      std::memset(coef, 0, kJpegBlockSize * sizeof(std::int16_t));
      for (int k = 0; k < last; ++k) coef[kJpegZigzag[k]] = Dequantise(source[k], quant[k]);
      lastNonZero_[block] = static_cast<std::uint8_t>(last);
    }
  }
}

// ---------------------------------------------------------------------------
// Output

void JpegDecoder::TransformMcuRow() {
  for (int b = 0; b < blocksPerMcuRow_; ++b) {
    const std::size_t offset = static_cast<std::size_t>(b) * kJpegBlockSize;
    JpegInverseDct(coefficients_.data() + offset, lastNonZero_[b], samples_.data() + offset);
  }
}

void JpegDecoder::OutputMcuRow(Bitmap& bitmap, int mcuRow) {
  const int firstLine = mcuRow * mcuHeight_;
  const int lines = std::min(mcuHeight_, height_ - firstLine);
  std::array<std::uint8_t*, 16> rows{};
  for (int i = 0; i < lines; ++i) rows[i] = bitmap.Row(firstLine + i);
  JpegConvertMcuRow(scanType_, samples_.data(), mcusPerRow_, width_, lines, rows.data());
}

bool JpegDecoder::DecodeImage(Bitmap& bitmap) {
  const std::size_t blocks = static_cast<std::size_t>(blocksPerMcuRow_);
  coefficients_.assign(blocks * kJpegBlockSize, 0);
  samples_.assign(blocks * kJpegBlockSize, 0);
  lastNonZero_.assign(blocks, kJpegBlockSize);
  if (progressive_) {
    if (!DecodeProgressiveScans()) return false;
  } else {
    if (!ReadScanHeader()) return false;
    bool wholeFrame = scanCount_ == componentCount_;
    for (int i = 0; i < scanCount_; ++i) wholeFrame = wholeFrame && scanComponents_[i] == i;
    if (!wholeFrame) return Fail("sequential JPEG files with more than one scan are not supported");
  }
  for (int mcuRow = 0; mcuRow < mcuRows_; ++mcuRow) {
    if (progressive_) {
      LoadMcuRow(mcuRow);
    } else {
      DecodeMcuRow();
    }
    TransformMcuRow();
    OutputMcuRow(bitmap, mcuRow);
  }
  if (!progressive_) {
    int marker = 0;
    if (!NextMarker(marker) || marker != kEoi) {
      error_.clear();
      return Fail("the image data is damaged or ends too early (no end-of-image marker after it)");
    }
  }
  return true;
}

std::unique_ptr<JpegDecoder> MakeDecoder(const JpegInputFn& input, std::uint64_t fileSize) {
  try {
    return std::make_unique<JpegDecoder>(input, fileSize);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Every block takes at least one bit of entropy-coded data in some scan, so a
// frame with more MCUs than the file has bits cannot be real; refusing it keeps
// a tiny file from claiming a huge picture.
bool FrameFitsFile(const FrameInfo& frame, std::uint64_t fileSize) { return frame.mcuCount <= fileSize * 8; }

BitmapPtr DecodeJpeg(const JpegInputFn& input, std::uint64_t fileSize, std::string& error) {
  auto probe = MakeDecoder(input, fileSize);
  if (!probe) return nullptr;
  if (!probe->ReadHeaders() || !probe->SetupFrame()) {
    error = probe->Error();
    return nullptr;
  }
  const FrameInfo frame = probe->Frame();
  probe.reset();
  if (!FrameFitsFile(frame, fileSize)) {
    error = "the file is too short for the picture size its header claims";
    return nullptr;
  }
  BitmapPtr bitmap = Bitmap_Create(frame.width, frame.height, 0);
  if (!bitmap) return nullptr;  // the allocator has reported

  auto decoder = MakeDecoder(input, fileSize);
  if (!decoder) return nullptr;
  if (!decoder->ReadHeaders() || !decoder->SetupFrame() || !decoder->DecodeImage(*bitmap)) {
    error = decoder->Error();
    Bitmap_Delete(std::move(bitmap));
    return nullptr;
  }
  return bitmap;
}

}  // namespace

BitmapPtr ReadJpegFile(std::span<const std::uint8_t> file) {
  if (file.empty()) {
    ReportText("Cannot decode JPEG file: the file is empty");
    return nullptr;
  }
  const JpegInputFn input = [file](std::uint64_t offset, std::size_t maxBytes, const std::uint8_t*& data) {
    if (offset >= file.size()) return std::size_t{0};
    data = file.data() + offset;
    return static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, file.size() - offset));
  };
  std::string error;
  BitmapPtr bitmap = DecodeJpeg(input, file.size(), error);
  if (!bitmap && !error.empty()) ReportText("Cannot decode JPEG file: " + error);
  return bitmap;
}

// The JPEG decoder's context: input, tables, frame and scan state, and the
// bit reader with its Huffman decoding, shared by the decoder's source files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image/Bitmap.h"
#include "readers/JpegInternal.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

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

enum JpegMarker : int {
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

// Multiplies in unsigned arithmetic so that corrupt values wrap instead of
// overflowing; real coefficients are unchanged.
inline std::int16_t JpegDequantise(int value, unsigned quant) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(value) * quant);
}

// Sign extension of an s-bit magnitude category value (s >= 1).
inline int JpegExtend(int v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; }

struct JpegComponent {
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

struct JpegFrameInfo {
  int width = 0;
  int height = 0;
  bool progressive = false;
  std::uint64_t mcuCount = 0;
};

class JpegDecoder {
 public:
  // The context outlives the decoder.
  JpegDecoder(JpegInputFn input, std::uint64_t fileSize, const ReadLimits& limits, sys::Context& ctx)
      : input_(std::move(input)), fileSize_(fileSize), limits_(limits), ctx_(ctx) {}

  // SOI up to and including the frame header; the tables on the way are read.
  bool ReadHeaders();
  // Scan type, MCU geometry and the buffers; needs ReadHeaders.
  bool SetupFrame();
  // All scans and all output lines into bitmap (frame size).
  bool DecodeImage(Bitmap& bitmap);

  JpegFrameInfo Frame() const;
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
  bool DecodeBlock(int block, JpegComponent& component);
  void DecodeMcuRow();

  // Progressive frames.
  bool AllocateCoefficientBuffers();
  bool DecodeProgressiveScans();
  bool CheckProgressiveScan();
  bool DecodeProgressiveScan();
  bool DecodeProgressiveBlock(JpegComponent& component, std::int16_t* block);
  bool DecodeDcFirst(JpegComponent& component, std::int16_t* block);
  void DecodeDcRefine(std::int16_t* block);
  bool DecodeAcFirst(JpegComponent& component, std::int16_t* block);
  bool DecodeAcRefine(JpegComponent& component, std::int16_t* block);
  void LoadMcuRow(int mcuRow);

  void TransformMcuRow();
  void OutputMcuRow(Bitmap& bitmap, int mcuRow);

  JpegInputFn input_;
  std::uint64_t fileSize_;
  const ReadLimits limits_;  // a copy: a caller may hand over a temporary
  sys::Context& ctx_;
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
  std::array<JpegComponent, kMaxComponents> components_{};

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

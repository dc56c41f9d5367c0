// The JPEG decoder's context: input, tables, frame and scan state, and the
// bit reader with its Huffman decoding, shared by the decoder's source files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "image/Bitmap.h"
#include "readers/JpegInternal.h"
#include "readers/JpegSmooth.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

constexpr std::size_t kChunkBytes = 4096;
constexpr int kMaxComponents = kJpegMaxComponents;
// An interleaved scan holds at most this many blocks per MCU; a frame whose
// components come in separate scans may have more in its output MCU.
constexpr int kMaxScanBlocksPerMcu = 10;
constexpr int kMaxFrameBlocksPerMcu = kMaxComponents * 16;
constexpr int kArithDcBins = 64;
constexpr int kArithAcBins = 256;
constexpr int kMaxPushback = 4;
constexpr int kHuffmanSlots = 8;
constexpr int kQuantTables = 4;
// Real files have a few dozen scans at most. Each scan walks all
// blocks of its components, and a scan can be a few bytes long, so without a
// limit a small file could keep the decoder busy for minutes.
constexpr int kMaxScans = 256;

// Pictures from this size on are written past the caches: they would not
// stay in them anyway, and reading lines in only to overwrite them costs.
constexpr std::uint64_t kStreamOutputBytes = 8u << 20;

enum JpegMarker : int {
  kTem = 0x01,
  kSof0 = 0xC0,
  kSof1 = 0xC1,
  kSof2 = 0xC2,
  kDht = 0xC4,
  kJpg = 0xC8,
  kSof9 = 0xC9,
  kSof10 = 0xCA,
  kDac = 0xCC,
  kRst0 = 0xD0,
  kRst7 = 0xD7,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kDqt = 0xDB,
  kDri = 0xDD,
  kApp1 = 0xE1,
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
  int dcContext = 0;  // arithmetic coding: the class of the previous DC difference
  bool scanned = false;  // some scan has carried this component
  // Blocks of this component in one MCU of the frame layout.
  int mcuBlocksH = 1;
  int mcuBlocksV = 1;
  // Buffered frames: all coefficients of the image, not dequantised. The DC
  // terms have an array of their own, so that a DC scan walks 2 bytes per
  // block instead of a cache line; the blocks hold the AC terms in zigzag
  // order (position 0 stays 0).
  int bufferBlocksAcross = 0;
  int bufferBlocksDown = 0;
  std::vector<std::int16_t> coefficients;
  std::vector<std::int16_t> dcTerms;

  std::int16_t* Block(int bx, int by) {
    return coefficients.data() + (static_cast<std::size_t>(by) * bufferBlocksAcross + bx) * kJpegBlockSize;
  }
  std::int16_t& Dc(int bx, int by) { return dcTerms[static_cast<std::size_t>(by) * bufferBlocksAcross + bx]; }
};

// Something lost or repaired while decoding, in the restart segment where it
// happened: segments are counted from 0 over all scans in file order, and a
// scan without restart markers is one segment.
struct JpegWarning {
  int segment = 0;
  std::string text;
};

struct JpegFrameInfo {
  int width = 0;
  int height = 0;
  bool progressive = false;
  bool arithmetic = false;
  std::uint64_t mcuCount = 0;
};

class JpegDecoder {
 public:
  // The context outlives the decoder.
  // smoothChroma: 4:2:0, 4:2:2 and 4:4:0 chroma interpolated (JpegSmoothOutput).
  JpegDecoder(JpegInputFn input, std::uint64_t fileSize, const ReadLimits& limits, sys::Context& ctx,
              bool smoothChroma = false)
      : input_(std::move(input)), fileSize_(fileSize), limits_(limits), ctx_(ctx), smoothChroma_(smoothChroma) {}
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // SOI up to and including the frame header; the tables on the way are read.
  bool ReadHeaders();
  // Scan type, MCU geometry and the buffers; needs ReadHeaders.
  bool SetupFrame();
  // All scans and all output lines into bitmap (frame size).
  bool DecodeImage(Bitmap& bitmap);

  JpegFrameInfo Frame() const;
  // The orientation tag of the first EXIF segment read so far (1 to 8), 1
  // without one.
  int Orientation() const { return exifOrientation_; }
  const std::string& Error() const { return error_; }
  // What kind of failure Error() is.
  sys::Code ErrorCode() const { return errorCode_; }
  // At most one of each kind per restart segment; not reported here.
  const std::vector<JpegWarning>& Warnings() const { return warnings_; }

 private:
  // Input.
  bool ReadByte(std::uint8_t& b);
  void PushBack(std::uint8_t b);
  bool ReadU8(int& v);
  bool ReadU16(int& v);
  bool Skip(int count);
  // Keeps the first failure; damaged data unless code says otherwise.
  bool Fail(const char* reason, sys::Code code = sys::Code::kCorrupt);
  void Warn(const char* text);

  // Markers and segments.
  bool FindMarker(int& marker);
  bool NextMarker(int& marker);
  bool SkipSegment();
  bool ReadQuantTables();
  bool ReadHuffmanTables();
  bool ReadRestartInterval();
  bool ReadAdobeSegment();
  bool ReadApplicationSegment1();
  bool ReadArithmeticConditioning();
  bool ChooseColorSpace();
  bool ReadFrameHeader(int marker);
  bool ReadScanHeader();
  bool CheckScanComponents();
  bool HuffmanTableReady(int slot);
  bool StartScan();
  // The next scan header, or ended at the end-of-image marker.
  bool NextScan(bool& ended);
  bool ScanCoversFrame() const;

  // Entropy-coded data.
  void ResetBits();
  // Fresh decoder state (Huffman or arithmetic) at the start of a scan or
  // restart segment.
  void StartEntropyCoding();
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
  // The hot loops keep the bit buffer in locals (registers) and pass them
  // here to refill: straight from the chunk while no 0xFF is near, otherwise
  // through FillBits.
  void Refill(std::uint64_t& buffer, int& count);
  int GetBits(int n);
  int DecodeSymbol(const JpegHuffmanTable& table);
  // The same with at least 16 bits already in the buffer.
  int DecodeBufferedSymbol(const JpegHuffmanTable& table);
  enum class RestartSearch { kFound, kOutOfOrder, kOtherMarker, kEndOfFile };
  // At a restart boundary: the marker, then fresh predictions and decoder
  // state; false (with the reason) when the file ends.
  bool HandleRestart();
  RestartSearch FindRestartMarker(int& marker);
  // At the end of a segment or scan: a warning when its blocks took more bits
  // than its data holds (the data was cut short and made up with 1-bits).
  void CheckDataLasted();
  void ResetPredictions();
  // The rest of the restart segment is lost: one warning, and its remaining
  // blocks are skipped until the next restart marker.
  void MarkSegmentDamaged();

  // Arithmetic-coded data.
  void ResetArithmetic();
  std::uint8_t NextArithmeticByte();
  int DecodeDecision(std::uint8_t& bin);
  int DecodeFixedDecision();
  bool DecodeArithmeticDc(JpegComponent& component, int& diff);
  bool DecodeArithmeticMagnitude(std::uint8_t* stats, int first, int highBins, int& value);
  template <typename Store>
  bool DecodeArithmeticAc(const JpegComponent& component, int first, int last, Store store);
  bool DecodeArithmeticBlock(int block, JpegComponent& component);
  bool DecodeArithmeticDcFirst(JpegComponent& component, std::int16_t& dc);
  void DecodeArithmeticDcRefine(std::int16_t& dc);
  bool DecodeArithmeticAcFirst(const JpegComponent& component, std::int16_t* block, int first);
  bool DecodeArithmeticAcRefine(const JpegComponent& component, std::int16_t* block);

  // Sequential frames.
  // One block with the bit buffer in the caller's locals.
  bool DecodeBlock(std::uint64_t& bits, int& count, int block, JpegComponent& component);
  bool DecodeMcuRow();
  bool DecodeArithmeticMcuRow();
  void ClearBlock(int block);

  // Frames decoded into whole-image coefficient buffers: progressive ones
  // and sequential ones with more than one scan.
  bool AllocateCoefficientBuffers();
  bool DecodeBufferedScans();
  bool CheckBufferedScan();
  bool DecodeBufferedScan();
  // The block at (bx, by) of the component's buffers.
  bool DecodeBufferedBlock(JpegComponent& component, int bx, int by);
  bool DecodeSequentialBufferedBlock(JpegComponent& component, std::int16_t& dc, std::int16_t* block);
  bool DecodeDcFirst(JpegComponent& component, std::int16_t& dc);
  void DecodeDcRefine(std::int16_t& dc);
  bool DecodeAcFirst(JpegComponent& component, std::int16_t* block);
  bool DecodeAcRefine(JpegComponent& component, std::int16_t* block);
  void LoadMcuRow(int mcuRow);

  bool DecodeStreamedRows(Bitmap& bitmap);
  void TransformMcuRow();
  void OutputMcuRow(Bitmap& bitmap, int mcuRow);

  JpegInputFn input_;
  std::uint64_t fileSize_;
  const ReadLimits limits_;  // a copy: a caller may hand over a temporary
  sys::Context& ctx_;
  std::string error_;
  sys::Code errorCode_ = sys::Code::kOk;
  std::vector<JpegWarning> warnings_;
  int segment_ = -1;
  bool segmentDamaged_ = false;

  const std::uint8_t* chunk_ = nullptr;
  std::size_t chunkLeft_ = 0;
  std::uint64_t offset_ = 0;
  std::array<std::uint8_t, kMaxPushback> pushback_{};
  int pushCount_ = 0;

  std::uint64_t bitBuffer_ = 0;  // next bits at the top
  int bitCount_ = 0;
  bool markerReached_ = false;  // the data ended or a marker is pending: 1-bits follow
  int fillerBits_ = 0;          // the 1-bits put in the buffer after the data ended

  int width_ = 0;
  int height_ = 0;
  bool progressive_ = false;
  bool arithmetic_ = false;
  int adobeTransform_ = -1;  // -1: no Adobe segment
  bool exifRead_ = false;
  int exifOrientation_ = 1;
  JpegColorSpace colorSpace_ = JpegColorSpace::kYCbCr;
  int componentCount_ = 0;
  int hMax_ = 1;
  int vMax_ = 1;
  std::array<JpegComponent, kMaxComponents> components_{};

  std::array<std::array<std::uint16_t, kJpegBlockSize>, kQuantTables> quant_{};
  std::array<bool, kQuantTables> quantDefined_{};
  std::array<JpegHuffmanTable, kHuffmanSlots> huffman_{};

  // Arithmetic decoder state: the code register (16 bits of it compared at
  // a time), the interval, the bits left before the next byte, and per
  // conditioning table the adaptive probability states (index, with the more
  // probable symbol in the top bit) and the conditioning parameters.
  std::uint32_t arithCode_ = 0;
  std::uint32_t arithInterval_ = 0;
  int arithBitsLeft_ = 0;
  std::array<std::array<std::uint8_t, kArithDcBins>, 4> dcStats_{};
  std::array<std::array<std::uint8_t, kArithAcBins>, 4> acStats_{};
  std::array<std::uint8_t, 4> arithDcLower_{0, 0, 0, 0};
  std::array<std::uint8_t, 4> arithDcUpper_{1, 1, 1, 1};
  std::array<std::uint8_t, 4> arithAcSplit_{5, 5, 5, 5};

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

  bool smoothChroma_ = false;
  bool columnsFirst_ = false;                 // the inverse transform's order (JpegInverseDct)
  std::unique_ptr<JpegSmoothOutput> smooth_;  // set up with the frame when it interpolates chroma
  JpegScanType scanType_ = JpegScanType::kGrey;
  bool streamOutput_ = false;
  JpegRowLayout rowLayout_;
  int mcuWidth_ = 8;
  int mcuHeight_ = 8;
  int mcusPerRow_ = 0;
  int mcuRows_ = 0;
  int blocksPerMcu_ = 0;
  int blocksPerMcuRow_ = 0;
  std::array<int, kMaxFrameBlocksPerMcu> mcuComponent_{};  // frame component of each block of an MCU
  std::array<int, kMaxFrameBlocksPerMcu> mcuBlockX_{};     // its position within the component's part of the MCU
  std::array<int, kMaxFrameBlocksPerMcu> mcuBlockY_{};
  std::vector<std::int16_t> coefficients_;  // one MCU row, natural order
  std::vector<std::uint8_t> lastNonZero_;   // per block: one past the last zigzag index in use
  std::vector<std::uint8_t> samples_;       // one MCU row after the inverse DCT
};

// Eight bytes as one big-endian number.
inline std::uint64_t JpegLoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

// True when one of the eight bytes of v is 0xFF.
inline bool JpegHasByteFF(std::uint64_t v) {
  const std::uint64_t inverted = ~v;
  return ((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) != 0;
}

inline void JpegDecoder::Refill(std::uint64_t& buffer, int& count) {
  if (!markerReached_ && pushCount_ == 0 && chunkLeft_ >= 8) {
    const std::uint64_t next = JpegLoadBigEndian64(chunk_);
    if (!JpegHasByteFF(next)) {
      const int bytes = (64 - count) / 8;
      buffer |= next >> count;
      count += 8 * bytes;
      if (count < 64) buffer &= ~(~std::uint64_t{0} >> count);
      chunk_ += bytes;
      chunkLeft_ -= static_cast<std::size_t>(bytes);
      return;
    }
  }
  bitBuffer_ = buffer;
  bitCount_ = count;
  FillBits();
  buffer = bitBuffer_;
  count = bitCount_;
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

}  // namespace rastra

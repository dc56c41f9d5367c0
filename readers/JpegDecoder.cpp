// Baseline, extended sequential and progressive JPEG decoding, Huffman or
// arithmetic coded, into a true-colour Bitmap: input, markers and segments,
// frame and scan headers, and the output of the image lines.
//
// A sequential frame whose first scan carries every component is decoded one
// MCU row at a time straight into the picture. Progressive frames and
// sequential ones split into several scans keep all coefficients until the
// last scan.
//
// The decoder pulls the file through an input callback in chunks, as it would
// from a stream, and never looks past the bytes the callback hands out. The
// file is parsed twice: once to learn the frame size (so the size can be
// checked before anything large is allocated), then again for the image.
#include "readers/JpegDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/ImageOps.h"
#include "readers/ExifOrientation.h"
#include "readers/JpegDecoderContext.h"

namespace rastra {

namespace {

bool IsFrameMarker(int m) { return m >= 0xC0 && m <= 0xCF && m != kDht && m != kJpg && m != kDac; }
bool IsReturnedMarker(int m) { return IsFrameMarker(m) || m == kSoi || m == kEoi || m == kSos; }
bool IsForbiddenMarker(int m) { return m == kTem || m == kJpg || (m >= kRst0 && m <= kRst7); }
bool IsSupportedFrame(int m) { return m == kSof0 || m == kSof1 || m == kSof2 || m == kSof9 || m == kSof10; }

const char* UnsupportedFrameText(int marker) {
  if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) {
    return "lossless JPEG files are not supported";
  }
  if ((marker >= 0xC5 && marker <= 0xC7) || (marker >= 0xCD && marker <= 0xCF)) {
    return "hierarchical JPEG files are not supported";
  }
  return "the file has no frame header before its image data";
}

}  // namespace

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

bool JpegDecoder::Fail(const char* reason, sys::Code code) {
  if (error_.empty()) {
    error_ = reason;
    errorCode_ = code;
  }
  return false;
}

void JpegDecoder::Warn(const char* text) {
  for (auto it = warnings_.rbegin(); it != warnings_.rend() && it->segment == segment_; ++it) {
    if (it->text == text) return;
  }
  warnings_.push_back(JpegWarning{segment_, text});
}

bool JpegDecoder::ReadU8(int& v) {
  std::uint8_t b = 0;
  if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
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
      if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
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
      if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
    } while (b != 0xFF);
    do {
      if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
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
    } else if (marker == kApp1) {
      ok = ReadApplicationSegment1();
    } else if (marker == kDac) {
      ok = ReadArithmeticConditioning();
    } else if (IsReturnedMarker(marker)) {
      return true;
    } else if (marker >= kRst0 && marker <= kRst7 && segment_ >= 0) {
      // Some writers close a scan's last restart interval with a marker too;
      // it stands alone (no length) and holds nothing.
      continue;
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
  if (length < 14) {
    // Too short to say how the colours are stored; the pixels are still there.
    if (length < 2) return Fail("a segment has a bad length");
    Warn("an Adobe segment is too short to read; it is left out");
    return Skip(length - 2);
  }
  if (!Skip(11) || !ReadU8(transform)) return false;
  adobeTransform_ = transform;
  return Skip(length - 14);
}

// APP1 holds EXIF data ("Exif", two zero bytes, then TIFF), or XMP and the
// like, which are skipped. Only the first EXIF segment counts.
bool JpegDecoder::ReadApplicationSegment1() {
  static constexpr std::uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
  int length = 0;
  if (!ReadU16(length)) return false;
  if (length < 2) return Fail("a segment has a bad length");
  int left = length - 2;
  if (exifRead_ || left < static_cast<int>(sizeof kExifId)) return Skip(left);
  std::array<std::uint8_t, sizeof kExifId> id{};
  for (std::uint8_t& b : id) {
    if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
  }
  left -= static_cast<int>(sizeof kExifId);
  if (!std::equal(id.begin(), id.end(), std::begin(kExifId))) return Skip(left);
  std::vector<std::uint8_t> tiff(static_cast<std::size_t>(left));
  for (std::uint8_t& b : tiff) {
    if (!ReadByte(b)) return Fail("the file ends too early", sys::Code::kTruncated);
  }
  exifRead_ = true;
  exifOrientation_ = ExifOrientation(tiff);
  return true;
}

bool JpegDecoder::ReadArithmeticConditioning() {
  int length = 0;
  if (!ReadU16(length)) return false;
  if (length < 2 || (length - 2) % 2 != 0) return Fail("an arithmetic conditioning segment has a bad length");
  for (int remaining = length - 2; remaining > 0; remaining -= 2) {
    int classAndTable = 0;
    int value = 0;
    if (!ReadU8(classAndTable) || !ReadU8(value)) return false;
    const int table = classAndTable & 15;
    if (table > 3) return Fail("an arithmetic conditioning table has a bad number");
    if ((classAndTable >> 4) == 0) {
      const int lower = value & 15;
      const int upper = value >> 4;
      if (lower > upper) return Fail("an arithmetic conditioning segment is damaged");
      arithDcLower_[table] = static_cast<std::uint8_t>(lower);
      arithDcUpper_[table] = static_cast<std::uint8_t>(upper);
    } else if ((classAndTable >> 4) == 1 && value >= 1 && value <= 63) {
      arithAcSplit_[table] = static_cast<std::uint8_t>(value);
    } else {
      return Fail("an arithmetic conditioning segment is damaged");
    }
  }
  return true;
}

bool JpegDecoder::ReadHeaders() {
  int first = 0;
  int second = 0;
  if (!ReadU8(first) || !ReadU8(second)) return false;
  if (first != 0xFF || second != kSoi) return Fail("the file does not start with a JPEG start-of-image marker", sys::Code::kNotRecognised);
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (!IsSupportedFrame(marker)) return Fail(UnsupportedFrameText(marker), sys::Code::kUnsupported);
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
  if (precision == 12) return Fail("JPEG files with 12-bit samples are not supported", sys::Code::kUnsupported);
  if (precision != 8) return Fail("the frame has an unsupported sample precision", sys::Code::kUnsupported);
  for (int i = 0; i < count; ++i) {
    JpegComponent& c = components_[i];
    int sampling = 0;
    if (!ReadU8(c.id) || !ReadU8(sampling) || !ReadU8(c.quant)) return false;
    c.h = sampling >> 4;
    c.v = sampling & 15;
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return Fail("the frame has bad sampling factors");
    if (c.quant >= kQuantTables) return Fail("the frame names a quantisation table that cannot exist");
  }
  componentCount_ = count;
  progressive_ = marker == kSof2 || marker == kSof10;
  arithmetic_ = marker == kSof9 || marker == kSof10;
  return true;
}

// ---------------------------------------------------------------------------
// Frame setup

JpegFrameInfo JpegDecoder::Frame() const {
  JpegFrameInfo info;
  info.width = width_;
  info.height = height_;
  info.progressive = progressive_;
  info.arithmetic = arithmetic_;
  info.mcuCount = static_cast<std::uint64_t>(mcusPerRow_) * static_cast<std::uint64_t>(mcuRows_);
  return info;
}

// The colour space follows the Adobe segment where there is one, as the
// files' writers intend: transform 0 stores RGB or CMYK as they are, 2 (and
// any other value with four components) YCCK, 1 YCbCr.
bool JpegDecoder::ChooseColorSpace() {
  switch (componentCount_) {
    case 1:
      colorSpace_ = JpegColorSpace::kGrey;
      return true;
    case 3:
      colorSpace_ = adobeTransform_ == 0 ? JpegColorSpace::kRgb : JpegColorSpace::kYCbCr;
      return true;
    case 4:
      colorSpace_ = adobeTransform_ < 0 || adobeTransform_ == 0 ? JpegColorSpace::kCmyk : JpegColorSpace::kYcck;
      return true;
    default:
      return Fail("JPEG files with two components are not supported", sys::Code::kUnsupported);
  }
}

bool JpegDecoder::SetupFrame() {
  if (componentCount_ == 0) return Fail("the frame has no components");
  if (!ChooseColorSpace()) return false;
  // A lone component is one block per MCU, whatever its sampling factors say.
  if (componentCount_ == 1) components_[0].h = components_[0].v = 1;
  hMax_ = vMax_ = 1;
  for (int i = 0; i < componentCount_; ++i) {
    hMax_ = std::max(hMax_, components_[i].h);
    vMax_ = std::max(vMax_, components_[i].v);
  }
  for (int i = 0; i < componentCount_; ++i) {
    if (hMax_ % components_[i].h != 0 || vMax_ % components_[i].v != 0) {
      return Fail("the sampling factors are not supported (each must divide the largest)", sys::Code::kUnsupported);
    }
  }
  blocksPerMcu_ = 0;
  rowLayout_ = JpegRowLayout{};
  for (int c = 0; c < componentCount_; ++c) {
    JpegComponent& component = components_[c];
    component.mcuBlocksH = component.h;
    component.mcuBlocksV = component.v;
    rowLayout_.firstBlock[c] = blocksPerMcu_;
    rowLayout_.blocksAcross[c] = component.h;
    rowLayout_.repeatAcross[c] = hMax_ / component.h;
    rowLayout_.repeatDown[c] = vMax_ / component.v;
    for (int y = 0; y < component.v; ++y) {
      for (int x = 0; x < component.h; ++x) {
        mcuComponent_[blocksPerMcu_] = c;
        mcuBlockX_[blocksPerMcu_] = x;
        mcuBlockY_[blocksPerMcu_] = y;
        ++blocksPerMcu_;
      }
    }
  }
  mcuWidth_ = 8 * hMax_;
  mcuHeight_ = 8 * vMax_;
  scanType_ = JpegScanType::kGeneral;
  const JpegComponent& luma = components_[0];
  if (colorSpace_ == JpegColorSpace::kGrey) {
    scanType_ = JpegScanType::kGrey;
  } else if (colorSpace_ == JpegColorSpace::kYCbCr && luma.h == hMax_ && luma.v == vMax_ && hMax_ <= 2 &&
             vMax_ <= 2 && blocksPerMcu_ == hMax_ * vMax_ + 2) {
    static constexpr JpegScanType kTypes[2][2] = {{JpegScanType::kH1V1, JpegScanType::kH1V2},
                                                  {JpegScanType::kH2V1, JpegScanType::kH2V2}};
    scanType_ = kTypes[hMax_ - 1][vMax_ - 1];
  }
  mcusPerRow_ = (width_ + mcuWidth_ - 1) / mcuWidth_;
  mcuRows_ = (height_ + mcuHeight_ - 1) / mcuHeight_;
  const bool halvedChroma =
      scanType_ == JpegScanType::kH2V1 || scanType_ == JpegScanType::kH2V2 || scanType_ == JpegScanType::kH1V2;
  // Smoothed chroma follows the IJG decoder's arithmetic throughout: its
  // order of the inverse transform too (in every layout, so that a picture
  // without halved chroma decodes as that decoder's default does as well),
  // and its plain repetition of chroma that is too narrow to interpolate.
  columnsFirst_ = smoothChroma_;
  smooth_.reset();
  if (smoothChroma_ && halvedChroma && JpegSmoothOutput::Interpolates(hMax_, vMax_, width_)) {
    smooth_ = std::make_unique<JpegSmoothOutput>(hMax_, vMax_, width_, height_, mcusPerRow_);
  }
  blocksPerMcuRow_ = mcusPerRow_ * blocksPerMcu_;
  rowLayout_.componentCount = componentCount_;
  rowLayout_.blocksPerMcu = blocksPerMcu_;
  rowLayout_.mcusPerRow = mcusPerRow_;
  rowLayout_.mcuWidth = mcuWidth_;
  return true;
}

// ---------------------------------------------------------------------------
// Scan headers

bool JpegDecoder::ReadScanHeader() {
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (marker == kEoi) return Fail("the file ends before the image data", sys::Code::kTruncated);
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
    if ((tables >> 4) > 3 || (tables & 15) > 3) return Fail("a scan names an entropy table that cannot exist");
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
    ah_ = al_ = 0;
  }
  return CheckScanComponents() && StartScan();
}

bool JpegDecoder::CheckScanComponents() {
  // The blocks of an interleaved scan follow its own order of components,
  // which need not be the frame's; each may appear only once.
  for (int i = 1; i < scanCount_; ++i) {
    for (int j = 0; j < i; ++j) {
      if (scanComponents_[i] == scanComponents_[j]) return Fail("a scan lists a component twice");
    }
  }
  if (scanCount_ > 1) {
    int blocks = 0;
    for (int i = 0; i < scanCount_; ++i) {
      const JpegComponent& c = components_[scanComponents_[i]];
      blocks += c.h * c.v;
    }
    if (blocks > kMaxScanBlocksPerMcu) return Fail("a scan has more blocks per MCU than allowed");
  }
  return true;
}

bool JpegDecoder::NextScan(bool& ended) {
  CheckDataLasted();
  ended = false;
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (marker == kEoi) {
    ended = true;
    return true;
  }
  PushBack(static_cast<std::uint8_t>(marker));
  PushBack(0xFF);
  return ReadScanHeader();
}

bool JpegDecoder::ScanCoversFrame() const {
  if (scanCount_ != componentCount_) return false;
  for (int i = 0; i < scanCount_; ++i) {
    if (scanComponents_[i] != i) return false;
  }
  return true;
}

// A table the file does not define may be one of the standard ones, which
// Motion-JPEG frames (webcams, AVI frame grabs) rely on without a DHT.
bool JpegDecoder::HuffmanTableReady(int slot) {
  JpegHuffmanTable& table = huffman_[static_cast<std::size_t>(slot)];
  return table.defined || JpegLoadStandardTable(slot, table);
}

bool JpegDecoder::StartScan() {
  for (int i = 0; i < scanCount_; ++i) {
    JpegComponent& c = components_[scanComponents_[i]];
    c.scanned = true;
    if (!quantDefined_[c.quant]) return Fail("a component uses a quantisation table that is not defined");
    if (arithmetic_) continue;
    if (ss_ == 0 && !HuffmanTableReady(c.dcSlot)) return Fail("a scan uses a Huffman table that is not defined");
    if (se_ != 0 && !HuffmanTableReady(c.acSlot)) return Fail("a scan uses a Huffman table that is not defined");
  }
  if (!arithmetic_) {
    for (int slot = 0; slot < kHuffmanSlots; ++slot) {
      JpegHuffmanTable& table = huffman_[slot];
      if (table.defined && !JpegBuildHuffmanTable(table, slot >= kHuffmanSlots / 2)) {
        return Fail("a Huffman table is damaged");
      }
    }
  }
  ResetPredictions();
  if (restartInterval_ != 0) {
    mcusLeft_ = restartInterval_;
    nextRestart_ = 0;
  }
  ++segment_;
  segmentDamaged_ = false;
  StartEntropyCoding();
  return true;
}

void JpegDecoder::ResetPredictions() {
  for (JpegComponent& c : components_) {
    c.dcPrediction = 0;
    c.dcContext = 0;
  }
  eobRun_ = 0;
}

void JpegDecoder::MarkSegmentDamaged() {
  Warn("the image data is damaged; the rest of its segment is left out");
  segmentDamaged_ = true;
}

// ---------------------------------------------------------------------------
// Output

// Blocks with only a DC term are filled at once; the others go in pairs to
// the two-block transform.
void JpegDecoder::TransformMcuRow() {
  std::int16_t* coefficients = coefficients_.data();
  std::uint8_t* samples = samples_.data();
  const bool columnsFirst = columnsFirst_;
  std::size_t waiting = 0;
  bool isWaiting = false;
  for (int b = 0; b < blocksPerMcuRow_; ++b) {
    const std::size_t offset = static_cast<std::size_t>(b) * kJpegBlockSize;
    if (lastNonZero_[b] <= 1) {
      JpegInverseDct(coefficients + offset, lastNonZero_[b], samples + offset, columnsFirst);
    } else if (!isWaiting) {
      waiting = offset;
      isWaiting = true;
    } else {
      JpegInverseDctPair(coefficients + waiting, coefficients + offset, samples + waiting, samples + offset,
                         columnsFirst);
      isWaiting = false;
    }
  }
  if (isWaiting) JpegInverseDct(coefficients + waiting, kJpegBlockSize, samples + waiting, columnsFirst);
}

JpegDecoder::~JpegDecoder() = default;

void JpegDecoder::OutputMcuRow(Bitmap& bitmap, int mcuRow) {
  if (smooth_) {
    smooth_->OutputMcuRow(samples_.data(), mcuRow, bitmap);
    return;
  }
  const int firstLine = mcuRow * mcuHeight_;
  const int lines = std::min(mcuHeight_, height_ - firstLine);
  std::array<std::uint8_t*, 32> rows{};
  for (int i = 0; i < lines; ++i) rows[i] = bitmap.Row(firstLine + i);
  if (scanType_ == JpegScanType::kGeneral) {
    JpegConvertMcuRowGeneral(rowLayout_, colorSpace_, samples_.data(), width_, lines, rows.data());
  } else {
    JpegConvertMcuRow(scanType_, samples_.data(), mcusPerRow_, width_, lines, rows.data(), streamOutput_);
  }
}

bool JpegDecoder::DecodeStreamedRows(Bitmap& bitmap) {
  for (int mcuRow = 0; mcuRow < mcuRows_; ++mcuRow) {
    if (!DecodeMcuRow()) return false;
    TransformMcuRow();
    OutputMcuRow(bitmap, mcuRow);
  }
  return true;
}

bool JpegDecoder::DecodeImage(Bitmap& bitmap) {
  streamOutput_ = static_cast<std::uint64_t>(bitmap.BytesPerLine) * static_cast<std::uint64_t>(height_) >=
                  kStreamOutputBytes;
  const std::size_t blocks = static_cast<std::size_t>(blocksPerMcuRow_);
  coefficients_.assign(blocks * kJpegBlockSize, 0);
  samples_.assign(blocks * kJpegBlockSize, 0);
  lastNonZero_.assign(blocks, kJpegBlockSize);
  if (!ReadScanHeader()) return false;
  if (progressive_ || !ScanCoversFrame()) {
    if (!DecodeBufferedScans()) return false;
    for (int mcuRow = 0; mcuRow < mcuRows_; ++mcuRow) {
      LoadMcuRow(mcuRow);
      TransformMcuRow();
      OutputMcuRow(bitmap, mcuRow);
    }
    return true;
  }
  if (!DecodeStreamedRows(bitmap)) return false;
  CheckDataLasted();
  int marker = 0;
  if (!NextMarker(marker)) return false;
  if (marker != kEoi) return Fail("the image data is followed by something other than the end-of-image marker");
  return true;
}

namespace {

// Every Huffman-coded block takes at least one bit of entropy-coded data in
// some scan, so such a frame with more MCUs than the file has bits cannot be
// real; refusing it keeps a tiny file from claiming a huge picture. Arithmetic
// coding spends far less than a bit on a run of empty blocks, so there only
// the limits of the read stand between a small file and a large picture.
bool FrameFitsFile(const JpegFrameInfo& frame, std::uint64_t fileSize) {
  return frame.arithmetic || frame.mcuCount <= fileSize * 8;
}

// Null with error set, or with error empty when the failure is already
// recorded in ctx (the allocator's).
struct JpegFailure {
  std::string text;
  sys::Code code = sys::Code::kCorrupt;
};

BitmapPtr DecodeJpeg(const JpegInputFn& input, std::uint64_t fileSize, const ReadOptions& options, sys::Context& ctx,
                     JpegFailure& error, int& orientation) {
  const ReadLimits& limits = options.limits;
  auto probe = std::make_unique<JpegDecoder>(input, fileSize, limits, ctx);
  if (!probe->ReadHeaders() || !probe->SetupFrame()) {
    error = {probe->Error(), probe->ErrorCode()};
    return nullptr;
  }
  const JpegFrameInfo frame = probe->Frame();
  probe.reset();
  if (!FrameFitsFile(frame, fileSize)) {
    error = {"the file is too short for the picture size its header claims", sys::Code::kTruncated};
    return nullptr;
  }
  if (frame.width > limits.maxWidth || frame.height > limits.maxHeight) {
    error = {"the picture is larger than the limits of this read", sys::Code::kLimit};
    return nullptr;
  }
  BitmapPtr bitmap = CreateReadImage(frame.width, frame.height, 0, limits, ctx);
  if (!bitmap) return nullptr;

  auto decoder = std::make_unique<JpegDecoder>(input, fileSize, limits, ctx, options.smoothChroma);
  const bool decoded = decoder->ReadHeaders() && decoder->SetupFrame() && decoder->DecodeImage(*bitmap);
  // What was lost or repaired on the way, once per kind and restart segment.
  for (const JpegWarning& warning : decoder->Warnings()) {
    ctx.Warn(sys::Code::kCorrupt, "JPEG file damaged: " + warning.text, warning.segment);
  }
  if (!decoded) {
    error = {decoder->Error(), decoder->ErrorCode()};
    Bitmap_Delete(std::move(bitmap));
    return nullptr;
  }
  orientation = decoder->Orientation();
  return bitmap;
}

}  // namespace

ReadResult ReadJpegFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx) {
  using sys::Code;
  if (file.size() > options.limits.maxFileBytes) return ReadResult::Failure(ctx, Code::kLimit, "File too long");
  if (file.empty()) return ReadResult::Failure(ctx, Code::kTruncated, "Cannot decode JPEG file: the file is empty");
  const JpegInputFn input = [file](std::uint64_t offset, std::size_t maxBytes, const std::uint8_t*& data) {
    if (offset >= file.size()) return std::size_t{0};
    data = file.data() + offset;
    return static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, file.size() - offset));
  };
  JpegFailure error;
  BitmapPtr bitmap;
  int orientation = 1;
  try {
    bitmap = DecodeJpeg(input, file.size(), options, ctx, error, orientation);
  } catch (const std::bad_alloc&) {
    // The decoder's own buffers are small next to the Bitmap, but a machine
    // short of memory must still not end the program.
    error = {"there is not enough memory to decode the file", sys::Code::kOutOfMemory};
  }
  if (bitmap) {
    const bool turn = options.applyOrientation && orientation != 1;
    if (turn) {
      bitmap = OrientBitmap(*bitmap, orientation, ctx);
      if (!bitmap) return ReadResult::Recorded(ctx);
    }
    ReadResult result = ReadResult::Of(std::move(bitmap));
    result.orientation = orientation;
    result.orientationApplied = turn;
    return result;
  }
  if (error.text.empty()) return ReadResult::Recorded(ctx);
  return ReadResult::Failure(ctx, error.code, "Cannot decode JPEG file: " + error.text);
}

}  // namespace rastra

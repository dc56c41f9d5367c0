#include "readers/GifDecoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/ColorConvert.h"
#include "image/ImageOps.h"

namespace rastra {

namespace {

constexpr int kMaxCodes = 4096;      // 12-bit LZW codes
// Every entry adds one byte to the string of an earlier one, so no string of
// a full table is longer than the table.
constexpr int kMaxStringBytes = kMaxCodes;
constexpr Color kTransparentEntry = 0xFFFFFFFF;  // white, fully transparent
constexpr Color kTransColor = 0xFFFFFF;
const char* const kReadFailure = "Image could not be read";

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kTableFlag = 0x80;
constexpr std::uint8_t kInterlaceFlag = 0x40;

// Every read of the GIF data goes through here; nothing reads beyond size.
class GifCursor {
 public:
  GifCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool ReadByte(std::uint8_t& value) {
    if (pos_ >= size_) return false;
    value = data_[pos_++];
    return true;
  }
  bool ReadU16(std::uint16_t& value) {
    const std::uint8_t* p = nullptr;
    if (!Take(2, p)) return false;
    value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
  }
  // Hands out the next count bytes in place.
  bool Take(std::size_t count, const std::uint8_t*& bytes) {
    if (count > size_ - pos_) return false;
    bytes = data_ + pos_;
    pos_ += count;
    return true;
  }
  bool Skip(std::size_t count) {
    const std::uint8_t* ignored = nullptr;
    return Take(count, ignored);
  }
  // Nothing more is read: the data has ended for the walk.
  void SkipToEnd() { pos_ = size_; }
  // Skips sub-blocks up to and including the zero-length one; bytes (when
  // given) receives the number of data bytes they held.
  bool SkipSubBlocks(std::uint64_t* bytes = nullptr) {
    std::uint8_t length = 0;
    do {
      if (!ReadByte(length) || !Skip(length)) return false;
      if (bytes != nullptr) *bytes += length;
    } while (length != 0);
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// LZW expansion of one frame's image data. Codes are expanded straight into
// the caller's row when they fit; a string that crosses the end of a row waits
// in pending_ for the next call.
class LzwDecoder {
 public:
  LzwDecoder(GifCursor& cursor, int minCodeSize) : cursor_(cursor), minCodeSize_(minCodeSize) {
    if (minCodeSize_ < 12) {
      clear_ = 1 << minCodeSize_;
      end_ = clear_ + 1;
    }
  }

  // Writes up to count pixels and returns how many it wrote: fewer once the
  // end code came or the image data ran out, -1 when the data is damaged.
  int Read(std::uint8_t* out, int count);
  // Moves the cursor past the frame's remaining sub-blocks, to the block after
  // the frame. False when the data ends first.
  bool SkipRest() {
    if (done_) return true;
    if (failed_) return false;
    return cursor_.SkipSubBlocks();
  }

 private:
  enum class Step { kString, kEnd, kFailed };

  Step NextString(std::uint8_t* out, int room, int& written);
  Step StartAfterClear(std::uint8_t* out, int& written);
  Step ExpandValidCode(int code, std::uint8_t* out, int room, int& written);
  Step ExpandDamagedCode(int code, int& written);
  bool ResetTable();
  void AddEntry();
  bool ReadCode(int& code);
  void Refill();

  GifCursor& cursor_;
  int minCodeSize_;
  int clear_ = kMaxCodes;  // a minimum code size of 12 or more fails at the first clear
  int end_ = kMaxCodes + 1;
  int width_ = 0;
  int limit_ = 0;
  int next_ = 0;
  int prev_ = 0;
  std::uint8_t firstChar_ = 0;
  bool fresh_ = true;
  bool ended_ = false;
  bool failed_ = false;
  // Set when a code beyond the table arrived; until the next clear code the
  // table may hold cycles and strings are expanded with full checks.
  bool damaged_ = false;

  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  const std::uint8_t* block_ = nullptr;
  int blockLeft_ = 0;
  bool done_ = false;  // the terminating zero-length sub-block was read

  std::array<std::uint16_t, kMaxCodes> prefix_{};
  std::array<std::uint8_t, kMaxCodes> suffix_{};
  std::array<std::uint16_t, kMaxCodes> length_{};
  std::array<std::uint8_t, kMaxStringBytes> pending_{};
  int pendingPos_ = 0;
  int pendingLen_ = 0;
};

int LzwDecoder::Read(std::uint8_t* out, int count) {
  int produced = 0;
  while (produced < count) {
    if (pendingPos_ < pendingLen_) {
      const int n = std::min(count - produced, pendingLen_ - pendingPos_);
      std::memcpy(out + produced, pending_.data() + pendingPos_, static_cast<std::size_t>(n));
      pendingPos_ += n;
      produced += n;
      continue;
    }
    if (ended_) break;
    int written = 0;
    const Step step = NextString(out + produced, count - produced, written);
    if (step == Step::kFailed) return -1;
    if (step == Step::kEnd) {
      ended_ = true;
      break;
    }
    produced += written;
  }
  return produced;
}

// Expands the next code; written counts the bytes put into out (0 when the
// string went to pending_).
LzwDecoder::Step LzwDecoder::NextString(std::uint8_t* out, int room, int& written) {
  int code = clear_;
  if (fresh_) {
    fresh_ = false;
  } else if (!ReadCode(code)) {
    return failed_ ? Step::kFailed : Step::kEnd;
  }
  if (code == clear_) return StartAfterClear(out, written);
  if (code == end_) return Step::kEnd;
  if (damaged_ || code > next_) return ExpandDamagedCode(code, written);
  return ExpandValidCode(code, out, room, written);
}

LzwDecoder::Step LzwDecoder::StartAfterClear(std::uint8_t* out, int& written) {
  int code = clear_;
  while (code == clear_) {
    if (!ResetTable()) return Step::kFailed;
    if (!ReadCode(code)) return failed_ ? Step::kFailed : Step::kEnd;
  }
  if (code == end_) return Step::kEnd;
  // Right after a clear only single characters are defined.
  if (code > end_) return Step::kFailed;
  firstChar_ = static_cast<std::uint8_t>(code);
  prev_ = code;
  out[0] = firstChar_;
  written = 1;
  return Step::kString;
}

bool LzwDecoder::ResetTable() {
  if (clear_ >= kMaxCodes) return false;
  for (int i = 0; i < clear_; ++i) {
    prefix_[i] = 0;
    suffix_[i] = static_cast<std::uint8_t>(i);
    length_[i] = 1;
  }
  std::fill(prefix_.begin() + clear_, prefix_.end(), 0);
  std::fill(suffix_.begin() + clear_, suffix_.end(), 0);
  std::fill(length_.begin() + clear_, length_.end(), 0);
  width_ = minCodeSize_ + 1;
  limit_ = 2 * clear_;
  next_ = clear_ + 2;
  pendingPos_ = pendingLen_ = 0;
  damaged_ = false;
  return true;
}

// Every table entry refers to an earlier one here, so the string length is
// known before expanding and the string is written back to front in place.
LzwDecoder::Step LzwDecoder::ExpandValidCode(int code, std::uint8_t* out, int room, int& written) {
  const bool repeatsPrevious = code == next_;
  const int length = repeatsPrevious ? length_[prev_] + 1 : length_[code];
  if (length > kMaxStringBytes) return Step::kFailed;
  const bool fits = length <= room;
  std::uint8_t* dst = fits ? out : pending_.data();
  std::uint8_t* p = dst + length - 1;
  int c = code;
  if (repeatsPrevious) {
    *p-- = firstChar_;
    c = prev_;
  }
  while (c >= clear_) {
    *p-- = suffix_[c];
    c = prefix_[c];
  }
  *p = static_cast<std::uint8_t>(c);
  firstChar_ = static_cast<std::uint8_t>(c);
  AddEntry();
  prev_ = code;
  if (fits) {
    written = length;
  } else {
    pendingPos_ = 0;
    pendingLen_ = length;
  }
  return Step::kString;
}

// A code beyond the next free entry is taken like the next free one; the
// table may then hold cycles, so every step of the chain is checked.
LzwDecoder::Step LzwDecoder::ExpandDamagedCode(int code, int& written) {
  damaged_ = true;
  std::array<std::uint8_t, kMaxStringBytes> stack;
  int top = 0;
  int c = code;
  if (code >= next_) {
    stack[top++] = firstChar_;
    c = prev_;
  }
  while (c >= clear_) {
    if (top >= kMaxStringBytes || prefix_[c] == c) return Step::kFailed;
    stack[top++] = suffix_[c];
    c = prefix_[c];
  }
  if (top >= kMaxStringBytes) return Step::kFailed;
  firstChar_ = suffix_[c];
  stack[top++] = firstChar_;
  AddEntry();
  prev_ = code;
  std::reverse_copy(stack.begin(), stack.begin() + top, pending_.begin());
  pendingPos_ = 0;
  pendingLen_ = top;
  written = 0;
  return Step::kString;
}

void LzwDecoder::AddEntry() {
  if (next_ >= kMaxCodes) return;
  prefix_[next_] = static_cast<std::uint16_t>(prev_);
  suffix_[next_] = firstChar_;
  length_[next_] = static_cast<std::uint16_t>(std::min(length_[prev_] + 1, kMaxCodes + 1));
  ++next_;
  if (next_ >= limit_ && limit_ < kMaxCodes) {
    limit_ *= 2;
    ++width_;
  }
}

// Codes are packed least significant bit first across the sub-blocks. False
// when no whole code is left; failed_ tells damaged data from the end of it.
bool LzwDecoder::ReadCode(int& code) {
  if (bitCount_ < width_) {
    Refill();
    if (bitCount_ < width_) return false;
  }
  code = static_cast<int>(bits_ & ((1u << width_) - 1));
  bits_ >>= width_;
  bitCount_ -= width_;
  return true;
}

// The next sub-block is only opened when the bits in hand do not make a code,
// so data that ends right after the frame's last code still decodes.
void LzwDecoder::Refill() {
  while (bitCount_ <= 56) {
    if (blockLeft_ == 0) {
      if (bitCount_ >= width_ || done_) return;
      std::uint8_t length = 0;
      if (!cursor_.ReadByte(length) || !cursor_.Take(length, block_)) {
        failed_ = true;
        return;
      }
      if (length == 0) {
        done_ = true;
        return;
      }
      blockLeft_ = length;
    }
    bits_ |= static_cast<std::uint64_t>(*block_++) << bitCount_;
    bitCount_ += 8;
    --blockLeft_;
  }
}

// ---------------------------------------------------------------------------
// What frames can fill
//
// Each frame is decoded on a canvas of the screen's size, which a few bytes
// can claim at a gigabyte. A canvas is only made when some frame of the file
// can fill a fair share of it: frames fill no more than their rectangle on
// the screen, and no more pixels than their image data can expand to.
// Screens up to 2048 x 2048 always pass.
constexpr std::uint64_t kAlwaysPlausiblePixels = std::uint64_t{1} << 22;
constexpr std::uint64_t kMaxCanvasPerFilled = 16;

// The most pixels `bytes` of LZW data can give: as many codes as fit at the
// narrowest width, the k-th after a clear expanding to at most k bytes (each
// entry is one byte longer than one before it) and none to more than a full
// table's longest string. A clear code only lowers this.
std::uint64_t LzwPixelBound(std::uint64_t bytes, int minCodeSize) {
  const std::uint64_t width = static_cast<std::uint64_t>(std::clamp(minCodeSize, 1, 11)) + 1;
  const std::uint64_t codes = bytes * 8 / width;
  constexpr std::uint64_t kGrowing = kMaxCodes;
  if (codes <= kGrowing) return codes * (codes + 1) / 2;
  return kGrowing * (kGrowing + 1) / 2 + (codes - kGrowing) * kMaxCodes;
}

struct FrameRect {
  std::uint64_t left = 0;
  std::uint64_t top = 0;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

std::uint64_t VisiblePixels(const FrameRect& r, const GifInfo& screen) {
  const std::uint64_t w = r.left < screen.XSize ? std::min<std::uint64_t>(r.width, screen.XSize - r.left) : 0;
  const std::uint64_t h = r.top < screen.YSize ? std::min<std::uint64_t>(r.height, screen.YSize - r.top) : 0;
  return w * h;
}

// From the minimum code size byte of a frame: skips its image data and gives
// the pixels it can fill. Nothing when the data ends first.
std::optional<std::uint64_t> SkipFrameData(GifCursor& cursor, const FrameRect& rect, const GifInfo& screen) {
  std::uint8_t minCodeSize = 0;
  std::uint64_t bytes = 0;
  if (!cursor.ReadByte(minCodeSize) || !cursor.SkipSubBlocks(&bytes)) return std::nullopt;
  return std::min(VisiblePixels(rect, screen), LzwPixelBound(bytes, minCodeSize));
}

// The most any frame after the cursor (placed between blocks) can fill; the
// look ends at the trailer or where the data stops making sense.
std::uint64_t LargestFillAhead(GifCursor cursor, const GifInfo& screen) {
  std::uint64_t largest = 0;
  std::uint8_t byte = 0;
  while (cursor.ReadByte(byte) && byte != kTrailer) {
    if (byte == kExtensionIntroducer) {
      if (!cursor.Skip(1) || !cursor.SkipSubBlocks()) break;
    } else if (byte == kImageSeparator) {
      std::uint16_t field[4] = {};
      std::uint8_t flags = 0;
      for (std::uint16_t& value : field) {
        if (!cursor.ReadU16(value)) return largest;
      }
      if (!cursor.ReadByte(flags)) break;
      if ((flags & kTableFlag) != 0 && !cursor.Skip(3u * (2u << (flags & 7)))) break;
      const auto fill = SkipFrameData(cursor, {field[0], field[1], field[2], field[3]}, screen);
      if (!fill) break;
      largest = std::max(largest, *fill);
    }
  }
  return largest;
}

// Picture rows in the order the frame stores them.
std::vector<int> RowOrder(int rows, bool interlaced) {
  std::vector<int> order;
  order.reserve(static_cast<std::size_t>(rows));
  if (!interlaced) {
    for (int y = 0; y < rows; ++y) order.push_back(y);
    return order;
  }
  constexpr int kPassStart[4] = {0, 4, 2, 1};
  constexpr int kPassStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kPassStart[pass]; y < rows; y += kPassStep[pass]) order.push_back(y);
  }
  return order;
}

}  // namespace

// The walk over the block structure. Graphic control blocks apply to the
// frames after them until the next one: a frame takes the delay and the
// transparent index of the last graphic control before it.
class GifFrameReader::Walker {
 public:
  Walker(std::span<const std::uint8_t> data, GifInfo& info, const ReadLimits& limits, sys::Context& ctx)
      : cursor_(data.data(), std::min<std::size_t>(data.size(), info.DataSize)),
        info_(info),
        limits_(limits),
        ctx_(ctx) {}

  bool ReadScreen();
  Step Next(GifFrame& frame, Mode mode);
  sys::Code Failure() const { return failure_; }

 private:
  bool ReadExtension();
  bool ReadGraphicControl();
  bool ReadFrame(GifFrame& frame, Mode mode);
  bool DecodeFrame(GifFrame& frame, Mode mode);
  // Whether some frame can fill enough of the canvas to make one for the
  // frame whose image data the cursor is at; records why not.
  bool CanvasIsPlausible(const FrameRect& rect);
  bool BuildCanvas(GifFrame& frame);
  bool DecodePixels(GifFrame& frame, int minCodeSize);
  bool PostProcess(GifFrame& frame);
  // Records why the walk ends; the first reason counts.
  bool Fail(sys::Code code, const std::string& text);
  bool FailQuietly(sys::Code code) { return Fail(code, QuietFailureText()); }
  bool Failed(sys::Code code) {  // the reason is recorded already (the allocator's)
    if (failure_ == sys::Code::kOk) failure_ = code;
    return false;
  }
  std::string QuietFailureText() const;

  GifCursor cursor_;
  GifInfo& info_;
  const ReadLimits limits_;  // a copy: a caller may hand over a temporary
  sys::Context& ctx_;
  std::vector<std::uint8_t> globalTable_;
  bool hasGlobalTable_ = false;
  bool screenRead_ = false;
  std::uint32_t frameCounter_ = 0;
  std::uint32_t runningDelay_ = 0;
  std::uint32_t delay_ = 0;   // of the last graphic control
  int transIndex_ = -1;       // of the last graphic control that had one
  std::uint64_t largestFill_ = 0;  // the most a frame read so far can fill
  std::optional<std::uint64_t> largestFillAhead_;  // of the frames after the first one looked at
  sys::Code failure_ = sys::Code::kOk;
  bool ended_ = false;
};

std::string GifFrameReader::Walker::QuietFailureText() const {
  if (info_.XSize <= limits_.maxWidth && info_.YSize <= limits_.maxHeight) return kReadFailure;
  char text[160];
  std::snprintf(text, sizeof text, "Illegal image size (%u x %u): GIF images may be at most %lld x %lld pixels",
                static_cast<unsigned>(info_.XSize), static_cast<unsigned>(info_.YSize),
                static_cast<long long>(std::min<std::int64_t>(limits_.maxWidth, 0xFFFF)),
                static_cast<long long>(std::min<std::int64_t>(limits_.maxHeight, 0xFFFF)));
  return text;
}

bool GifFrameReader::Walker::Fail(sys::Code code, const std::string& text) {
  if (failure_ != sys::Code::kOk) return false;
  failure_ = code;
  ctx_.Fail(code, text);
  return false;
}

bool GifFrameReader::Walker::ReadScreen() {
  screenRead_ = true;
  const std::uint8_t* header = nullptr;
  if (!cursor_.Take(6, header)) return FailQuietly(sys::Code::kTruncated);
  if (std::memcmp(header, "GIF8", 4) != 0 || (header[4] != '7' && header[4] != '9') || header[5] != 'a') {
    return FailQuietly(sys::Code::kNotRecognised);
  }
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t flags = 0;
  if (!cursor_.ReadU16(width) || !cursor_.ReadU16(height) || !cursor_.ReadByte(flags) || !cursor_.Skip(2)) {
    return FailQuietly(sys::Code::kTruncated);
  }
  info_.XSize = width;
  info_.YSize = height;
  info_.ScreenFlags = flags;
  info_.NumGlobalColors = static_cast<std::uint16_t>(2 << (flags & 7));
  if (width > limits_.maxWidth || height > limits_.maxHeight) {
    FailQuietly(sys::Code::kLimit);
    ctx_.SetLastCause(SizeLimitCause(width, height, limits_));
    return false;
  }
  hasGlobalTable_ = (flags & kTableFlag) != 0;
  if (hasGlobalTable_) {
    const std::uint8_t* table = nullptr;
    if (!cursor_.Take(3u * info_.NumGlobalColors, table)) return FailQuietly(sys::Code::kTruncated);
    globalTable_.assign(table, table + 3u * info_.NumGlobalColors);
  }
  return true;
}

GifFrameReader::Step GifFrameReader::Walker::Next(GifFrame& frame, Mode mode) {
  if (failure_ != sys::Code::kOk || !screenRead_) return Step::kFailed;
  if (ended_) return Step::kEnd;
  if (mode != Mode::kSkip) frame.pBitmap.reset();
  while (true) {
    std::uint8_t byte = 0;
    if (!cursor_.ReadByte(byte)) {
      FailQuietly(sys::Code::kTruncated);
      return Step::kFailed;
    }
    if (byte == kExtensionIntroducer) {
      if (!ReadExtension()) return Step::kFailed;
    } else if (byte == kImageSeparator) {
      if (!ReadFrame(frame, mode)) return Step::kFailed;
      return Step::kFrame;
    } else if (byte == kTrailer) {
      info_.NumFrames = frameCounter_;
      info_.TotalDelay = runningDelay_;
      ended_ = true;
      return Step::kEnd;
    }
    // Any other byte between blocks is skipped.
  }
}

bool GifFrameReader::Walker::ReadExtension() {
  std::uint8_t label = 0;
  if (!cursor_.ReadByte(label)) return FailQuietly(sys::Code::kTruncated);
  switch (label) {
    case kGraphicControlLabel:
      return ReadGraphicControl();
    default:
      // Plain text, comments, application data and any label GIF89a does not
      // define: decoders skip what they do not know.
      return cursor_.SkipSubBlocks() || FailQuietly(sys::Code::kTruncated);
  }
}

bool GifFrameReader::Walker::ReadGraphicControl() {
  std::uint8_t length = 0;
  const std::uint8_t* block = nullptr;
  if (!cursor_.ReadByte(length)) return FailQuietly(sys::Code::kTruncated);
  if (length != 4) return FailQuietly(sys::Code::kCorrupt);
  if (!cursor_.Take(4, block)) return FailQuietly(sys::Code::kTruncated);
  const unsigned stored = block[1] | (block[2] << 8);
  // Hundredths of a second to ms as a 16-bit quantity; 0 plays as 100 ms.
  delay_ = stored == 0 ? 100 : ((10 * stored) & 0xFFFF);
  runningDelay_ += delay_;
  if ((block[0] & 1) != 0) transIndex_ = block[3];
  return cursor_.Skip(1) || FailQuietly(sys::Code::kTruncated);  // the block terminator
}

bool GifFrameReader::Walker::ReadFrame(GifFrame& frame, Mode mode) {
  if (frameCounter_ >= limits_.maxFrames) {
    char text[120];
    std::snprintf(text, sizeof text, "Too many frames: GIF animations may have at most %u frames",
                  static_cast<unsigned>(limits_.maxFrames));
    return Fail(sys::Code::kLimit, text);
  }
  std::uint16_t left = 0;
  std::uint16_t top = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t flags = 0;
  if (!cursor_.ReadU16(left) || !cursor_.ReadU16(top) || !cursor_.ReadU16(width) || !cursor_.ReadU16(height) ||
      !cursor_.ReadByte(flags)) {
    return FailQuietly(sys::Code::kTruncated);
  }
  const int localColors = (flags & kTableFlag) != 0 ? 2 << (flags & 7) : 0;
  frame.XPos = left;
  frame.YPos = top;
  frame.XSize = width;
  frame.YSize = height;
  frame.ImageFlags = flags;
  frame.NumColors = static_cast<std::uint16_t>(localColors);
  frame.Delay = delay_;
  frame.TransIndex = static_cast<std::int16_t>(transIndex_);
  bool ok = false;
  if (mode == Mode::kSkip) {
    ok = cursor_.Skip(3u * static_cast<unsigned>(localColors));
    const auto fill = ok ? SkipFrameData(cursor_, {left, top, width, height}, info_) : std::nullopt;
    ok = fill.has_value();
    if (ok) largestFill_ = std::max(largestFill_, *fill);
  } else {
    ok = DecodeFrame(frame, mode);
  }
  ++frameCounter_;
  if (!ok) return failure_ != sys::Code::kOk ? false : FailQuietly(sys::Code::kTruncated);
  return true;
}

bool GifFrameReader::Walker::DecodeFrame(GifFrame& frame, Mode mode) {
  const int frameNumber = static_cast<int>(frameCounter_);
  if ((frame.ImageFlags & kTableFlag) != 0) {
    frame.LocalTableFrame = frameNumber;
    const std::uint8_t* table = nullptr;
    if (!cursor_.Take(3u * frame.NumColors, table)) return FailQuietly(sys::Code::kTruncated);
    frame.ColorTable.assign(table, table + 3u * frame.NumColors);
  } else {
    frame.LocalTableFrame = -1;
    if (hasGlobalTable_) {
      frame.NumColors = info_.NumGlobalColors;
      frame.ColorTable = globalTable_;
    } else {
      // No table anywhere: the frame is read as black and white.
      frame.NumColors = 2;
      frame.ColorTable.clear();
    }
    if (info_.FirstGlobalFrame == -1) info_.FirstGlobalFrame = frameNumber;
  }
  // An index outside the table has no entry to make transparent.
  if (frame.TransIndex >= frame.NumColors) frame.TransIndex = -1;
  if (!CanvasIsPlausible({frame.XPos, frame.YPos, frame.XSize, frame.YSize})) return false;
  if (!BuildCanvas(frame)) return Failed(sys::Code::kOutOfMemory);
  std::uint8_t minCodeSize = 0;
  if (!cursor_.ReadByte(minCodeSize) || !DecodePixels(frame, minCodeSize)) {
    frame.pBitmap.reset();
    return Fail(sys::Code::kCorrupt, kReadFailure);
  }
  if (mode == Mode::kRaw) return true;
  // Indices past the table are drawn black, as browsers draw them.
  if (!RepairStrayIndices(*frame.pBitmap, ctx_, frameNumber)) {
    frame.pBitmap.reset();
    return Failed(sys::Code::kOutOfMemory);
  }
  return PostProcess(frame);
}

bool GifFrameReader::Walker::CanvasIsPlausible(const FrameRect& rect) {
  const std::uint64_t canvas = std::uint64_t{info_.XSize} * info_.YSize;
  if (canvas <= kAlwaysPlausiblePixels) return true;
  GifCursor ahead = cursor_;
  const auto fill = SkipFrameData(ahead, rect, info_);
  largestFill_ = std::max(largestFill_, fill.value_or(0));
  if (canvas <= kMaxCanvasPerFilled * largestFill_) return true;
  // Only a file whose frames so far fill little is looked through, once.
  if (!largestFillAhead_) largestFillAhead_ = fill ? LargestFillAhead(ahead, info_) : 0;
  if (canvas <= kMaxCanvasPerFilled * std::max(largestFill_, *largestFillAhead_)) return true;
  char text[200];
  std::snprintf(text, sizeof text, "Illegal image size (%u x %u): no frame of this GIF can fill more than %llu of its pixels",
                static_cast<unsigned>(info_.XSize), static_cast<unsigned>(info_.YSize),
                static_cast<unsigned long long>(std::max(largestFill_, *largestFillAhead_)));
  return Fail(sys::Code::kCorrupt, text);
}

// The logical screen's size with the frame's palette, index 0 or the
// transparent index everywhere.
bool GifFrameReader::Walker::BuildCanvas(GifFrame& frame) {
  frame.pBitmap = CreateReadImage(info_.XSize, info_.YSize, frame.NumColors, limits_, ctx_);
  if (!frame.pBitmap || !Bitmap_SetNumColors(*frame.pBitmap, frame.NumColors, ctx_)) {
    frame.pBitmap.reset();
    return false;
  }
  Bitmap& canvas = *frame.pBitmap;
  const bool hasTable = !frame.ColorTable.empty();
  for (int i = 0; i < frame.NumColors; ++i) {
    Color color = i == 0 ? 0x000000 : 0xFFFFFF;
    if (hasTable) {
      const std::uint8_t* rgb = frame.ColorTable.data() + 3 * i;
      color = rgb[0] | (rgb[1] << 8) | (static_cast<Color>(rgb[2]) << 16);
    }
    Bitmap_SetPalColor(canvas, i, color);
  }
  if (frame.TransIndex >= 0) Bitmap_SetPalColor(canvas, frame.TransIndex, kTransparentEntry);
  if (frame.TransIndex >= 0 && canvas.XSize > 0) {
    for (int y = 0; y < canvas.YSize; ++y) {
      std::memset(canvas.Row(y), frame.TransIndex, static_cast<std::size_t>(canvas.XSize));
    }
  }
  return true;
}

// Rows that land below the canvas are not decoded: nothing of them can show.
bool GifFrameReader::Walker::DecodePixels(GifFrame& frame, int minCodeSize) {
  Bitmap& canvas = *frame.pBitmap;
  const int frameWidth = frame.XSize;
  LzwDecoder decoder(cursor_, minCodeSize);
  // Whatever the rows took, the walk goes on after the frame's last sub-block.
  // Data that ends early leaves the rest of the canvas as it is, and the walk
  // ends at the next read.
  struct SkipAtEnd {
    LzwDecoder& decoder;
    GifCursor& cursor;
    ~SkipAtEnd() {
      if (!decoder.SkipRest()) cursor.SkipToEnd();
    }
  } skipAtEnd{decoder, cursor_};
  if (frameWidth == 0) return true;
  const std::vector<int> order = RowOrder(frame.YSize, (frame.ImageFlags & kInterlaceFlag) != 0);
  std::size_t rowsToDecode = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (frame.YPos + order[i] < canvas.YSize) rowsToDecode = i + 1;
  }
  const bool inPlace = frame.XPos + frameWidth <= canvas.XSize;
  const int visibleWidth = std::clamp(canvas.XSize - frame.XPos, 0, frameWidth);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(frameWidth));
  for (std::size_t i = 0; i < rowsToDecode; ++i) {
    const int y = frame.YPos + order[i];
    const bool rowVisible = y < canvas.YSize;
    std::uint8_t* row = inPlace && rowVisible ? canvas.Row(y) + frame.XPos : scratch.data();
    const int count = decoder.Read(row, frameWidth);
    if (count < 0) return false;
    if (row == scratch.data() && rowVisible && visibleWidth > 0) {
      std::memcpy(canvas.Row(y) + frame.XPos, row, static_cast<std::size_t>(std::min(count, visibleWidth)));
    }
    if (count < frameWidth) break;  // the rest keeps the canvas value
  }
  return true;
}

// Single pictures and frames with their own table get a palette of the
// colours they use; the transparent entry, if any, ends up at index 0.
bool GifFrameReader::Walker::PostProcess(GifFrame& frame) {
  const bool convert = info_.NumFrames == 1 || frame.LocalTableFrame != -1;
  if (convert) {
    // Frames are palette images, which the palette conversions map entry by
    // entry; the output options change nothing there.
    const OutputOptions options;
    const bool keepsTransparency = info_.NumFrames != 1 || frame.TransIndex >= 0;
    BitmapPtr result;
    if (keepsTransparency) {
      frame.pBitmap->HasAlpha = 1;
      result = ConvertToBestPaletteTrans(*frame.pBitmap, kTransColor, options, ctx_);
    } else {
      result = ConvertToBestPalette(*frame.pBitmap, options, ctx_);
    }
    if (!result) {
      frame.pBitmap.reset();
      return Fail(sys::Code::kOutOfMemory, kReadFailure);
    }
    frame.pBitmap = std::move(result);
  }
  if (frame.TransIndex >= 0) {
    Bitmap& bitmap = *frame.pBitmap;
    frame.NumColors = static_cast<std::uint16_t>(bitmap.NumColors);
    for (int i = 0; i < bitmap.NumColors; ++i) {
      if (Bitmap_GetPalColor(bitmap, i) == kTransparentEntry) {
        SetTransIndex(bitmap, i);
        break;
      }
    }
  }
  return true;
}

GifFrameReader::GifFrameReader(std::span<const std::uint8_t> data, GifInfo& info, const ReadLimits& limits,
                               sys::Context& ctx)
    : walker_(std::make_unique<Walker>(data, info, limits, ctx)) {}

GifFrameReader::~GifFrameReader() = default;

bool GifFrameReader::ReadScreen() { return walker_->ReadScreen(); }

GifFrameReader::Step GifFrameReader::Next(GifFrame& frame, Mode mode) { return walker_->Next(frame, mode); }

sys::Code GifFrameReader::Failure() const { return walker_->Failure(); }

namespace {

// Walks to frame frameNumber and reads it in mode.
int ReadFrameNumber(std::span<const std::uint8_t> data, GifInfo& info, GifFrame& frame, int frameNumber,
                    GifFrameReader::Mode mode, sys::Context& ctx, const ReadLimits& limits) {
  frame.pBitmap.reset();
  GifFrameReader reader(data, info, limits, ctx);
  if (!reader.ReadScreen()) return 1;
  // A record used before must not keep another file's table.
  frame.ColorTable.clear();
  GifFrame skipped;
  for (int i = 0; i < frameNumber; ++i) {
    if (reader.Next(skipped, GifFrameReader::Mode::kSkip) != GifFrameReader::Step::kFrame) {
      if (reader.Failure() == sys::Code::kOk) ctx.Fail(sys::Code::kCorrupt, kReadFailure);
      return 1;
    }
  }
  const GifFrameReader::Step step = reader.Next(frame, mode);
  if (step == GifFrameReader::Step::kEnd) {
    // Reaching the end without the requested frame is no success.
    ctx.Fail(sys::Code::kCorrupt, kReadFailure);
    return 1;
  }
  return step == GifFrameReader::Step::kFrame ? 0 : 1;
}

}  // namespace

int ParseGifFrameRaw(std::span<const std::uint8_t> data, GifInfo& info, GifFrame& frame, int frameNumber,
                     sys::Context& ctx, const ReadLimits& limits) {
  return ReadFrameNumber(data, info, frame, frameNumber, GifFrameReader::Mode::kRaw, ctx, limits);
}

int ParseGif(std::span<const std::uint8_t> data, GifInfo& info, GifFrame* frame, int frameNumber, sys::Context& ctx,
             const ReadLimits& limits) {
  if (frame != nullptr) {
    return ReadFrameNumber(data, info, *frame, frameNumber, GifFrameReader::Mode::kDecode, ctx, limits);
  }
  GifFrameReader reader(data, info, limits, ctx);
  if (!reader.ReadScreen()) return 1;
  GifFrame record;
  for (;;) {
    switch (reader.Next(record, GifFrameReader::Mode::kSkip)) {
      case GifFrameReader::Step::kFrame: break;
      case GifFrameReader::Step::kEnd: return 0;
      case GifFrameReader::Step::kFailed: return 1;
    }
  }
}

ReadResult ReadGifFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx) {
  if (file.size() > options.limits.maxFileBytes) return ReadResult::Failure(ctx, sys::Code::kLimit, "File too long");
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(file.size(), UINT32_MAX));
  info.NumFrames = 1;
  info.FirstGlobalFrame = -1;
  GifFrame frame;
  if (ParseGif(file, info, &frame, 0, ctx, options.limits) != 0) return ReadResult::Recorded(ctx);
  return ReadResult::Of(std::move(frame.pBitmap));
}

}  // namespace rastra

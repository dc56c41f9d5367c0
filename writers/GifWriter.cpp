#include "writers/GifWriter.h"

#include <algorithm>
#include <array>
#include <utility>

#include "image/ColorConvert.h"
#include "image/ImageOps.h"
#include "writers/WriterSupport.h"

namespace rastra {

GifLzwEncoder::GifLzwEncoder(int minCodeSize, GifByteSink sink)
    : minCodeSize_(minCodeSize),
      clearCode_(1 << minCodeSize),
      endCode_((1 << minCodeSize) + 1),
      indexMask_(static_cast<std::uint8_t>((1 << minCodeSize) - 1)),
      sink_(std::move(sink)) {}

void GifLzwEncoder::ClearTable() {
  for (Slot& slot : slots_) slot.code = -1;
  nextCode_ = clearCode_ + 2;
  width_ = minCodeSize_ + 1;
}

// Open addressing with a step that depends on the hash, so strings that
// collide on their first slot part ways at once.
int GifLzwEncoder::Lookup(int prefix, int index) const {
  int h = (index << 4) ^ prefix;
  const int step = h == 0 ? 1 : kHashSlots - h;
  while (slots_[h].code != -1) {
    if (slots_[h].prefix == prefix && slots_[h].index == index) break;
    h -= step;
    if (h < 0) h += kHashSlots;
  }
  return h;
}

void GifLzwEncoder::WriteSubBlock() {
  const std::size_t count = block_[0];
  if (count == 0) return;
  if (!failed_ && !sink_(block_.data(), count + 1)) failed_ = true;
  block_[0] = 0;
}

void GifLzwEncoder::PutByte(std::uint8_t byte) {
  block_[++block_[0]] = byte;
  if (block_[0] == 255) WriteSubBlock();
}

void GifLzwEncoder::PutCode(int code) {
  bitBuffer_ |= static_cast<std::uint32_t>(code) << bitCount_;
  bitCount_ += width_;
  while (bitCount_ >= 8) {
    PutByte(static_cast<std::uint8_t>(bitBuffer_));
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  }
}

bool GifLzwEncoder::Begin() {
  const auto size = static_cast<std::uint8_t>(minCodeSize_);
  failed_ = !sink_(&size, 1);
  block_[0] = 0;
  bitBuffer_ = 0;
  bitCount_ = 0;
  prefix_ = -1;
  ClearTable();
  PutCode(clearCode_);
  return !failed_;
}

bool GifLzwEncoder::Add(const std::uint8_t* indices, std::size_t count) {
  std::size_t i = 0;
  if (prefix_ < 0 && count != 0) prefix_ = indices[i++] & indexMask_;
  for (; i < count; ++i) {
    const int c = indices[i] & indexMask_;
    const int h = Lookup(prefix_, c);
    if (slots_[h].code != -1) {
      prefix_ = slots_[h].code;
      continue;
    }
    if (nextCode_ <= (1 << width_)) {
      slots_[h].code = static_cast<std::int16_t>(nextCode_++);
      slots_[h].prefix = static_cast<std::uint16_t>(prefix_);
      slots_[h].index = static_cast<std::uint8_t>(c);
    }
    PutCode(prefix_);
    prefix_ = c;
    if (nextCode_ > (1 << width_)) {
      if (width_ < kMaxCodeWidth) {
        ++width_;
      } else {
        PutCode(clearCode_);
        ClearTable();
      }
    }
  }
  return !failed_;
}

bool GifLzwEncoder::Finish() {
  if (prefix_ >= 0) {
    PutCode(prefix_);
    // A decoder adds one more table entry when it reads that last code; when
    // the entry reaches its code limit it reads the end code one bit wider,
    // so the end code is sent at that width too.
    if (nextCode_ == (1 << width_) && width_ < kMaxCodeWidth) ++width_;
  }
  PutCode(endCode_);
  if (bitCount_ > 0) PutByte(static_cast<std::uint8_t>(bitBuffer_));
  bitBuffer_ = 0;
  bitCount_ = 0;
  WriteSubBlock();
  return !failed_;
}

bool GifLzwEncoder::EncodeImage(const Bitmap& image) {
  if (!Begin()) return false;
  for (int y = 0; y < image.YSize; ++y) {
    if (!Add(image.Row(y), static_cast<std::size_t>(image.XSize))) return false;
  }
  return Finish();
}

namespace {

constexpr int kMaxGifSide = 0xFFFF;

// Header pieces go to the file one value at a time; the first failure sticks.
class GifFileOutput {
 public:
  explicit GifFileOutput(sys::ByteSink& file) : file_(file) {}
  void Put8(std::uint32_t value) {
    const auto byte = static_cast<std::uint8_t>(value);
    if (ok_) ok_ = file_.Write(&byte, 1);
  }
  void Put16(std::uint32_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    if (ok_) ok_ = file_.Write(bytes, 2);
  }
  bool Put(const std::uint8_t* bytes, std::size_t count) {
    if (ok_) ok_ = file_.Write(bytes, count);
    return ok_;
  }
  bool Ok() const { return ok_; }

 private:
  sys::ByteSink& file_;
  bool ok_ = true;
};

// s of the packed byte: the table has 2^(s + 1) entries, the fewest that hold
// every colour.
int TableSizeBits(int numColors) {
  int s = 0;
  while ((2 << s) < numColors) ++s;
  return s;
}

int MinCodeSize(int numColors, int s) { return numColors > 2 ? s + 1 : 2; }

void WriteScreenAndTable(GifFileOutput& out, const Bitmap& image, int s) {
  for (const char c : {'G', 'I', 'F', '8', '9', 'a'}) out.Put8(static_cast<std::uint8_t>(c));
  out.Put16(static_cast<std::uint32_t>(image.XSize));
  out.Put16(static_cast<std::uint32_t>(image.YSize));
  out.Put8(0x80u | (static_cast<unsigned>(s) << 4) | static_cast<unsigned>(s));
  out.Put8(0);  // background colour index
  out.Put8(0);  // pixel aspect ratio
  const int tableSize = 2 << s;
  for (int i = 0; i < tableSize; ++i) {
    const Color c = i < image.NumColors ? Bitmap_GetPalColor(image, i) : 0xFFFFFF;
    out.Put8(c & 0xFF);
    out.Put8((c >> 8) & 0xFF);
    out.Put8((c >> 16) & 0xFF);
  }
}

void WriteTransparency(GifFileOutput& out) {
  for (const std::uint8_t b : {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00}) out.Put8(b);
}

void WriteImageDescriptor(GifFileOutput& out, const Bitmap& image) {
  out.Put8(0x2C);
  out.Put16(0);
  out.Put16(0);
  out.Put16(static_cast<std::uint32_t>(image.XSize));
  out.Put16(static_cast<std::uint32_t>(image.YSize));
  out.Put8(0);
}

// The transparent pixels of a palette image are those of its entry 0
// (HasTrans). The best palette maps colours, not pixels, so they end up in the
// entry of that colour (the first, when the conversion merged nothing); that
// entry becomes the transparent one. Opaque pixels of the same colour must
// not turn transparent with them: then the transparent pixels get an entry of
// their own. False when memory ran out for it.
bool CarryTransparentEntry(const Bitmap& source, Bitmap& image, sys::Context& ctx) {
  const Color transparent = Bitmap_GetPalColor(source, 0) & 0xFFFFFF;
  int k = 0;
  while (k < image.NumColors && (Bitmap_GetPalColor(image, k) & 0xFFFFFF) != transparent) ++k;
  if (k == image.NumColors) return true;  // no pixel shows it: nothing to make transparent
  std::array<bool, 256> sameColor{};  // entries past the palette read as black
  for (int i = 1; i < 256; ++i) sameColor[i] = (Bitmap_GetPalColor(source, i) & 0xFFFFFF) == transparent;
  bool shared = false;
  for (int y = 0; y < source.YSize && !shared; ++y) {
    const std::uint8_t* row = source.Row(y);
    shared = std::any_of(row, row + source.XSize, [&](std::uint8_t v) { return sameColor[v]; });
  }
  if (shared) {
    if (!Bitmap_AppendPalColor(image, transparent, ctx)) return false;
    k = image.NumColors - 1;
    for (int y = 0; y < source.YSize; ++y) {
      const std::uint8_t* in = source.Row(y);
      std::uint8_t* out = image.Row(y);
      for (int x = 0; x < source.XSize; ++x) {
        if (in[x] == 0) out[x] = static_cast<std::uint8_t>(k);
      }
    }
  }
  SetTransIndex(image, k);
  return true;
}

// A true-colour image with per-pixel transparency: GIF has none in between,
// so pixels that are fully transparent (alpha 0) become the transparent entry
// and all others stay opaque. The entry takes the colour of the first of them.
bool FirstTransparentColor(const Bitmap& bitmap, Color& color) {
  if (bitmap.NumColors != 0 || bitmap.HasAlpha == 0) return false;
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.XSize; ++x) {
      if (row[4 * x + 3] == 255) {
        color = Bitmap_LoadColor(row + 4 * x) & 0xFFFFFF;
        return true;
      }
    }
  }
  return false;
}

// The palette image the file is written from: the best palette of at most 256
// colours, with the picture's transparency carried over. Null after ctx
// recorded why.
BitmapPtr GifImageOf(const Bitmap& bitmap, const OutputOptions& options, sys::Context& ctx) {
  Color transparent = 0;
  if (FirstTransparentColor(bitmap, transparent)) {
    // A copy (without the transparent-entry flag) is converted: the
    // transparency is read from the pixels' colours here.
    const BitmapPtr copy = Bitmap_Copy(bitmap, ctx);
    return copy ? ConvertToBestPaletteTrans(*copy, transparent, options, ctx) : nullptr;
  }
  BitmapPtr image = ConvertToBestPalette(bitmap, options, ctx);
  // A true-colour image whose HasTrans says that transparent pixels were
  // replaced by the colour of index 0 has no such entry to read, so it
  // carries no transparency into the file.
  if (image && bitmap.NumColors != 0 && bitmap.HasTrans != 0 && !CarryTransparentEntry(bitmap, *image, ctx)) {
    return nullptr;
  }
  return image;
}

sys::Code ReportGifError(sys::Context& ctx, const char* reason, sys::Code code = sys::Code::kIo) {
  return writer_support::ReportWriteError(ctx, "GIF", reason, code);
}

}  // namespace

sys::Code WriteGifFile(const Bitmap* bitmap, sys::ByteSink& sink, BitmapPtr& written, const OutputOptions& options,
                       sys::Context& ctx) {
  written.reset();
  if (bitmap == nullptr) return ReportGifError(ctx, "No image", sys::Code::kNoImage);
  if (!writer_support::IsConsistent(*bitmap)) return ReportGifError(ctx, "Invalid image data", sys::Code::kInternal);
  written = GifImageOf(*bitmap, options, ctx);
  if (!written) {
    // A picture without pixels has no colours to make a palette of.
    const bool empty = bitmap->XSize == 0 || bitmap->YSize == 0;
    return ReportGifError(ctx, "The image could not be converted",
                          empty ? sys::Code::kNoImage : sys::Code::kOutOfMemory);
  }
  Bitmap& image = *written;
  if (image.XSize > kMaxGifSide || image.YSize > kMaxGifSide) {
    return ReportGifError(ctx, "Image too large", sys::Code::kLimit);
  }
  const int s = TableSizeBits(image.NumColors);
  GifFileOutput out(sink);
  WriteScreenAndTable(out, image, s);
  if (image.HasTrans != 0) WriteTransparency(out);
  WriteImageDescriptor(out, image);
  if (out.Ok()) {
    GifLzwEncoder encoder(MinCodeSize(image.NumColors, s),
                          [&out](const std::uint8_t* bytes, std::size_t count) { return out.Put(bytes, count); });
    encoder.EncodeImage(image);
  }
  out.Put8(0x00);
  out.Put8(0x3B);
  if (!out.Ok()) return ReportGifError(ctx, "Not all data could be written");
  return sys::Code::kOk;
}

}  // namespace rastra

#include "readers/PngReader.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "image/ImageOps.h"
#include "readers/ExifOrientation.h"
#include "sys/Memory.h"

namespace rastra {

namespace {

constexpr std::size_t kMinFileSize = 14;
constexpr std::size_t kSignatureSize = 8;
constexpr double kScreenGamma = 2.2;

// libpng's I/O pointer: the whole file in memory.
struct MemorySource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  bool overrun = false;  // libpng asked for bytes past the end
};

// How far the rows got, for saying where the data ended.
struct RowProgress {
  png_uint_32 row = 0;
  int pass = 0;
  int passes = 1;
};

// What the header read leaves for the caller.
struct PngLayout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::uint64_t storedPixelBits = 0;  // width x height x bits per pixel as stored in the file
  int channels = 0;
  png_size_t rowBytes = 0;
  bool transparent = false;
  bool applyGamma = true;     // in: the file's gamma is applied (ReadOptions::applyGamma)
  bool roundSixteenBit = false;  // in: ReadOptions::roundSixteenBit
  bool badSignature = false;  // the data does not start as PNG does
};

// The functions below run between libpng's setjmp and its longjmp: they hold
// no object with a destructor, and they read no local changed after setjmp.

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (count > source->size - source->pos) {
    source->overrun = true;
    png_error(png, "Read past the end of the file");
  }
  std::memcpy(out, source->data + source->pos, count);
  source->pos += count;
}

// libpng's error pointer is the read's context.
void OnPngError(png_structp png, png_const_charp message) {
  char text[200];
  std::snprintf(text, sizeof text, "libpng error: %s", message);
  static_cast<sys::Context*>(png_get_error_ptr(png))->Fail(sys::Code::kCorrupt, text);
  png_longjmp(png, 1);
}

// A warning is libpng leaving out or repairing something of the file ("gAMA:
// gamma value out of range"): a report about the file like any other, never
// a line of its own on standard error.
void OnPngWarning(png_structp png, png_const_charp message) {
  static_cast<sys::Context*>(png_get_error_ptr(png))->Warn(sys::Code::kCorrupt,
                                                            std::string("libpng warning: ") + message);
}

void SetTransformations(png_structp png, png_infop info, int bitDepth, int colorType, bool transparent,
                        bool applyGamma, bool roundSixteenBit) {
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (bitDepth == 16 && roundSixteenBit) png_set_scale_16(png);
  if (bitDepth == 16 && !roundSixteenBit) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
  if (bitDepth < 8) png_set_expand(png);
  if (hasTrns) png_set_expand(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_color_16p background = nullptr;
  if (png_get_bKGD(png, info, &background) != 0 && !transparent) {
    png_set_background(png, background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
  }
  double fileGamma = 0;
  if (applyGamma && png_get_gAMA(png, info, &fileGamma) != 0) png_set_gamma(png, kScreenGamma, fileGamma);
  // Rows arrive as the Bitmap stores them: blue, green, red and T = 255 - alpha,
  // or T = 0 where there is no alpha. These steps run after all the others.
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_invert_alpha(png);
  // Older libpng turned this on inside png_read_image; 1.6 wants it before the
  // info update and warns otherwise.
  png_set_interlace_handling(png);
}

// Signature, header and transformations. False after a libpng error or when
// the signature is not PNG's.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;
constexpr png_byte kSkippedChunks[] = {'s', 'P', 'L', 'T', '\0', 't', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0',
                                       'i', 'T', 'X', 't', '\0', 'p', 'C', 'A', 'L', '\0', 's', 'C', 'A', 'L', '\0',
                                       'e', 'X', 'I', 'f', '\0'};
constexpr int kSkippedChunkCount = sizeof(kSkippedChunks) / 5;

bool ReadHeader(png_structp png, png_infop info, MemorySource* source, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, source, ReadFromMemory);
  // A chunk may claim up to 2 GiB, and libpng only warns about a length
  // beyond the limit before allocating it for the chunks that hold text or
  // lists. None of them changes the picture, so they are skipped unread.
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
  png_byte signature[kSignatureSize];
  ReadFromMemory(png, signature, kSignatureSize);
  if (png_sig_cmp(signature, 0, kSignatureSize) != 0) {
    layout->badSignature = true;
    return false;
  }
  png_set_sig_bytes(png, kSignatureSize);
  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  layout->storedPixelBits = static_cast<std::uint64_t>(width) * height * png_get_channels(png, info) * bitDepth;
  layout->transparent = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  SetTransformations(png, info, bitDepth, colorType, layout->transparent, layout->applyGamma,
                     layout->roundSixteenBit);
  png_read_update_info(png, info);
  png_get_IHDR(png, info, &layout->width, &layout->height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  layout->rowBytes = png_get_rowbytes(png, info);
  layout->channels = png_get_channels(png, info);
  return true;
}

// png_read_image's loop, row by row, so that progress knows where the data
// ended.
bool ReadRows(png_structp png, png_bytepp rows, png_uint_32 height, RowProgress* progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < progress->passes; ++pass) {
    progress->pass = pass;
    for (png_uint_32 y = 0; y < height; ++y) {
      progress->row = y;
      png_read_row(png, rows[y], nullptr);
    }
  }
  return true;
}

std::string TruncationCause(const RowProgress& progress, png_uint_32 height) {
  std::string cause = "the data ends in row " + std::to_string(progress.row + 1) + " of " + std::to_string(height);
  if (progress.passes > 1) {
    cause += " of interlace pass " + std::to_string(progress.pass + 1) + " of " + std::to_string(progress.passes);
  }
  return cause;
}

// libpng's own words, without the prefix and line end the report adds.
std::string LibpngCause(const sys::Context& ctx) {
  std::string text = ctx.LastFailureText();
  const std::string prefix = "libpng error: ";
  if (text.starts_with(prefix)) text.erase(0, prefix.size());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void RaiseOutOfMemory(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return;
  png_error(png, "Out of memory");
}

// ---------------------------------------------------------------------------

// libpng's own blocks are rows, tables and chunk data, never the picture:
// anything larger comes from a length field nobody checked, and is refused
// ("Out of memory") instead of taken.
constexpr png_alloc_size_t kMaxLibpngBlock = png_alloc_size_t{64} << 20;

png_voidp LimitedMalloc(png_structp /*png*/, png_alloc_size_t size) {
  return size <= kMaxLibpngBlock ? std::malloc(size) : nullptr;  // NOLINT(cppcoreguidelines-no-malloc): libpng frees it
}

void LimitedFree(png_structp /*png*/, png_voidp block) { std::free(block); }  // NOLINT(cppcoreguidelines-no-malloc)

// One read and info structure per decode, released on every path.
class PngReadStruct {
 public:
  explicit PngReadStruct(sys::Context& ctx) {
    png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &ctx, OnPngError, OnPngWarning, nullptr, LimitedMalloc,
                                    LimitedFree);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
  }
  ~PngReadStruct() {
    if (png_ != nullptr) png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
  }
  PngReadStruct(const PngReadStruct&) = delete;
  PngReadStruct& operator=(const PngReadStruct&) = delete;

  bool Valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Deflate packs at most 258 bytes into two bits, so n bytes of image data
// (the IDAT chunks; text and other chunks hold no pixels) give no more than
// about 1032 n bytes of pixel data. A header claiming more describes no
// picture this file can hold; refusing it before allocating keeps a few bytes
// from claiming gigabytes, however much padding surrounds them.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kInflateSlackBytes = 1024;

std::uint32_t GetU32BE(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The bytes of the IDAT chunks, as far as the file holds them, and whether
// the file ends inside a chunk. The walk stops at a chunk that runs past the
// end; libpng fails there anyway.
struct ImageData {
  std::uint64_t bytes = 0;
  bool cut = false;
};

ImageData ImageDataOf(std::span<const std::uint8_t> file) {
  constexpr std::size_t kChunkHeader = 8;
  constexpr std::size_t kChunkCrc = 4;
  ImageData data;
  std::size_t pos = kSignatureSize;
  while (file.size() - pos >= kChunkHeader) {
    const std::uint64_t length = GetU32BE(file.data() + pos);
    const bool imageData = std::memcmp(file.data() + pos + 4, "IDAT", 4) == 0;
    pos += kChunkHeader;
    const std::uint64_t present = std::min<std::uint64_t>(length, file.size() - pos);
    if (imageData) data.bytes += present;
    if (present < length || file.size() - pos - present < kChunkCrc) {
      data.cut = true;
      break;
    }
    pos += static_cast<std::size_t>(length) + kChunkCrc;
  }
  if (file.size() - pos < kChunkHeader && pos != file.size()) data.cut = true;
  return data;
}

// False after ctx recorded why; cut says whether the file ends early.
bool DataCanHoldPixels(const PngLayout& layout, std::span<const std::uint8_t> file, sys::Context& ctx, bool& cut) {
  const std::uint64_t storedBytes = layout.storedPixelBits / 8;
  const ImageData data = ImageDataOf(file);
  const std::uint64_t dataBytes = data.bytes;
  cut = data.cut;
  if (storedBytes <= dataBytes * kMaxInflateRatio + kInflateSlackBytes) return true;
  char text[200];
  std::snprintf(text, sizeof text, "Illegal image size (%u x %u): %llu bytes of image data can not hold its pixels",
                static_cast<unsigned>(layout.width), static_cast<unsigned>(layout.height),
                static_cast<unsigned long long>(dataBytes));
  ctx.Fail(sys::Code::kCorrupt, text);
  return false;
}

template <typename T>
bool TryResize(std::vector<T>& block, std::uint64_t count, std::uint64_t maxBytes) {
  if (count * sizeof(T) > maxBytes) return false;
  try {
    block.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// libpng decodes straight into the Bitmap's rows (top row first), so the
// picture is never held twice. Null with why set on failure.
BitmapPtr DecodePng(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx,
                    sys::Code& why, std::string& cause) {
  const ReadLimits& limits = options.limits;
  why = sys::Code::kCorrupt;
  PngReadStruct reader(ctx);
  if (!reader.Valid()) return nullptr;
  MemorySource source{file.data(), file.size(), 0};
  PngLayout layout;
  layout.applyGamma = options.applyGamma;
  layout.roundSixteenBit = options.roundSixteenBit;
  if (!ReadHeader(reader.png(), reader.info(), &source, &layout)) {
    if (layout.badSignature) {
      why = sys::Code::kNotRecognised;
      cause = "the data does not begin with the PNG signature";
    } else if (source.overrun) {
      why = sys::Code::kTruncated;
      cause = "the data ends before the first row of the picture";
    } else {
      cause = LibpngCause(ctx);
    }
    return nullptr;
  }
  // The transformations always give four bytes per pixel; anything else is a
  // libpng we do not know.
  if (layout.channels != 4 || layout.width == 0 || layout.rowBytes != static_cast<std::uint64_t>(layout.width) * 4) {
    return nullptr;
  }
  bool cut = false;
  if (!DataCanHoldPixels(layout, file, ctx, cut)) {
    if (cut) {
      why = sys::Code::kTruncated;
      cause = "the data ends in the picture's image data";
    }
    return nullptr;
  }
  if (layout.width > limits.maxWidth || layout.height > limits.maxHeight) {
    why = sys::Code::kLimit;
    cause = SizeLimitCause(layout.width, layout.height, limits);
    return nullptr;
  }
  BitmapPtr b;
  std::vector<png_bytep> rows;
  // Within the pixel limit; a header can claim far more than any picture.
  if (layout.width <= INT32_MAX && layout.height <= INT32_MAX && layout.height <= limits.maxPixelBytes / layout.rowBytes) {
    b = CreateReadImage(layout.width, layout.height, 0, limits, ctx);
  }
  if (!b || !TryResize(rows, layout.height, limits.maxPixelBytes)) {
    RaiseOutOfMemory(reader.png());
    why = sys::Code::kOutOfMemory;
    cause = SizeLimitCause(layout.width, layout.height, limits);
    return nullptr;
  }
  for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = b->Row(static_cast<int>(y));
  RowProgress progress;
  progress.passes = png_set_interlace_handling(reader.png());
  if (!ReadRows(reader.png(), rows.data(), layout.height, &progress)) {
    if (source.overrun) {
      why = sys::Code::kTruncated;
      cause = TruncationCause(progress, layout.height);
    } else {
      cause = LibpngCause(ctx);
    }
    return nullptr;
  }
  if (layout.transparent) b->HasAlpha = 1;
  return b;
}

// The data of the file's eXIf chunk, found by walking the chunks in the
// file's bytes (libpng would warn about a damaged one); empty when there is
// none. The chunk may stand after the image data.
std::span<const std::uint8_t> ExifChunk(std::span<const std::uint8_t> file) {
  std::size_t pos = kSignatureSize;
  while (file.size() - pos >= 12) {
    const std::uint32_t length = (std::uint32_t{file[pos]} << 24) | (std::uint32_t{file[pos + 1]} << 16) |
                                 (std::uint32_t{file[pos + 2]} << 8) | file[pos + 3];
    const std::uint8_t* type = file.data() + pos + 4;
    if (length > file.size() - pos - 12) break;
    if (std::memcmp(type, "eXIf", 4) == 0) return file.subspan(pos + 8, length);
    if (std::memcmp(type, "IEND", 4) == 0) break;
    pos += 12 + static_cast<std::size_t>(length);
  }
  return {};
}

}  // namespace

ReadResult ReadPngFile(std::span<const std::uint8_t> file, const ReadOptions& options, sys::Context& ctx) {
  if (file.size() > options.limits.maxFileBytes) return ReadResult::Failure(ctx, sys::Code::kLimit, "File too long");
  // Too short for a signature and a header: said so, as every failed read is.
  if (file.size() < kMinFileSize) {
    return ReadResult::Failure(ctx, sys::Code::kTruncated, "File too short (truncated ?)");
  }
  sys::Code why = sys::Code::kOk;
  std::string cause;
  BitmapPtr b = DecodePng(file, options, ctx, why, cause);
  if (!b) return ReadResult::Failure(ctx, why, "No Bitmap", cause);
  const int orientation = ExifOrientation(ExifChunk(file));
  if (options.applyOrientation && orientation != 1) {
    b = OrientBitmap(*b, orientation, ctx);
    if (!b) return ReadResult::Recorded(ctx);
  }
  ReadResult result = ReadResult::Of(std::move(b));
  result.orientation = orientation;
  result.orientationApplied = options.applyOrientation && orientation != 1;
  return result;
}

}  // namespace rastra

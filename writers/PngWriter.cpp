#include "writers/PngWriter.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "writers/WriterSupport.h"

namespace rastra {

namespace {

// How the pixels go into the file. Each keeps every pixel as the replacement
// image holds it; the smallest that does is chosen.
enum class PngLayout {
  kPalette,  // a palette image: its indices, at 1, 2, 4 or 8 bits, its colours in PLTE and tRNS
  kRgb,      // a true-colour image whose pixels are all opaque
  kRgba,     // a true-colour image with some transparency
};

// Deflate settings. Filtered true-colour rows compress nearly as well at
// level 4 as at level 9, in a fraction of the time; Z_FILTERED suits the
// small differences the filters leave. Palette indices are not filtered, and
// compress well at zlib's default level. Large IDAT chunks keep the chunk
// overhead out of the file.
constexpr int kTrueColorLevel = 4;
constexpr int kPaletteLevel = 6;
constexpr int kMemLevel = 9;
constexpr png_size_t kIdatBytes = png_size_t{256} << 10;

// Everything the libpng session needs, prepared before it starts: the
// session itself holds no object with a destructor, because libpng leaves
// it by longjmp.
struct PngJob {
  sys::ByteSink* file = nullptr;
  sys::Context* ctx = nullptr;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  PngLayout layout = PngLayout::kRgba;
  int bitDepth = 8;
  std::array<png_color, 256> palette{};
  int paletteEntries = 0;
  std::array<png_byte, 256> alpha{};  // tRNS: alpha of the first transparentEntries palette entries
  int transparentEntries = 0;
  png_bytepp rows = nullptr;
  bool rowsReady = false;  // false when the row memory could not be had
};

sys::Code ReportPngError(sys::Context& ctx, const char* message, sys::Code code = sys::Code::kIo) {
  return writer_support::ReportWriteError(ctx, "PNG", message, code);
}

void OnPngError(png_structp png, png_const_charp message) {
  ReportPngError(*static_cast<sys::Context*>(png_get_error_ptr(png)), message);
  png_longjmp(png, 1);
}

void OnPngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<sys::ByteSink*>(png_get_io_ptr(png));
  if (length == 0) return;
  // The sink tells only whether a write failed: a file that is not open
  // wrote nothing at all, an open one failed part-way.
  if (!file->IsOpen()) png_error(png, "WriteFile() returns NULL");
  if (!file->Write(data, length)) png_error(png, "Not all data could be writen");
}

void OnPngFlush(png_structp /*png*/) {}

void SetHeader(png_structp png, png_infop info, const PngJob* job) {
  const bool palette = job->layout == PngLayout::kPalette;
  const int colorType = palette                              ? PNG_COLOR_TYPE_PALETTE
                        : job->layout == PngLayout::kRgb ? PNG_COLOR_TYPE_RGB
                                                             : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(png, info, job->width, job->height, job->bitDepth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_mem_level(png, kMemLevel);
  png_set_compression_buffer_size(png, kIdatBytes);
  if (palette) {
    png_set_compression_level(png, kPaletteLevel);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_PLTE(png, info, job->palette.data(), job->paletteEntries);
    if (job->transparentEntries > 0) {
      png_set_tRNS(png, info, job->alpha.data(), job->transparentEntries, nullptr);
    }
  } else {
    png_set_compression_level(png, kTrueColorLevel);
    png_set_compression_strategy(png, Z_FILTERED);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  }
}

// Rows are handed over as the Bitmap stores them: palette indices one byte
// each (packed by libpng), or blue, green, red, T, which libpng turns into
// red, green, blue and alpha = 255 - T (or drops T) in its own row copy.
void SetRowTransformations(png_structp png, const PngJob* job) {
  if (job->layout == PngLayout::kPalette) {
    if (job->bitDepth < 8) png_set_packing(png);
    return;
  }
  png_set_bgr(png);
  if (job->layout == PngLayout::kRgb) {
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  } else {
    png_set_invert_alpha(png);
  }
}

// The libpng session, C style: returns true when the whole file was written.
bool RunPngSession(const PngJob* job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job->ctx, OnPngError, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    if (png != nullptr) png_destroy_write_struct(&png, nullptr);
    ReportPngError(*job->ctx, "Out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  // The open file is the I/O pointer; png_init_io would want a stdio stream.
  png_set_write_fn(png, job->file, OnPngWrite, OnPngFlush);
  SetHeader(png, info, job);
  png_write_info(png, info);
  SetRowTransformations(png, job);
  if (!job->rowsReady) png_error(png, "Out of memory");
  png_write_image(png, job->rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool AllOpaque(const Bitmap& image) {
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.XSize; ++x) {
      if (row[4 * x + 3] != 0) return false;
    }
  }
  return true;
}

int BitDepthFor(int entries) {
  if (entries <= 2) return 1;
  if (entries <= 4) return 2;
  if (entries <= 16) return 4;
  return 8;
}

// PLTE and tRNS of a palette image, as its true-colour copy shows the
// colours: the transparency byte of each entry, the transparent entry (HasTrans)
// fully transparent, and indices past the palette opaque black.
void DescribePalette(const Bitmap& bitmap, PngJob& job) {
  int highest = 0;
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* row = bitmap.Row(y);
    if (bitmap.XSize > 0) highest = std::max<int>(highest, *std::max_element(row, row + bitmap.XSize));
  }
  job.paletteEntries = std::max(bitmap.NumColors, highest + 1);
  job.bitDepth = BitDepthFor(job.paletteEntries);
  for (int i = 0; i < job.paletteEntries; ++i) {
    const Color c = Bitmap_GetPalColor(bitmap, i);  // black past the palette
    job.palette[static_cast<std::size_t>(i)] = png_color{static_cast<png_byte>(c), static_cast<png_byte>(c >> 8),
                                                         static_cast<png_byte>(c >> 16)};
    const bool transparentEntry = i == 0 && bitmap.HasTrans != 0;
    job.alpha[static_cast<std::size_t>(i)] = transparentEntry ? 0 : static_cast<png_byte>(255 - (c >> 24));
    if (job.alpha[static_cast<std::size_t>(i)] != 255) job.transparentEntries = i + 1;
  }
}

}  // namespace

sys::Code WritePngFile(const Bitmap* bitmap, sys::ByteSink& sink, BitmapPtr& written, sys::Context& ctx) {
  written.reset();
  if (bitmap == nullptr) return ReportPngError(ctx, "No image", sys::Code::kNoImage);
  if (!writer_support::IsConsistent(*bitmap)) return ReportPngError(ctx, "Invalid image data", sys::Code::kInternal);
  written = writer_support::TrueColorCopy(*bitmap, ctx);
  if (!written) return sys::Code::kOutOfMemory;
  Bitmap& image = *written;
  image.HasAlpha = 1;
  PngJob job;
  job.file = &sink;
  job.ctx = &ctx;
  job.width = static_cast<png_uint_32>(image.XSize);
  job.height = static_cast<png_uint_32>(image.YSize);
  // The file's rows come from the picture as the caller gave it when that is
  // a palette image, else from the true-colour copy.
  const Bitmap& source = bitmap->NumColors != 0 ? *bitmap : image;
  if (bitmap->NumColors != 0) {
    job.layout = PngLayout::kPalette;
    DescribePalette(*bitmap, job);
  } else {
    job.layout = AllOpaque(image) ? PngLayout::kRgb : PngLayout::kRgba;
  }
  std::vector<png_bytep> rows;
  try {
    rows.resize(job.height);
    // libpng only reads the rows: it transforms a copy of each.
    for (png_uint_32 y = 0; y < job.height; ++y) rows[y] = const_cast<png_bytep>(source.Row(static_cast<int>(y)));
    job.rows = rows.data();
    job.rowsReady = true;
  } catch (const std::bad_alloc&) {
    job.rowsReady = false;
  }
  return RunPngSession(&job) ? sys::Code::kOk : ctx.LastFailure();
}

}  // namespace rastra

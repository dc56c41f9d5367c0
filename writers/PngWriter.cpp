#include "writers/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "writers/WriterSupport.h"

namespace rastra {

namespace {

// Everything the libpng session needs, prepared before it starts: the
// session itself holds no object with a destructor, because libpng leaves
// it by longjmp.
struct PngJob {
  sys::ByteSink* file = nullptr;
  sys::Context* ctx = nullptr;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
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
  png_set_compression_level(png, 9);
  png_set_compression_mem_level(png, 8);
  png_set_compression_strategy(png, 0);
  png_set_compression_window_bits(png, 15);
  png_set_compression_method(png, 8);
  png_set_compression_buffer_size(png, 8192);
  // The open file is the I/O pointer; png_init_io would want a stdio stream.
  png_set_write_fn(png, job->file, OnPngWrite, OnPngFlush);
  png_set_IHDR(png, info, job->width, job->height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Rows are handed over as the Bitmap stores them (blue, green, red, T);
  // libpng turns each into red, green, blue, alpha in its own row copy.
  png_set_bgr(png);
  png_set_invert_alpha(png);
  png_write_info(png, info);
  if (!job->rowsReady) png_error(png, "Out of memory");
  png_write_image(png, job->rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
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
  std::vector<png_bytep> rows;
  PngJob job;
  job.file = &sink;
  job.ctx = &ctx;
  job.width = static_cast<png_uint_32>(image.XSize);
  job.height = static_cast<png_uint_32>(image.YSize);
  try {
    rows.resize(job.height);
    for (png_uint_32 y = 0; y < job.height; ++y) rows[y] = image.Row(static_cast<int>(y));
    job.rows = rows.data();
    job.rowsReady = true;
  } catch (const std::bad_alloc&) {
    job.rowsReady = false;
  }
  return RunPngSession(&job) ? sys::Code::kOk : ctx.LastFailure();
}

}  // namespace rastra

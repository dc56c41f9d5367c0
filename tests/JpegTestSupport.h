// Helpers of the JPEG decoder tests: reference pictures in plain RGB, their
// comparison with a decoded Bitmap, reads that keep their context, and (where
// present) the independent libjpeg-turbo encoder and decoder as an oracle.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "readers/JpegDecoder.h"
#include "sys/Context.h"

#ifdef RASTRA_HAVE_LIBJPEG
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#endif

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace jpeg_test {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // 3 bytes per pixel, rows top to bottom
};

struct Difference {
  int maxAbs = 0;
  double meanAbs = 0.0;
  bool sizeMatches = false;
};

// Per-channel absolute differences between a decoded true-colour Bitmap and a
// reference picture.
inline Difference Compare(const Bitmap& decoded, const RgbImage& reference) {
  Difference d;
  d.sizeMatches = decoded.XSize == reference.width && decoded.YSize == reference.height &&
                  decoded.NumColors == 0 && !reference.rgb.empty();
  if (!d.sizeMatches) return d;
  std::uint64_t sum = 0;
  for (int y = 0; y < reference.height; ++y) {
    const std::uint8_t* row = decoded.Row(y);
    const std::uint8_t* ref = reference.rgb.data() + static_cast<std::size_t>(y) * reference.width * 3;
    for (int x = 0; x < reference.width; ++x) {
      const Color c = Bitmap_LoadColor(row + 4 * x);
      const int channels[3] = {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                               static_cast<int>((c >> 16) & 0xFF)};
      for (int i = 0; i < 3; ++i) {
        const int diff = std::abs(channels[i] - ref[3 * x + i]);
        d.maxAbs = diff > d.maxAbs ? diff : d.maxAbs;
        sum += static_cast<std::uint64_t>(diff);
      }
    }
  }
  d.meanAbs = static_cast<double>(sum) / (3.0 * reference.width * reference.height);
  return d;
}

// Binary PPM (P6) or PGM (P5, grey, expanded to RGB), maxval 255.
inline RgbImage ReadPpm(const std::string& path) {
  RgbImage image;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> image.width >> image.height >> maxValue;
  in.get();
  const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
  if (!in || channels == 0 || maxValue != 255 || image.width <= 0 || image.height <= 0) return RgbImage{};
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  std::vector<std::uint8_t> raw(pixels * channels);
  in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  if (!in) return RgbImage{};
  if (channels == 3) {
    image.rgb = std::move(raw);
  } else {
    image.rgb.resize(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) image.rgb[3 * i] = image.rgb[3 * i + 1] = image.rgb[3 * i + 2] = raw[i];
  }
  return image;
}

// A smooth picture with fine noise and some edges, so that every coefficient
// band gets used (deterministic).
inline RgbImage MakePhotoLike(int width, int height, std::uint32_t seed = 7) {
  RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  auto clamp = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>((seed >> 8) % 21) - 10.0;
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      const double edge = ((x / 23 + y / 17) % 2 == 0) ? 40.0 : -40.0;
      std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      p[0] = clamp(128 + 90 * std::sin(7.0 * fx + 3.0 * fy) + noise + edge);
      p[1] = clamp(128 + 80 * std::cos(5.0 * fy - 4.0 * fx) + noise);
      p[2] = clamp(100 + 140 * fx * fy + noise - edge / 2);
    }
  }
  return image;
}

// One read of a whole file, with the context it recorded its messages in.
struct Decoded {
  ReadResult result;
  sys::Context ctx;

  const BitmapPtr& Image() const { return result.image; }
  // Every recorded text on a line of its own.
  std::string All() const {
    std::string all;
    for (const sys::Message& m : ctx.Messages()) all += m.text + "\n";
    return all;
  }
};

inline Decoded Decode(const std::vector<std::uint8_t>& bytes, const ReadOptions& options = {}) {
  Decoded decoded;
  decoded.result = ReadJpegFile(bytes, options, decoded.ctx);
  return decoded;
}

// EXIF data (a TIFF header and one directory) whose first directory holds an
// orientation tag after another tag, in either byte order: the payload of a
// PNG eXIf chunk, and of a JPEG APP1 segment after "Exif\0\0".
inline std::vector<std::uint8_t> ExifTiff(int orientation, bool bigEndian) {
  const auto o = static_cast<std::uint8_t>(orientation);
  // Header, then two entries: Make (ASCII, 4 bytes in place) and Orientation
  // (SHORT, one value); no next directory.
  return bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2, 0x01, 0x0F, 0, 2, 0, 0, 0, 4, 'C', 'a',
                                               'm', 0, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, o, 0, 0, 0, 0, 0, 0}
                   : std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0, 0x0F, 0x01, 2, 0, 4, 0, 0, 0, 'C', 'a',
                                               'm', 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, o, 0, 0, 0, 0, 0, 0, 0};
}

// The APP1 segment of that EXIF data, to be put after a JPEG's SOI marker.
inline std::vector<std::uint8_t> ExifSegment(int orientation, bool bigEndian) {
  const std::vector<std::uint8_t> tiff = ExifTiff(orientation, bigEndian);
  const std::uint8_t head[] = {0xFF, 0xE1, 0, static_cast<std::uint8_t>(8 + tiff.size()), 'E', 'x', 'i', 'f', 0, 0};
  std::vector<std::uint8_t> segment(std::begin(head), std::end(head));
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

#ifdef RASTRA_HAVE_LIBJPEG

struct EncodeOptions {
  int components = 3;  // 1 grey, 3 YCbCr, 4 CMYK (or YCCK)
  int hLuma = 2;
  int vLuma = 2;
  // Per component (h, v); when empty the first gets hLuma x vLuma and the
  // others 1 x 1.
  std::vector<std::pair<int, int>> sampling;
  bool ycck = false;        // four components stored as YCCK instead of CMYK
  bool storeRgb = false;    // three components stored as RGB (Adobe transform 0)
  bool arithmetic = false;  // arithmetic coding instead of Huffman
  // Arithmetic conditioning of table 0 (DC bounds L and U, AC split index);
  // negative keeps the default.
  int arithDcLower = -1;
  int arithDcUpper = -1;
  int arithAcSplit = -1;
  std::vector<jpeg_scan_info> scans;  // a scan script of its own
  int quality = 75;
  bool progressive = false;
  int restartMcus = 0;
  int restartRows = 0;
  bool optimize = false;
  bool separateScans = false;  // sequential, one scan per component
  std::vector<std::pair<int, std::string>> markers;  // written after the headers
};

struct ErrorTrap {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
};

inline void TrapError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  std::longjmp(trap->jump, 1);
}

inline void SilentMessage(j_common_ptr /*info*/, int /*level*/) {}

// Compresses samples (rows of width x components bytes in colour space
// space) with libjpeg-turbo. configure sets the encoder up after its defaults,
// afterStart writes what goes after the headers. Empty when the library
// refuses the settings.
template <class Configure, class AfterStart>
std::vector<std::uint8_t> CompressWithLibjpeg(int width, int height, int components, J_COLOR_SPACE space,
                                              const std::vector<std::uint8_t>& samples, Configure configure,
                                              AfterStart afterStart) {
  jpeg_compress_struct cinfo{};
  ErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = TrapError;
  trap.manager.emit_message = SilentMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  configure(cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  afterStart(cinfo);
  const std::size_t stride = static_cast<std::size_t>(width) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

// Encodes with libjpeg-turbo; empty on failure.
inline std::vector<std::uint8_t> EncodeWithLibjpeg(const RgbImage& image, const EncodeOptions& options) {
  std::vector<std::uint8_t> pixels;
  J_COLOR_SPACE space = JCS_RGB;
  if (options.components == 1) {
    space = JCS_GRAYSCALE;
    pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = static_cast<std::uint8_t>((image.rgb[3 * i] * 3 + image.rgb[3 * i + 1] * 5 + image.rgb[3 * i + 2] * 2) / 10);
    }
  } else if (options.components == 4) {
    space = JCS_CMYK;
    pixels.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    for (std::size_t i = 0; i < pixels.size() / 4; ++i) {
      for (int c = 0; c < 3; ++c) pixels[4 * i + c] = image.rgb[3 * i + c];
      pixels[4 * i + 3] = 40;
    }
  } else {
    pixels = image.rgb;
  }
  jpeg_scan_info scans[4]{};  // read by the encoder when it starts
  const auto configure = [&](jpeg_compress_struct& cinfo) {
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (options.storeRgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (options.components == 3) {
      cinfo.comp_info[0].h_samp_factor = options.hLuma;
      cinfo.comp_info[0].v_samp_factor = options.vLuma;
      cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
      cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    for (std::size_t c = 0; c < options.sampling.size() && c < static_cast<std::size_t>(cinfo.num_components); ++c) {
      cinfo.comp_info[c].h_samp_factor = options.sampling[c].first;
      cinfo.comp_info[c].v_samp_factor = options.sampling[c].second;
    }
    cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
    if (options.arithDcLower >= 0) cinfo.arith_dc_L[0] = static_cast<UINT8>(options.arithDcLower);
    if (options.arithDcUpper >= 0) cinfo.arith_dc_U[0] = static_cast<UINT8>(options.arithDcUpper);
    if (options.arithAcSplit >= 0) cinfo.arith_ac_K[0] = static_cast<UINT8>(options.arithAcSplit);
    cinfo.optimize_coding = options.optimize ? TRUE : FALSE;
    cinfo.restart_interval = static_cast<unsigned>(options.restartMcus);
    cinfo.restart_in_rows = options.restartRows;
    if (options.separateScans) {
      for (int c = 0; c < options.components; ++c) {
        scans[c].comps_in_scan = 1;
        scans[c].component_index[0] = c;
        scans[c].Ss = 0;
        scans[c].Se = 63;
      }
      cinfo.scan_info = scans;
      cinfo.num_scans = options.components;
    }
    if (options.progressive) jpeg_simple_progression(&cinfo);
    if (!options.scans.empty()) {
      cinfo.scan_info = options.scans.data();
      cinfo.num_scans = static_cast<int>(options.scans.size());
    }
  };
  const auto writeMarkers = [&](jpeg_compress_struct& cinfo) {
    for (const auto& [marker, text] : options.markers) {
      jpeg_write_marker(&cinfo, marker, reinterpret_cast<const JOCTET*>(text.data()),
                        static_cast<unsigned>(text.size()));
    }
  };
  return CompressWithLibjpeg(image.width, image.height, options.components, space, pixels, configure, writeMarkers);
}

// Decodes with the accurate integer IDCT, plain (replicating) upsampling and
// no block smoothing, the same arithmetic our decoder follows; with fancy,
// libjpeg-turbo's default interpolating upsampling instead. An empty picture
// on failure. CMYK and YCCK files come out as CMYK (Adobe-inverted samples)
// and turn into RGB as R = C x K / 255 (and so on), rounded to nearest.
inline RgbImage DecodeWithLibjpeg(const std::vector<std::uint8_t>& bytes, bool fancy = false) {
  jpeg_decompress_struct cinfo{};
  ErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = TrapError;
  trap.manager.emit_message = SilentMessage;
  RgbImage image;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return RgbImage{};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  const bool inks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = inks ? JCS_CMYK : JCS_RGB;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = fancy ? TRUE : FALSE;
  // A progressive file that leaves coefficients out would otherwise have
  // them guessed from the neighbouring blocks.
  cinfo.do_block_smoothing = FALSE;
  jpeg_start_decompress(&cinfo);
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
  std::vector<std::uint8_t> cmyk(static_cast<std::size_t>(image.width) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    std::uint8_t* out = image.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * image.width * 3;
    JSAMPROW row = inks ? cmyk.data() : out;
    jpeg_read_scanlines(&cinfo, &row, 1);
    for (int x = 0; inks && x < image.width; ++x) {
      const int k = cmyk[4 * x + 3];
      for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<std::uint8_t>((cmyk[4 * x + c] * k + 127) / 255);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return image;
}

struct TranscodeOptions {
  bool progressive = true;  // the default spectral-selection and successive-approximation scans
  bool arithmetic = false;
  bool separateScans = false;  // sequential, one scan per component
};

// Rewrites a JPEG's coefficients unchanged into another coding or scan layout.
inline std::vector<std::uint8_t> Transcode(const std::vector<std::uint8_t>& bytes, const TranscodeOptions& options) {
  jpeg_decompress_struct in{};
  jpeg_compress_struct out{};
  ErrorTrap trap;
  in.err = jpeg_std_error(&trap.manager);
  out.err = &trap.manager;
  trap.manager.error_exit = TrapError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    std::free(buffer);
    return {};
  }
  jpeg_create_decompress(&in);
  jpeg_create_compress(&out);
  jpeg_mem_src(&in, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&in, TRUE);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
  jpeg_mem_dest(&out, &buffer, &size);
  jpeg_copy_critical_parameters(&in, &out);
  if (options.progressive) jpeg_simple_progression(&out);
  out.arith_code = options.arithmetic ? TRUE : FALSE;
  std::vector<jpeg_scan_info> scans(static_cast<std::size_t>(out.num_components));
  for (int c = 0; options.separateScans && c < out.num_components; ++c) {
    scans[c].comps_in_scan = 1;
    scans[c].component_index[0] = c;
    scans[c].Se = 63;
  }
  if (options.separateScans) {
    out.scan_info = scans.data();
    out.num_scans = out.num_components;
  }
  jpeg_write_coefficients(&out, coefficients);
  jpeg_finish_compress(&out);
  std::vector<std::uint8_t> result(buffer, buffer + size);
  jpeg_finish_decompress(&in);
  jpeg_destroy_compress(&out);
  jpeg_destroy_decompress(&in);
  std::free(buffer);
  return result;
}

inline std::vector<std::uint8_t> TranscodeToProgressive(const std::vector<std::uint8_t>& bytes) {
  return Transcode(bytes, TranscodeOptions{});
}

#endif  // RASTRA_HAVE_LIBJPEG

}  // namespace jpeg_test

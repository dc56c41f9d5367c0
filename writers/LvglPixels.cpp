#include "writers/LvglPixels.h"

#include <algorithm>
#include <array>
#include <map>

#include "image/ColorConvert.h"

namespace rastra {

namespace {

constexpr int kMaxDimension = 0xFFFF;  // w, h and stride are 16-bit fields
constexpr int kMaxAlign = 255;

// The converter's ordered dithering for 565 colours, 8 x 8, row-major.
constexpr std::array<std::uint8_t, 64> kDitherRed = {
    1, 7, 3, 5, 0, 8, 2, 6, 7, 1, 5, 3, 8, 0, 6, 2, 3, 5, 0, 8, 2, 6, 1, 7, 5, 3, 8, 0, 6, 2, 7, 1,
    0, 8, 2, 6, 1, 7, 3, 5, 8, 0, 6, 2, 7, 1, 5, 3, 2, 6, 1, 7, 3, 5, 0, 8, 6, 2, 7, 1, 5, 3, 8, 0};
constexpr std::array<std::uint8_t, 64> kDitherGreen = {
    1, 3, 2, 2, 3, 1, 2, 2, 2, 2, 0, 4, 2, 2, 4, 0, 3, 1, 2, 2, 1, 3, 2, 2, 2, 2, 4, 0, 2, 2, 0, 4,
    1, 3, 2, 2, 3, 1, 2, 2, 2, 2, 0, 4, 2, 2, 4, 0, 3, 1, 2, 2, 1, 3, 2, 2, 2, 2, 4, 0, 2, 2, 0, 4};
constexpr std::array<std::uint8_t, 64> kDitherBlue = {
    5, 3, 8, 0, 6, 2, 7, 1, 3, 5, 0, 8, 2, 6, 1, 7, 8, 0, 6, 2, 7, 1, 5, 3, 0, 8, 2, 6, 1, 7, 3, 5,
    6, 2, 7, 1, 5, 3, 8, 0, 2, 6, 1, 7, 3, 5, 0, 8, 7, 1, 5, 3, 8, 0, 6, 2, 1, 7, 3, 5, 0, 8, 2, 6};

struct Pixel {
  int r, g, b, a;
};

Pixel PixelAt(const LvglPicture& picture, int x, int y) {
  const std::uint8_t* p = picture.rgba.data() + (static_cast<std::size_t>(y) * picture.width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

// Over the background with the converter's shift by 8, which takes one step
// off every channel of an opaque pixel.
Pixel OverBackground(Pixel p, std::uint32_t background) {
  const int br = static_cast<int>((background >> 16) & 0xFF);
  const int bg = static_cast<int>((background >> 8) & 0xFF);
  const int bb = static_cast<int>(background & 0xFF);
  const int rest = 255 - p.a;
  return {(p.r * p.a + rest * br) >> 8, (p.g * p.a + rest * bg) >> 8, (p.b * p.a + rest * bb) >> 8, p.a};
}

Pixel Dithered(Pixel p, int x, int y) {
  const std::size_t i = static_cast<std::size_t>(y & 7) * 8 + static_cast<std::size_t>(x & 7);
  return {std::min(p.r + kDitherRed[i], 255) & 0xF8, std::min(p.g + kDitherGreen[i], 255) & 0xFC,
          std::min(p.b + kDitherBlue[i], 255) & 0xF8, p.a};
}

int Pack565(Pixel p) { return ((p.r >> 3) << 11) | ((p.g >> 2) << 5) | (p.b >> 3); }

bool UsesDither(LvglFormat f) {
  return f == LvglFormat::kRGB565 || f == LvglFormat::kRGB565Swapped || f == LvglFormat::kRGB565A8 ||
         f == LvglFormat::kARGB8565;
}

bool IsAlphaOnly(LvglFormat f) { return f >= LvglFormat::kA1 && f <= LvglFormat::kA8; }

// Writes one pixel of a format of whole bytes at out.
void PutPixel(LvglFormat f, Pixel p, const LvglOptions& o, std::uint8_t* out) {
  auto put = [&out](int v) { *out++ = static_cast<std::uint8_t>(v); };
  switch (f) {
    case LvglFormat::kARGB8888: put(p.b); put(p.g); put(p.r); put(p.a); break;
    case LvglFormat::kARGB8888Premultiplied:
      put(p.b * p.a / 255); put(p.g * p.a / 255); put(p.r * p.a / 255); put(p.a);
      break;
    case LvglFormat::kXRGB8888: p = OverBackground(p, o.background); put(p.b); put(p.g); put(p.r); put(0xFF); break;
    case LvglFormat::kRGB888: p = OverBackground(p, o.background); put(p.b); put(p.g); put(p.r); break;
    case LvglFormat::kRGB565: {
      const int c = Pack565(OverBackground(p, o.background));
      put(c & 0xFF); put(c >> 8);
      break;
    }
    case LvglFormat::kRGB565Swapped: {
      const int c = Pack565(OverBackground(p, o.background));
      put(c >> 8); put(c & 0xFF);
      break;
    }
    case LvglFormat::kRGB565A8: { const int c = Pack565(p); put(c & 0xFF); put(c >> 8); break; }
    case LvglFormat::kARGB8565: { const int c = Pack565(p); put(c & 0xFF); put(c >> 8); put(p.a); break; }
    case LvglFormat::kL8: {
      p = OverBackground(p, o.background);
      put(LvglLuma(static_cast<std::uint8_t>(p.r), static_cast<std::uint8_t>(p.g), static_cast<std::uint8_t>(p.b)));
      break;
    }
    case LvglFormat::kAL88:
      put(LvglLuma(static_cast<std::uint8_t>(p.r), static_cast<std::uint8_t>(p.g), static_cast<std::uint8_t>(p.b)));
      put(p.a);
      break;
    case LvglFormat::kA8: put(p.a); break;
    default: break;
  }
}

// Sub-byte values, leftmost pixel in the high bits.
void PutBits(std::uint8_t* row, int x, int bits, int value) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  row[x / perByte] = static_cast<std::uint8_t>(row[x / perByte] | (value << shift));
}

// A palette of at most `colours` entries (R, G, B, A) and an index per pixel.
struct Indexed {
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> indices;
};

bool ExactColors(const LvglPicture& picture, std::size_t colours, Indexed& out) {
  std::map<std::uint32_t, std::uint8_t> seen;
  out.indices.resize(picture.rgba.size() / 4);
  for (std::size_t i = 0; i < out.indices.size(); ++i) {
    const std::uint8_t* p = picture.rgba.data() + i * 4;
    const std::uint32_t key = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (p[2] << 8) | p[3];
    auto found = seen.find(key);
    if (found == seen.end()) {
      if (seen.size() == colours) return false;
      found = seen.emplace(key, static_cast<std::uint8_t>(seen.size())).first;
      out.palette.insert(out.palette.end(), p, p + 4);
    }
    out.indices[i] = found->second;
  }
  return true;
}

// More colours than the format holds: Rastra's quantiser picks the colours;
// each entry's alpha is the mean of its pixels'.
bool Quantise(const LvglPicture& picture, int colours, const OutputOptions& output, Indexed& out,
              sys::Context& ctx) {
  BitmapPtr opaque = Bitmap_Create(picture.width, picture.height, 0, ctx);
  if (!opaque) return false;
  for (int y = 0; y < picture.height; ++y) {
    std::uint8_t* row = opaque->Row(y);
    for (int x = 0; x < picture.width; ++x) {
      const Pixel p = PixelAt(picture, x, y);
      Bitmap_StoreColor(row + static_cast<std::size_t>(x) * 4, ColorOf(Rgba{static_cast<std::uint8_t>(p.r),
                                                                          static_cast<std::uint8_t>(p.g),
                                                                          static_cast<std::uint8_t>(p.b), 255}));
    }
  }
  OutputOptions plain = output;
  plain.preserveTrans = false;
  const BitmapPtr reduced = ReduceColors(*opaque, colours, plain, ctx);
  if (!reduced || reduced->NumColors == 0 || reduced->NumColors > colours) return false;
  std::vector<std::uint64_t> alphaSum(static_cast<std::size_t>(reduced->NumColors), 0);
  std::vector<std::uint64_t> count(alphaSum.size(), 0);
  out.indices.resize(static_cast<std::size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t index = static_cast<std::uint8_t>(Bitmap_GetPixel(*reduced, x, y));
      out.indices[static_cast<std::size_t>(y) * picture.width + x] = index;
      alphaSum[index] += static_cast<std::uint64_t>(PixelAt(picture, x, y).a);
      ++count[index];
    }
  }
  for (int i = 0; i < reduced->NumColors; ++i) {
    const Rgba c = RgbaOf(Bitmap_GetPalColor(*reduced, i));
    const std::size_t n = count[static_cast<std::size_t>(i)];
    const auto alpha = n == 0 ? 255 : (alphaSum[static_cast<std::size_t>(i)] + n / 2) / n;
    out.palette.insert(out.palette.end(), {c.r, c.g, c.b, static_cast<std::uint8_t>(alpha)});
  }
  return true;
}

bool IndexPicture(const LvglPicture& picture, int colours, const OutputOptions& output, Indexed& out,
                  sys::Context& ctx) {
  if (!picture.palette.empty() && picture.palette.size() / 4 <= static_cast<std::size_t>(colours)) {
    out.palette = picture.palette;
    out.indices = picture.indices;
    return true;
  }
  if (ExactColors(picture, static_cast<std::size_t>(colours), out)) return true;
  out = Indexed{};
  return Quantise(picture, colours, output, out, ctx);
}

void PremultiplyPalette(std::vector<std::uint8_t>& bytes, std::size_t entries) {
  for (std::size_t i = 0; i < entries; ++i) {
    std::uint8_t* e = bytes.data() + i * 4;  // B, G, R, A
    for (int c = 0; c < 3; ++c) e[c] = static_cast<std::uint8_t>((e[c] * e[3]) >> 8);
  }
}

int Premultiply565(int c, int a) {
  const int r = ((c >> 11) & 0x1F) * a / 255;
  const int g = ((c >> 5) & 0x3F) * a / 255;
  const int b = (c & 0x1F) * a / 255;
  return (r << 11) | (g << 5) | b;
}

// What --premultiply does to the pixels; the header flag says it was done.
void PremultiplyRows(LvglData& d) {
  const std::size_t stride = static_cast<std::size_t>(d.stride);
  for (int y = 0; y < d.height; ++y) {
    std::uint8_t* row = d.bytes.data() + static_cast<std::size_t>(y) * stride;
    const std::uint8_t* alpha = d.bytes.data() + d.height * stride + static_cast<std::size_t>(y) * (stride / 2);
    for (int x = 0; x < d.width; ++x) {
      if (d.format == LvglFormat::kARGB8888) {
        std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((p[c] * p[3]) >> 8);
      } else {
        const bool planar = d.format == LvglFormat::kRGB565A8;
        std::uint8_t* p = row + static_cast<std::size_t>(x) * (planar ? 2 : 3);
        const int a = planar ? alpha[x] : p[2];
        const int c = Premultiply565(p[0] | (p[1] << 8), a);
        p[0] = static_cast<std::uint8_t>(c);
        p[1] = static_cast<std::uint8_t>(c >> 8);
      }
    }
  }
}

sys::Code CheckOptions(const LvglPicture& picture, const LvglOptions& o, int stride, sys::Context& ctx) {
  if (picture.width < 1 || picture.height < 1 || picture.width > kMaxDimension || picture.height > kMaxDimension) {
    return ctx.Fail(sys::Code::kBadArgument, "LVGL images are 1 to 65535 pixels wide and high, not " +
                                                 std::to_string(picture.width) + " x " + std::to_string(picture.height));
  }
  if (o.align < 1 || o.align > kMaxAlign) {
    return ctx.Fail(sys::Code::kBadArgument, "the LVGL stride alignment is 1 to 255, not " + std::to_string(o.align));
  }
  if (stride > kMaxDimension) {
    return ctx.Fail(sys::Code::kBadArgument, "an LVGL row of " + std::to_string(stride) +
                                                 " bytes passes the header's limit of 65535");
  }
  if (!o.premultiply) return sys::Code::kOk;
  const LvglFormat f = o.format;
  if (LvglIsIndexed(f) || f == LvglFormat::kARGB8888 || f == LvglFormat::kRGB565A8 || f == LvglFormat::kARGB8565) {
    return sys::Code::kOk;
  }
  const bool noAlpha = f == LvglFormat::kRGB565 || f == LvglFormat::kRGB565Swapped || f == LvglFormat::kRGB888 ||
                       f == LvglFormat::kL8;
  return ctx.Fail(sys::Code::kBadArgument, std::string(noAlpha ? "LVGL's " : "premultiplying LVGL's ") +
                                               LvglFormatName(f) +
                                               (noAlpha ? " has no alpha to premultiply" : " is not supported"));
}

void FillIndexed(const Indexed& indexed, int bits, LvglData& d) {
  const std::size_t entries = std::size_t{1} << bits;
  for (std::size_t i = 0; i < entries; ++i) {
    std::uint8_t* e = d.bytes.data() + i * 4;
    if (i * 4 < indexed.palette.size()) {
      const std::uint8_t* c = indexed.palette.data() + i * 4;
      e[0] = c[2]; e[1] = c[1]; e[2] = c[0]; e[3] = c[3];
    } else {
      e[0] = e[1] = e[2] = 0xFF;  // the converter's filler: white, fully transparent
      e[3] = 0;
    }
  }
  std::uint8_t* rows = d.bytes.data() + entries * 4;
  for (int y = 0; y < d.height; ++y) {
    std::uint8_t* row = rows + static_cast<std::size_t>(y) * d.stride;
    const std::uint8_t* index = indexed.indices.data() + static_cast<std::size_t>(y) * d.width;
    for (int x = 0; x < d.width; ++x) {
      if (bits == 8) row[x] = index[x];
      else PutBits(row, x, bits, index[x]);
    }
  }
}

void FillDirect(const LvglPicture& picture, const LvglOptions& o, LvglData& d) {
  const int bits = LvglBitsPerPixel(o.format);
  const std::size_t stride = static_cast<std::size_t>(d.stride);
  const bool dither = o.rgb565Dither && UsesDither(o.format);
  for (int y = 0; y < d.height; ++y) {
    std::uint8_t* row = d.bytes.data() + static_cast<std::size_t>(y) * stride;
    std::uint8_t* alpha = d.bytes.data() + d.height * stride + static_cast<std::size_t>(y) * (stride / 2);
    for (int x = 0; x < d.width; ++x) {
      Pixel p = PixelAt(picture, x, y);
      if (o.format == LvglFormat::kRGB565A8) alpha[x] = static_cast<std::uint8_t>(p.a);
      if (IsAlphaOnly(o.format) && bits < 8) {
        PutBits(row, x, bits, p.a >> (8 - bits));
        continue;
      }
      if (dither) p = Dithered(p, x, y);
      PutPixel(o.format, p, o, row + static_cast<std::size_t>(x) * (bits / 8));
    }
  }
}

}  // namespace

LvglPicture LvglPictureOf(const Bitmap& bitmap) {
  LvglPicture picture;
  picture.width = bitmap.XSize;
  picture.height = bitmap.YSize;
  const std::size_t pixels = static_cast<std::size_t>(bitmap.XSize) * bitmap.YSize;
  picture.rgba.resize(pixels * 4);
  const bool paletted = bitmap.NumColors > 0;
  std::array<Color, 256> colours{};
  if (paletted) {
    colours = Bitmap_PixelPalette(bitmap);
    for (int i = 0; i < bitmap.NumColors; ++i) {
      const Rgba c = RgbaOf(colours[static_cast<std::size_t>(i)]);
      picture.palette.insert(picture.palette.end(), {c.r, c.g, c.b, c.a});
    }
    picture.indices.resize(pixels);
  }
  for (int y = 0; y < bitmap.YSize; ++y) {
    const std::uint8_t* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.XSize; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * bitmap.XSize + x;
      Rgba c;
      if (paletted) {
        picture.indices[i] = row[x];
        c = RgbaOf(colours[row[x]]);
      } else {
        c = RgbaOf(Bitmap_LoadColor(row + static_cast<std::size_t>(x) * 4));
      }
      std::uint8_t* out = picture.rgba.data() + i * 4;
      out[0] = c.r; out[1] = c.g; out[2] = c.b; out[3] = c.a;
    }
  }
  return picture;
}

int LvglBitsPerPixel(LvglFormat format) {
  switch (format) {
    case LvglFormat::kI1: case LvglFormat::kA1: return 1;
    case LvglFormat::kI2: case LvglFormat::kA2: return 2;
    case LvglFormat::kI4: case LvglFormat::kA4: return 4;
    case LvglFormat::kI8: case LvglFormat::kA8: case LvglFormat::kL8: return 8;
    case LvglFormat::kRGB565: case LvglFormat::kRGB565Swapped: case LvglFormat::kRGB565A8:
    case LvglFormat::kAL88: return 16;
    case LvglFormat::kRGB888: case LvglFormat::kARGB8565: return 24;
    default: return 32;
  }
}

bool LvglIsIndexed(LvglFormat format) { return format >= LvglFormat::kI1 && format <= LvglFormat::kI8; }

sys::Code MakeLvglData(const LvglPicture& picture, const LvglOptions& options, const OutputOptions& output,
                       LvglData& data, sys::Context& ctx) {
  const int bits = LvglBitsPerPixel(options.format);
  const long long minimum = (static_cast<long long>(picture.width) * bits + 7) / 8;
  const long long align = std::max(options.align, 1);
  const long long stride = (minimum + align - 1) / align * align;
  if (CheckOptions(picture, options, static_cast<int>(std::min<long long>(stride, kMaxDimension + 1)), ctx) !=
      sys::Code::kOk) {
    return ctx.LastFailure();
  }
  data = LvglData{};
  data.format = options.format;
  data.width = picture.width;
  data.height = picture.height;
  data.stride = static_cast<int>(stride);
  const bool indexed = LvglIsIndexed(options.format);
  const std::size_t paletteBytes = indexed ? (std::size_t{4} << bits) : 0;
  const std::size_t rows = static_cast<std::size_t>(stride) * picture.height;
  const std::size_t alphaPlane =
      options.format == LvglFormat::kRGB565A8 ? static_cast<std::size_t>(stride / 2) * picture.height : 0;
  data.bytes.assign(paletteBytes + rows + alphaPlane, 0);
  if (indexed) {
    Indexed chosen;
    if (!IndexPicture(picture, 1 << bits, output, chosen, ctx)) {
      return ctx.LastFailure() != sys::Code::kOk ? ctx.LastFailure()
                                                 : ctx.Fail(sys::Code::kInternal, "no palette for the LVGL image");
    }
    FillIndexed(chosen, bits, data);
  } else {
    FillDirect(picture, options, data);
  }
  if (options.premultiply) {
    if (indexed) PremultiplyPalette(data.bytes, std::size_t{1} << bits);
    else PremultiplyRows(data);
    data.premultiplied = true;
  }
  return sys::Code::kOk;
}

}  // namespace rastra

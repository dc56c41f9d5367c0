#include "writers/LvglWriter.h"

#include <array>
#include <cstdio>

#include "sys/Path.h"
#include "writers/LvglRle.h"
#include "writers/Lz4Block.h"

namespace rastra {

namespace {

struct FormatName {
  LvglFormat format;
  const char* name;
};

constexpr std::array<FormatName, 18> kFormatNames = {{
    {LvglFormat::kL8, "L8"},           {LvglFormat::kI1, "I1"},
    {LvglFormat::kI2, "I2"},           {LvglFormat::kI4, "I4"},
    {LvglFormat::kI8, "I8"},           {LvglFormat::kA1, "A1"},
    {LvglFormat::kA2, "A2"},           {LvglFormat::kA4, "A4"},
    {LvglFormat::kA8, "A8"},           {LvglFormat::kRGB888, "RGB888"},
    {LvglFormat::kARGB8888, "ARGB8888"}, {LvglFormat::kXRGB8888, "XRGB8888"},
    {LvglFormat::kRGB565, "RGB565"},   {LvglFormat::kARGB8565, "ARGB8565"},
    {LvglFormat::kRGB565A8, "RGB565A8"}, {LvglFormat::kAL88, "AL88"},
    {LvglFormat::kARGB8888Premultiplied, "ARGB8888_PREMULTIPLIED"},
    {LvglFormat::kRGB565Swapped, "RGB565_SWAPPED"},
}};

void PutU16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// Bytes as the converter lists them: each chunk of `chunk` bytes on a line
// of its own after "\n    ", the section closed by "\n".
void AppendSection(std::string& text, const std::uint8_t* bytes, std::size_t count, std::size_t chunk) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < count; ++i) {
    if (i % chunk == 0) text += "\n    ";
    const char item[5] = {'0', 'x', kHex[bytes[i] >> 4], kHex[bytes[i] & 15], ','};
    text.append(item, sizeof item);
  }
  text += '\n';
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

const char* LvglFormatName(LvglFormat format) noexcept {
  for (const FormatName& entry : kFormatNames) {
    if (entry.format == format) return entry.name;
  }
  return "";
}

bool LvglFormatOfName(const std::string& name, LvglFormat& format) noexcept {
  for (const FormatName& entry : kFormatNames) {
    if (name == entry.name) {
      format = entry.format;
      return true;
    }
  }
  return false;
}

std::string LvglIdentifierOf(const std::string& path) {
  const sys::PathParts parts = sys::SplitPath(path);
  std::string name = parts.name.substr(0, parts.name.find('.'));
  for (char& c : name) {
    if (!IsIdentifierChar(c)) c = '_';
  }
  if (name.empty()) return "image";
  if (name[0] >= '0' && name[0] <= '9') name.insert(name.begin(), '_');
  return name;
}

sys::Code LvglStoredData(const LvglData& data, LvglCompression compression, std::vector<std::uint8_t>& stored,
                         sys::Context& ctx) {
  if (compression == LvglCompression::kNone) {
    stored = data.bytes;
    return sys::Code::kOk;
  }
  std::vector<std::uint8_t> packed;
  if (compression == LvglCompression::kRle) {
    packed = LvglRleEncode(data.bytes, static_cast<std::size_t>((LvglBitsPerPixel(data.format) + 7) / 8));
  } else {
    auto block = Lz4CompressBlock(data.bytes);
    if (!block) {
      return ctx.Fail(sys::Code::kUnsupported,
                      Lz4Available() ? "the LVGL data is too large for one LZ4 block"
                                     : "this build of Rastra has no LZ4 compression");
    }
    packed = std::move(*block);
  }
  stored.clear();
  stored.reserve(packed.size() + 12);
  PutU32(stored, static_cast<std::uint32_t>(compression));
  PutU32(stored, static_cast<std::uint32_t>(packed.size()));
  PutU32(stored, static_cast<std::uint32_t>(data.bytes.size()));
  stored.insert(stored.end(), packed.begin(), packed.end());
  return sys::Code::kOk;
}

std::vector<std::uint8_t> LvglHeader(const LvglData& data, LvglCompression compression) {
  std::vector<std::uint8_t> header{kLvglMagic, static_cast<std::uint8_t>(data.format)};
  unsigned flags = data.premultiplied ? kLvglFlagPremultiplied : 0;
  if (compression != LvglCompression::kNone) flags |= kLvglFlagCompressed;
  PutU16(header, flags);
  PutU16(header, static_cast<unsigned>(data.width));
  PutU16(header, static_cast<unsigned>(data.height));
  PutU16(header, static_cast<unsigned>(data.stride));
  PutU16(header, 0);
  return header;
}

std::string LvglCPrologue() {
  return "\n#if defined(LV_LVGL_H_INCLUDE_SIMPLE)\n#include \"lvgl.h\"\n#elif defined(LV_LVGL_H_INCLUDE_SYSTEM)\n"
         "#include <lvgl.h>\n#elif defined(LV_BUILD_TEST)\n#include \"../lvgl.h\"\n#else\n#include \"lvgl/lvgl.h\"\n"
         "#endif\n\n#ifndef LV_ATTRIBUTE_MEM_ALIGN\n#define LV_ATTRIBUTE_MEM_ALIGN\n#endif\n\n";
}

std::string LvglCSource(const LvglData& data, LvglCompression compression, const std::vector<std::uint8_t>& stored,
                        const std::string& name) {
  return LvglCPrologue() + LvglCImage(data, compression, stored, name);
}

std::string LvglCImage(const LvglData& data, LvglCompression compression, const std::vector<std::uint8_t>& stored,
                       const std::string& name) {
  const std::string macro = "LV_ATTRIBUTE_" + Upper(name);
  std::string text = "#ifndef " + macro + "\n#define " + macro + "\n#endif\n\nstatic const\n";
  text += "LV_ATTRIBUTE_MEM_ALIGN LV_ATTRIBUTE_LARGE_CONST " + macro + "\nuint8_t " + name + "_map[] = {\n";
  text.reserve(text.size() + stored.size() * 5 + stored.size() / 4 + 600);
  if (compression != LvglCompression::kNone) {
    AppendSection(text, stored.data(), stored.size(), 16);
  } else {
    const std::size_t palette = LvglIsIndexed(data.format) ? (std::size_t{4} << LvglBitsPerPixel(data.format)) : 0;
    if (palette != 0) AppendSection(text, stored.data(), palette, 16);
    AppendSection(text, stored.data() + palette, stored.size() - palette, static_cast<std::size_t>(data.stride));
  }
  std::string flags = "0";
  if (compression != LvglCompression::kNone) flags += " | LV_IMAGE_FLAGS_COMPRESSED";
  if (data.premultiplied) flags += " | LV_IMAGE_FLAGS_PREMULTIPLIED";
  text += "\n};\n\nconst lv_image_dsc_t " + name + " = {\n  .header = {\n    .magic = LV_IMAGE_HEADER_MAGIC,\n";
  text += "    .cf = LV_COLOR_FORMAT_" + std::string(LvglFormatName(data.format)) + ",\n";
  text += "    .flags = " + flags + ",\n";
  text += "    .w = " + std::to_string(data.width) + ",\n    .h = " + std::to_string(data.height) + ",\n";
  text += "    .stride = " + std::to_string(data.stride) + ",\n    .reserved_2 = 0,\n  },\n";
  text += "  .data_size = sizeof(" + name + "_map),\n  .data = " + name + "_map,\n  .reserved = NULL,\n};\n\n";
  return text;
}

std::string LvglCAnimationTable(const std::string& name, const std::vector<std::uint32_t>& delays) {
  const std::string count = std::to_string(delays.size());
  std::string text = "const lv_image_dsc_t * const " + name + "_frames[" + count + "] = {\n";
  for (std::size_t i = 0; i < delays.size(); ++i) text += "  &" + name + "_" + std::to_string(i) + ",\n";
  text += "};\n\nconst uint32_t " + name + "_delays[" + count + "] = {";
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < delays.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(delays[i]);
    total += delays[i];
  }
  text += "};\n\nconst uint32_t " + name + "_frame_count = " + count + ";\n";
  text += "const uint32_t " + name + "_duration = " + std::to_string(total) + ";\n";
  return text;
}

sys::Code MakeLvglFile(const LvglPicture& picture, const LvglOptions& options, const OutputOptions& output,
                       std::string& file, sys::Context& ctx, LvglSizes* sizes) {
  LvglData data;
  if (MakeLvglData(picture, options, output, data, ctx) != sys::Code::kOk) return ctx.LastFailure();
  std::vector<std::uint8_t> stored;
  if (LvglStoredData(data, options.compression, stored, ctx) != sys::Code::kOk) return ctx.LastFailure();
  if (sizes != nullptr) {
    const std::size_t palette = LvglIsIndexed(data.format) ? (std::size_t{4} << LvglBitsPerPixel(data.format)) : 0;
    sizes->paletteBytes = static_cast<std::int64_t>(palette);
    sizes->pixelBytes = static_cast<std::int64_t>(data.bytes.size() - palette);
    sizes->storedBytes = static_cast<std::int64_t>(stored.size());
  }
  if (options.container == LvglContainer::kCSource) {
    file = LvglCSource(data, options.compression, stored, options.name.empty() ? "image" : options.name);
    return sys::Code::kOk;
  }
  const std::vector<std::uint8_t> header = LvglHeader(data, options.compression);
  file.assign(header.begin(), header.end());
  file.append(stored.begin(), stored.end());
  return sys::Code::kOk;
}

sys::Code WriteLvglImage(const Bitmap& image, const LvglOptions& options, const OutputOptions& output,
                         sys::ByteSink& sink, const std::string& path, sys::Context& ctx, LvglSizes* sizes) {
  LvglOptions named = options;
  if (named.name.empty()) named.name = LvglIdentifierOf(path);
  std::string file;
  if (MakeLvglFile(LvglPictureOf(image), named, output, file, ctx, sizes) != sys::Code::kOk) return ctx.LastFailure();
  if (file.size() > output.maxOutputBytes) {
    return ctx.Fail(sys::Code::kLimit, "the LVGL file would take " + std::to_string(file.size()) +
                                           " bytes, more than the largest file a save may write");
  }
  if (!sink.Write(file.data(), file.size())) {
    return ctx.Fail(sys::Code::kIo, "Could not write file " + path);
  }
  return sys::Code::kOk;
}

}  // namespace rastra

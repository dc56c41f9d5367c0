#include "readers/PaletteFile.h"

#include <array>
#include <cstring>
#include <optional>
#include <span>

namespace rastra {


namespace {

constexpr char kMagic[8] = {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l'};
constexpr int kMaxColors = 256;
constexpr int kMinColors = 2;
// Header, count, reserved word and 256 colours.
constexpr std::size_t kMaxFileBytes = 16 + 4 * kMaxColors;

// One line, as every report is; the layout the file should have is the cause.
constexpr const char* kIllegalHeader =
    "Illegal file header. Expecting the following: 00:U8  Header[8] = \"LumarPal\", 08:U32 NumColors, "
    "0C:U8  Reserved[4], 10:U32 _aColor[NumColors]";

std::uint32_t GetU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The bytes of a palette file as far as they were read; every read takes
// exactly n bytes or fails.
struct PaletteCursor {
  std::span<const std::uint8_t> data;
  std::size_t position = 0;

  bool ReadExactly(void* out, std::size_t n) {
    if (data.size() - position < n) return false;
    std::memcpy(out, data.data() + position, n);
    position += n;
    return true;
  }
};

int Fail(sys::Context& ctx, sys::Code code, const char* text) {
  ctx.Fail(code, text);
  return 1;
}

// The file's count and colours; the caller's palette receives them only when
// the whole file was good, so a failed load cannot leave an out-of-range count
// behind for the next conversion.
int ReadPalette(PaletteCursor& in, PaletteRef& palette, sys::Context& ctx) {
  using sys::Code;
  char magic[sizeof kMagic];
  if (!in.ReadExactly(magic, sizeof magic)) return Fail(ctx, Code::kTruncated, "_LoadPalette: Could not read header");
  if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return Fail(ctx, Code::kNotRecognised, kIllegalHeader);
  std::uint8_t word[4];
  if (!in.ReadExactly(word, sizeof word)) {
    return Fail(ctx, Code::kTruncated, "_LoadPalette: Could not read number of entries");
  }
  palette.count = static_cast<std::int32_t>(GetU32(word));
  if (palette.count > kMaxColors) return Fail(ctx, Code::kCorrupt, "_LoadPalette: Number of colors may not exceed 256 !");
  if (palette.count < kMinColors) {
    return Fail(ctx, Code::kCorrupt, "_LoadPalette: Number of colors may not be less than 2 !");
  }
  if (!in.ReadExactly(word, sizeof word)) return Fail(ctx, Code::kTruncated, "_LoadPalette: Dummy read at 0xc failed");
  std::array<std::uint8_t, 4 * kMaxColors> colours{};
  if (!in.ReadExactly(colours.data(), 4 * static_cast<std::size_t>(palette.count))) {
    return Fail(ctx, Code::kTruncated, "_LoadPalette: Could not read palette data");
  }
  for (int i = 0; i < palette.count; ++i) palette.colours[i] = GetU32(colours.data() + 4 * i);
  return 0;
}

}  // namespace

int _LoadPalette(const std::string& path, PaletteRef& palette, sys::Context& ctx) {
  std::optional<sys::File> file = sys::File::OpenRead(path);
  if (!file) return Fail(ctx, sys::Code::kIo, "Invalid file handle");
  return LoadPaletteFrom(*file, palette, ctx);
}

int LoadPaletteFrom(sys::File& file, PaletteRef& palette, sys::Context& ctx) {
  // Nothing past the largest palette is looked at.
  std::array<std::uint8_t, kMaxFileBytes> bytes{};
  const std::size_t got = file.Read(bytes.data(), bytes.size());
  if (got == 0) return Fail(ctx, sys::Code::kIo, "Could not get file information");
  return LoadPaletteData(std::span<const std::uint8_t>(bytes.data(), got), palette, ctx);
}

int LoadPaletteData(std::span<const std::uint8_t> data, PaletteRef& palette, sys::Context& ctx) {
  PaletteCursor in{data};
  PaletteRef read;
  if (ReadPalette(in, read, ctx) != 0) return 1;
  palette = read;
  return 0;
}

}  // namespace rastra

#include "readers/PaletteFile.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/Report.h"
#include "image/Palette.h"
#include "writers/TextOutput.h"

namespace {

constexpr char kMagic[8] = {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l'};
constexpr int kMaxColors = 256;
constexpr int kMinColors = 2;

constexpr const char* kIllegalHeader =
    "Illegal file header\nExcpecting the following:\n00:U8  Header[8] = \"LumarPal\"\n08:U32 NumColors\n"
    "0C:U8  Reserved[4]\n10:U32 _aColor[NumColors]\n";

std::uint32_t GetU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Reads exactly n bytes, or reports that fewer were there.
bool ReadExactly(std::ifstream& in, void* out, std::size_t n) {
  in.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
  return static_cast<std::size_t>(in.gcount()) == n;
}

int Fail(const char* text) {
  ReportText(text);
  return 1;
}

// The file's count and colours; CustomPalette() receives them only when the
// whole file was good, so a failed load cannot leave an out-of-range count
// behind for the next conversion.
int ReadPalette(std::ifstream& in, PaletteRef& palette) {
  char magic[sizeof kMagic];
  if (!ReadExactly(in, magic, sizeof magic)) return Fail("_LoadPalette: Could not read header");
  if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return Fail(kIllegalHeader);
  std::uint8_t word[4];
  if (!ReadExactly(in, word, sizeof word)) return Fail("_LoadPalette: Could not read number of entries");
  palette.count = static_cast<std::int32_t>(GetU32(word));
  if (palette.count > kMaxColors) return Fail("_LoadPalette: Number of colors may not exceed 256 !");
  if (palette.count < kMinColors) return Fail("_LoadPalette: Number of colors may not be less than 2 !");
  if (!ReadExactly(in, word, sizeof word)) return Fail("_LoadPalette: Dummy read at 0xc failed");
  std::array<std::uint8_t, 4 * kMaxColors> colours{};
  if (!ReadExactly(in, colours.data(), 4 * static_cast<std::size_t>(palette.count))) {
    return Fail("_LoadPalette: Could not read palette data");
  }
  for (int i = 0; i < palette.count; ++i) palette.colours[i] = GetU32(colours.data() + 4 * i);
  return 0;
}

}  // namespace

int _LoadPalette(const std::string& path) {
  std::error_code ec;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, ec)) in.open(path, std::ios::binary);
  if (!in.is_open()) return Fail("Invalid file handle");
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || size == 0) return Fail("Could not get file information");
  PaletteRef palette;
  if (ReadPalette(in, palette) != 0) return 1;
  CustomPalette() = palette;
  return 0;
}

int SavePaletteFile(const Bitmap& bitmap, sys::File& file) {
  OutAttach(file);
  std::uint8_t header[16] = {};
  std::memcpy(header, kMagic, sizeof kMagic);
  PutU32(header + 8, static_cast<std::uint32_t>(bitmap.NumColors));
  bool complete = OutWrite(header, sizeof header) != 0 && OutLastCopied() == sizeof header;
  for (int i = 0; complete && i < bitmap.NumColors; ++i) {
    std::uint8_t colour[4];
    PutU32(colour, Bitmap_GetPalColor(bitmap, i));
    complete = OutWrite(colour, sizeof colour) != 0 && OutLastCopied() == sizeof colour;
  }
  complete = OutFlush() != 0 && complete;
  OutDetach();
  return complete ? 0 : 1;
}

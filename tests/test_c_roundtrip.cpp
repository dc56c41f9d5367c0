// Compiles generated bitmap files the way a user's build would, against a
// stand-in GUI.h, links them with a small C decoder, and checks that the
// decoded pixels are the source pixels after the format's quantisation. The
// same decoder reads C streams in both byte orders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "image/Bitmap.h"
#include "image/ColorFormat.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "writers/CBitmapWriter.h"
#include "writers/SharedPaletteWriter.h"
#include "writers/StreamWriter.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::MakeBitmap;
using testing_support::TempDir;

// ---------------------------------------------------------------- source images

// Flat stretches for the run-length formats, noise and gradients for the rest.
Color SourcePixel(std::mt19937& random, int x, int y) {
  if (y % 5 == 1) return 0x00336699;                 // whole flat rows: long runs across row ends
  if (x >= 10 && x < 16) return 0x80FF8000 + y;      // short runs with partial transparency
  if (x == 20 || x == 21) return 0x000000FF;         // runs of two land in absolute blocks
  const std::uint32_t t = (x + y) % 7 == 0 ? 0xFF : (random() % 3 == 0 ? random() % 256 : 0);
  const std::uint32_t r = (x * 7 + random() % 9) & 0xFF;
  const std::uint32_t g = (y * 11 + random() % 9) & 0xFF;
  const std::uint32_t b = random() & 0xFF;
  return (t << 24) | (b << 16) | (g << 8) | r;
}

BitmapPtr MakeTrueColor(bool hasAlpha) {
  std::mt19937 random(1234);
  BitmapPtr b = MakeBitmap(37, 23, 0);
  for (int y = 0; y < b->YSize; ++y)
    for (int x = 0; x < b->XSize; ++x) Bitmap_SetPixel(*b, x, y, SourcePixel(random, x, y));
  b->HasAlpha = hasAlpha ? 1 : 0;
  return b;
}

BitmapPtr MakePalette(int entries, bool hasTrans) {
  std::mt19937 random(static_cast<unsigned>(entries));
  BitmapPtr b = MakeBitmap(37, 23, entries);
  for (int i = 0; i < entries; ++i) {
    const std::uint32_t t = i % 3 == 1 ? 0x40u << 24 : 0;  // palette T only the stream carries
    Bitmap_SetPalColor(*b, i, t | (random() & 0xFFFFFF));
  }
  for (int y = 0; y < b->YSize; ++y)
    for (int x = 0; x < b->XSize; ++x) {
      const bool flat = y % 4 == 2 || (x > 5 && x < 12);
      Bitmap_SetPixel(*b, x, y, flat ? static_cast<std::uint32_t>(entries - 1) : random() % entries);
    }
  b->HasTrans = hasTrans ? 1 : 0;
  return b;
}

struct Sources {
  BitmapPtr alpha = MakeTrueColor(true);
  BitmapPtr plain = MakeTrueColor(false);
  BitmapPtr p2 = MakePalette(2, true);
  BitmapPtr p4 = MakePalette(4, false);
  BitmapPtr p16 = MakePalette(16, false);
  BitmapPtr p256 = MakePalette(256, true);

  const Bitmap& ForPaletteFormat(int format) const {
    switch (format) {
      case 1: return *p2;
      case 2: return *p4;
      case 4:
      case 6: return *p16;
      default: return *p256;
    }
  }
};

const int kPaletteFormats[] = {1, 2, 4, 5, 6, 7};
const int kTrueColorFormats[] = {8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 99};

// ---------------------------------------------------------------- what a case expects

enum class Expect { PaletteColor, PaletteColorWithT, Index, Quantised, QuantisedWithT, Exact, Rgb, Transparency };

struct Case {
  std::string name;
  const Bitmap* source = nullptr;
  int format = 0;
  Expect expect = Expect::Exact;
  int colorFormat = -1;
};

struct Decoded {
  char kind = '?';
  int width = 0;
  int height = 0;
  int entries = 0;
  int hasTrans = 0;
  std::vector<std::uint32_t> values;
};

std::map<std::string, Decoded> ParseDecoderOutput(const std::string& text, std::vector<std::string>& errors) {
  std::map<std::string, Decoded> result;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word == "ERROR") {
      std::string rest;
      std::getline(in, rest);
      errors.push_back(rest);
      continue;
    }
    if (word != "BEGIN") continue;
    std::string name;
    Decoded d;
    in >> name >> d.kind >> d.width >> d.height >> d.entries >> d.hasTrans;
    while (in >> word && word != "END") d.values.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
    result[name] = d;
  }
  return result;
}

bool ChannelsClose(Color a, Color b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int da = static_cast<int>((a >> shift) & 0xFF);
    const int db = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(da - db) > 1) return false;
  }
  return true;
}

// Compares every pixel; reports the first few differences only.
void CheckCase(const Case& c, const Decoded& d) {
  const Bitmap& s = *c.source;
  ASSERT_EQ(d.width, s.XSize) << c.name;
  ASSERT_EQ(d.height, s.YSize) << c.name;
  ASSERT_EQ(d.values.size(), static_cast<std::size_t>(s.XSize) * s.YSize) << c.name;
  const char kind = c.expect == Expect::Index ? 'I' : c.expect == Expect::Transparency ? 'A' : 'C';
  ASSERT_EQ(d.kind, kind) << c.name;
  int mismatches = 0;
  for (int y = 0; y < s.YSize && mismatches < 5; ++y) {
    for (int x = 0; x < s.XSize && mismatches < 5; ++x) {
      const std::uint32_t raw = Bitmap_GetPixel(s, x, y);
      Color color = Bitmap_GetPixelColor(s, x, y);
      // A palette image's transparent entry stays transparent in the
      // FORMATs made from its colours (not in 18, the RLE8 of its indices).
      if (s.NumColors != 0 && s.HasTrans != 0 && raw == 0 && c.format >= 8 && c.format != 18) color |= 0xFF000000u;
      const std::uint32_t got = d.values[static_cast<std::size_t>(y) * s.XSize + x];
      bool ok = false;
      switch (c.expect) {
        case Expect::PaletteColor: ok = got == (color & 0xFFFFFF); break;
        case Expect::PaletteColorWithT: ok = got == color; break;
        case Expect::Index: ok = got == raw; break;
        case Expect::Exact: ok = got == color; break;
        case Expect::Rgb: ok = got == (color & 0xFFFFFF); break;
        case Expect::Transparency: ok = got == color >> 24; break;
        case Expect::Quantised:
        case Expect::QuantisedWithT: {
          const ColorFormat& f = GetColorFormat(c.colorFormat);
          const Color q = f.IndexToColor(f.ColorToIndex(color));
          const std::uint32_t t = c.expect == Expect::QuantisedWithT ? color >> 24 : 0;
          ok = (got >> 24) == t && ChannelsClose(got, q);
          break;
        }
      }
      if (!ok) {
        ++mismatches;
        ADD_FAILURE() << c.name << " pixel " << x << "," << y << ": decoded " << std::hex << got << ", source "
                      << color;
      }
    }
  }
}

Expect TrueColorExpectation(int format) {
  switch (format) {
    case 15:
    case 16:
    case 29:
    case 99: return Expect::Exact;
    case 17: return Expect::Rgb;
    case 18: return Expect::Transparency;
    case 25:
    case 26:
    case 27:
    case 28: return Expect::QuantisedWithT;
    default: return Expect::Quantised;
  }
}

// ---------------------------------------------------------------- writing and compiling

void WriteCFile(const std::string& path, const Bitmap& b, int format, int noPalette, const OutputOptions& options,
                const SharedPaletteRef* shared = nullptr) {
  auto file = sys::File::Create(path);
  ASSERT_TRUE(file.has_value()) << path;
  sys::Context ctx;
  OutBuffer out(*file);
  ASSERT_EQ(WriteCBitmapFile(out, OutputSpec{format, noPalette, shared}, &b, path, options, ctx), sys::Code::kOk)
      << path << ": " << ctx.LastFailureText();
  ASSERT_TRUE(OutComplete(out));
  ASSERT_TRUE(file->Close());
}

void WriteStream(const std::string& path, const Bitmap& b, int format, int noPalette, const OutputOptions& options) {
  auto file = sys::File::Create(path);
  ASSERT_TRUE(file.has_value()) << path;
  sys::Context ctx;
  OutBuffer out(*file);
  ASSERT_EQ(WriteStreamedBitmap(out, OutputSpec{format, noPalette}, options, &b, ctx), sys::Code::kOk)
      << path << ": " << ctx.LastFailureText();
  ASSERT_TRUE(OutComplete(out));
  ASSERT_TRUE(file->Close());
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The list of bitmaps the decoder walks.
void WriteList(const TempDir& dir, const std::vector<Case>& cases) {
  std::string list = "#include \"GUI.h\"\n";
  std::string table = "const GUI_BITMAP* const apRoundBitmaps[] = {\n";
  std::string names = "const char* const apRoundNames[] = {\n";
  for (const Case& c : cases) {
    list += "extern const GUI_BITMAP bm" + c.name + ";\n";
    table += "  &bm" + c.name + ",\n";
    names += "  \"" + c.name + "\",\n";
  }
  list += table + "};\n" + names + "};\nconst int RoundNumBitmaps = " + std::to_string(cases.size()) + ";\n";
  std::ofstream(dir.File("list.c")) << list;
}

// Writes the C files of every FORMAT into dir and the list the decoder walks.
std::vector<Case> WriteCFiles(const TempDir& dir, const Sources& src, const OutputOptions& options) {
  std::vector<Case> cases;
  for (int format : kPaletteFormats) {
    for (int noPalette : {0, 1}) {
      Case c{"p" + std::to_string(format) + "_" + std::to_string(noPalette), &src.ForPaletteFormat(format), format,
             noPalette == 0 ? Expect::PaletteColor : Expect::Index};
      cases.push_back(c);
    }
  }
  cases.push_back({"p18", src.p256.get(), 18, Expect::PaletteColor});   // RLE8 of the indices
  cases.push_back({"p8", src.p16.get(), 8, Expect::Quantised, kFormat565});  // written from its colours
  for (int format : {16, 25, 29}) {  // a transparent entry's pixels in the FORMATs with alpha
    cases.push_back({"q" + std::to_string(format), src.p256.get(), format, TrueColorExpectation(format),
                     FindFormat(format)->colorFormat});
  }
  for (int format : kTrueColorFormats) {
    cases.push_back({"t" + std::to_string(format), src.alpha.get(), format, TrueColorExpectation(format),
                     FindFormat(format)->colorFormat});
  }
  for (int format : {16, 29, 99}) {
    cases.push_back({"n" + std::to_string(format), src.plain.get(), format, Expect::Rgb});
  }
  for (const Case& c : cases) {
    const int noPalette = c.expect == Expect::Index ? 1 : 0;
    WriteCFile(dir.File(c.name + ".c"), *c.source, c.format, noPalette, options);
  }
  WriteList(dir, cases);
  return cases;
}

bool Compile(const TempDir& dir, const std::vector<Case>& cases, int useArgb, std::string& log,
             const std::string& moreFiles = "") {
  const std::string cround = std::string(RASTRA_SOURCE_DIR) + "/tests/cround";
  std::string command = "cd " + Quoted(dir.Path().string()) + " && " + Quoted(RASTRA_C_COMPILER) +
                        " -std=c99 -pedantic -Wall -Werror -I" + Quoted(cround) +
                        " -DGUI_USE_ARGB=" + std::to_string(useArgb) + " -o decode " + Quoted(cround + "/decode.c") +
                        " list.c";
  for (const Case& c : cases) command += " " + c.name + ".c";
  command += moreFiles + " > cc.log 2>&1";
  const int status = std::system(command.c_str());
  log = testing_support::ReadText(dir.File("cc.log"));
  return status == 0;
}

std::string RunDecoder(const TempDir& dir, const std::string& arguments) {
  const std::string command =
      "cd " + Quoted(dir.Path().string()) + " && ./decode " + arguments + " > decoded.txt 2> decode.err";
  EXPECT_EQ(std::system(command.c_str()), 0);
  return testing_support::ReadText(dir.File("decoded.txt"));
}

// A stream without palette also counts no entries; a C file keeps the count.
void CheckDecoded(const std::vector<Case>& cases, const std::string& output, bool streams) {
  std::vector<std::string> errors;
  const auto decoded = ParseDecoderOutput(output, errors);
  EXPECT_TRUE(errors.empty()) << errors.front();
  for (const Case& c : cases) {
    const auto it = decoded.find(c.name);
    if (it == decoded.end()) {
      ADD_FAILURE() << c.name << " was not decoded";
      continue;
    }
    CheckCase(c, it->second);
    if (c.expect == Expect::PaletteColor || c.expect == Expect::Index || c.expect == Expect::PaletteColorWithT) {
      const int entries = streams && c.expect == Expect::Index ? 0 : c.source->NumColors;
      EXPECT_EQ(it->second.entries, entries) << c.name;
      EXPECT_EQ(it->second.hasTrans, c.source->HasTrans) << c.name;
    }
  }
}

// ---------------------------------------------------------------- the round trips

class CRoundTripTest : public ::testing::TestWithParam<int> {};

TEST_P(CRoundTripTest, CompiledFilesDecodeToTheSourcePixels) {
  const int argb = GetParam();
  const OutputOptions options{.useArgb = argb != 0};
  Sources src;
  TempDir dir;
  const std::vector<Case> cases = WriteCFiles(dir, src, options);
  std::string log;
  ASSERT_TRUE(Compile(dir, cases, argb, log)) << log;
  CheckDecoded(cases, RunDecoder(dir, ""), false);

  // Streams through the same decoder: palette forms by the ARGB option, every
  // colour format in both byte orders.
  std::vector<Case> streams;
  std::string arguments;
  for (int format : kPaletteFormats) {
    for (int noPalette : {0, 1}) {
      const std::string name = "s" + std::to_string(format) + "_" + std::to_string(noPalette) + ".dta";
      WriteStream(dir.File(name), src.ForPaletteFormat(format), format, noPalette, options);
      streams.push_back({name, &src.ForPaletteFormat(format), format,
                         noPalette == 0 ? Expect::PaletteColorWithT : Expect::Index});
      arguments += " " + name + " " + std::to_string(argb) + " 0";
    }
  }
  for (int format : kTrueColorFormats) {
    if (format == 99) continue;
    for (int bigEndian : {0, 1}) {
      const std::string name = "s" + std::to_string(format) + "_" + std::to_string(bigEndian) + ".dta";
      const OutputOptions order{.useArgb = argb != 0, .bigEndian = bigEndian != 0};
      WriteStream(dir.File(name), *src.alpha, format, 0, order);
      const Expect expect = format == 16 || format == 29 ? Expect::Exact : TrueColorExpectation(format);
      streams.push_back({name, src.alpha.get(), format, expect, FindFormat(format)->colorFormat});
      arguments += " " + name + " 0 " + std::to_string(bigEndian);
    }
  }
  for (int format : {16, 25}) {
    const std::string name = "q" + std::to_string(format) + ".dta";
    WriteStream(dir.File(name), *src.p256, format, 0, options);
    streams.push_back({name, src.p256.get(), format, format == 16 ? Expect::Exact : TrueColorExpectation(format),
                       FindFormat(format)->colorFormat});
    arguments += " " + name + " 0 0";
  }
  CheckDecoded(streams, RunDecoder(dir, arguments), true);
}

INSTANTIATE_TEST_SUITE_P(ArgbOffAndOn, CRoundTripTest, ::testing::Values(0, 1));

// Bitmap files on a shared palette compile with the palette's C file and draw
// with its colours, packed and run-length coded alike; none of them carries a
// palette of its own, and a picture on another palette carries its own.
TEST_P(CRoundTripTest, FilesOnASharedPaletteDrawThroughIt) {
  const int argb = GetParam();
  const OutputOptions options{.useArgb = argb != 0};
  const BitmapPtr first = MakePalette(16, true);
  BitmapPtr second = MakePalette(16, true);
  for (int y = 0; y < second->YSize; ++y)
    for (int x = 0; x < second->XSize; ++x) Bitmap_SetPixel(*second, x, y, static_cast<std::uint32_t>(x * y % 16));
  const BitmapPtr other = MakePalette(4, false);
  const SharedPaletteRef shared{"icons", Bitmap_GetPalette(*first), true};
  TempDir dir;
  {
    auto file = sys::File::Create(dir.File("icons.c"));
    ASSERT_TRUE(file.has_value());
    sys::Context ctx;
    OutBuffer out(*file);
    ASSERT_EQ(WriteCPaletteFile(out, shared.palette, true, dir.File("icons.c"), options, ctx), sys::Code::kOk);
    ASSERT_TRUE(OutComplete(out) && file->Close());
  }
  const Expect colour = Expect::PaletteColor;
  const std::vector<Case> cases = {{"a4", first.get(), 4, colour}, {"a6", first.get(), 6, colour},
                                   {"b5", second.get(), 5, colour}, {"b7", second.get(), 7, colour},
                                   {"own", other.get(), 2, colour}};
  for (const Case& c : cases) WriteCFile(dir.File(c.name + ".c"), *c.source, c.format, 0, options, &shared);
  WriteList(dir, cases);
  std::string log;
  ASSERT_TRUE(Compile(dir, cases, argb, log, " icons.c")) << log;
  CheckDecoded(cases, RunDecoder(dir, ""), false);
  for (const Case& c : cases) {
    const std::string text = testing_support::ReadText(dir.File(c.name + ".c"));
    const bool onShared = c.name != "own";
    EXPECT_EQ(text.find("extern GUI_CONST_STORAGE GUI_LOGPALETTE Palicons;") != std::string::npos, onShared) << c.name;
    EXPECT_EQ(text.find("_Colors" + c.name) != std::string::npos, !onShared) << c.name;
  }
}

}  // namespace

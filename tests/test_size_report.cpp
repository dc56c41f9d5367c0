// The size report: which FORMATs it lists for an image, which row it marks,
// its table and CSV texts, and numbers that are exactly those of the files a
// save writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "CoreTestSupport.h"
#include "ReportCapture.h"
#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/Session.h"
#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "sys/File.h"
#include "writers/CBitmapWriter.h"
#include "writers/ImageWriters.h"
#include "writers/OutputSize.h"
#include "writers/SizeReport.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using testing_support::CopyBitmap;
using testing_support::MakeBitmap;
using testing_support::ReadBytes;
using testing_support::ReadText;
using testing_support::TempDir;

// ---------------------------------------------------------------- pictures

// A deterministic pseudo-random sequence, so the pictures are the same on
// every run.
class Noise {
 public:
  std::uint32_t Next(std::uint32_t range) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 16) % range;
  }

 private:
  std::uint32_t state_ = 2024;
};

Color Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t t = 0) {
  return (t << 24) | (b << 16) | (g << 8) | r;
}

void Fill(Bitmap& image, Color (*colour)(int x, int y, Noise& noise)) {
  Noise noise;
  for (int y = 0; y < image.YSize; ++y)
    for (int x = 0; x < image.XSize; ++x) Bitmap_StoreColor(image.Row(y) + 4 * x, colour(x, y, noise));
}

// Smooth gradients under noise: hardly two neighbours alike.
BitmapPtr Photo() {
  BitmapPtr image = MakeBitmap(97, 61, 0);
  Fill(*image, [](int x, int y, Noise& noise) {
    return Rgb((x * 2 + noise.Next(9)) % 256, (y * 4 + noise.Next(9)) % 256, (x + y + noise.Next(9)) % 256);
  });
  return image;
}

// Panels and bars of a few colours: long runs, short ones at the edges.
BitmapPtr FlatUi() {
  BitmapPtr image = MakeBitmap(160, 90, 0);
  Fill(*image, [](int x, int y, Noise&) {
    if (y < 12) return Rgb(0x33, 0x66, 0xCC);
    if (x < 3) return Rgb(0x30, 0x30, 0x30);
    if (x >= 40 && x < 90 && y >= 30 && y < 45) return (x + y) % 7 == 0 ? Rgb(0, 0, 0) : Rgb(0xFF, 0xFF, 0xFF);
    return Rgb(0xF0, 0xF0, 0xF0);
  });
  return image;
}

// Two palette entries in stripes of changing width, with single dots.
BitmapPtr OneBit() {
  BitmapPtr image = MakeBitmap(75, 33, 2);
  Bitmap_SetPalColor(*image, 0, Rgb(0, 0, 0));
  Bitmap_SetPalColor(*image, 1, Rgb(0xFF, 0xFF, 0xFF));
  Noise noise;
  for (int y = 0; y < image->YSize; ++y)
    for (int x = 0; x < image->XSize; ++x) image->Row(y)[x] = (x / (1 + y % 5)) % 2 != 0 || noise.Next(17) == 0;
  return image;
}

// Colours under a transparency ramp, fully transparent corners.
BitmapPtr AlphaPicture() {
  BitmapPtr image = MakeBitmap(64, 48, 0);
  Fill(*image, [](int x, int y, Noise& noise) {
    const std::uint32_t t = x < 10 && y < 10 ? 255 : static_cast<std::uint32_t>(x * 4);
    return Rgb(x * 4, 128 + noise.Next(3), y * 5, t);
  });
  image->HasAlpha = 1;
  return image;
}

// The photo on its best palette: a palette image too big for the packed
// FORMATs below 8 bits.
BitmapPtr PalettePhoto() {
  sys::Context ctx;
  return ConvertToBestPalette(*Photo(), OutputOptions{}, ctx);
}

struct Picture {
  std::string name;
  BitmapPtr image;
};

std::vector<Picture> Pictures() {
  std::vector<Picture> pictures;
  pictures.push_back({"photo", Photo()});
  pictures.push_back({"flat UI", FlatUi()});
  pictures.push_back({"1-bit", OneBit()});
  pictures.push_back({"alpha", AlphaPicture()});
  pictures.push_back({"palette photo", PalettePhoto()});
  return pictures;
}

std::vector<FormatSize> Report(const Bitmap& image) {
  sys::Context ctx;
  std::vector<FormatSize> rows;
  EXPECT_EQ(ComputeSizeReport(image, OutputOptions{}, rows, ctx), sys::Code::kOk);
  EXPECT_TRUE(ctx.Messages().empty());
  return rows;
}

std::vector<int> FormatsOf(const std::vector<FormatSize>& rows) {
  std::vector<int> formats;
  for (const FormatSize& row : rows) formats.push_back(row.format);
  return formats;
}

const FormatSize& Row(const std::vector<FormatSize>& rows, int format) {
  for (const FormatSize& row : rows)
    if (row.format == format) return row;
  static const FormatSize none;
  ADD_FAILURE() << "no row for FORMAT " << format;
  return none;
}

// ---------------------------------------------------------------- generated C text

// The text of one array's body: from its declaration to the closing brace.
std::string ArrayBody(const std::string& text, const std::string& name, std::string& type) {
  const std::size_t declaration = text.find(" " + name + "[] = {");
  if (declaration == std::string::npos) return {};
  const std::size_t lineStart = text.rfind('\n', declaration) + 1;
  type = text.substr(lineStart, declaration - lineStart);
  const std::size_t start = text.find('\n', declaration) + 1;
  return text.substr(start, text.find("\n};", start) - start);
}

// The elements the compiler sees in an array body: comments dropped and, of
// the two variants under a GUI_USE_ARGB switch, the first.
std::int64_t ElementCount(const std::string& body) {
  std::string kept;
  bool skipping = false;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("#if", 0) == 0 || line.rfind("#endif", 0) == 0) {
      skipping = false;
      continue;
    }
    if (line.rfind("#else", 0) == 0) {
      skipping = true;
      continue;
    }
    if (!skipping) kept += line + "\n";
  }
  for (std::size_t open = kept.find("/*"); open != std::string::npos; open = kept.find("/*")) {
    kept.erase(open, kept.find("*/", open) + 2 - open);
  }
  std::int64_t count = 0;
  std::istringstream elements(kept);
  for (std::string element; std::getline(elements, element, ',');) {
    if (element.find_first_not_of(" \r\n") != std::string::npos) ++count;
  }
  return count;
}

std::int64_t ElementBytes(const std::string& type) {
  if (type.ends_with("unsigned char")) return 1;
  if (type.ends_with("unsigned short")) return 2;
  if (type.ends_with("U32") || type.ends_with("GUI_COLOR")) return 4;
  ADD_FAILURE() << "unknown element type: " << type;
  return 0;
}

struct CFileBytes {
  std::int64_t data = 0;
  std::int64_t palette = 0;
  std::int64_t flash = 0;
};

// What the C file for identifier id holds, counted in its text.
CFileBytes CountedInText(const std::string& text, const std::string& id) {
  CFileBytes bytes;
  std::string type;
  const std::string data = ArrayBody(text, "_ac" + id, type);
  EXPECT_FALSE(data.empty()) << "no data array _ac" << id;
  bytes.data = ElementCount(data) * ElementBytes(type);
  const std::string palette = ArrayBody(text, "_Colors" + id, type);
  if (!palette.empty()) bytes.palette = ElementCount(palette) * ElementBytes(type);
  const bool logPalette = text.find("GUI_LOGPALETTE _Pal" + id + " = {") != std::string::npos;
  EXPECT_NE(text.find("GUI_BITMAP bm" + id + " = {"), std::string::npos);
  bytes.flash = bytes.data + bytes.palette + (logPalette ? kLogPaletteBytes : 0) + kBitmapStructBytes;
  return bytes;
}

// ---------------------------------------------------------------- saving as -saveas does

// Saves a copy of picture with the saveas command, conversions included.
void SaveWithCommand(const Bitmap& picture, const std::string& path, int type, int format) {
  ResetDocument();
  GetDocument().current = CopyBitmap(picture);
  ImmediateSink sink;
  CommandSession session(GetDocument(), sink, OutputOptions{});
  session.cursor = ParameterCursor{path + "," + std::to_string(type) + "," + std::to_string(format)};
  SaveAsCommand(session);
}

std::string CFileName(int format) { return "c" + std::to_string(format); }

// Compiles every C file named in rows for a 32-bit target and asserts the
// size of each array and structure there; returns the compiler's words.
std::string CompileFor32Bit(const TempDir& dir, const std::vector<FormatSize>& rows, const std::string& target) {
#ifdef RASTRA_CLANG
  std::filesystem::create_directories(dir.Path() / "stub");
  // The target has no C library here; the generated files need NULL only.
  std::ofstream(dir.File("stub/stddef.h")) << "#define NULL ((void*)0)\n";
  std::ofstream(dir.File("stub/stdlib.h")) << "\n";
  std::ofstream unit(dir.File("sizes.c"));
  for (const FormatSize& row : rows) {
    const std::string id = CFileName(row.format);
    unit << "#include \"" << id << ".c\"\n";
    unit << "_Static_assert(sizeof(_ac" << id << ") == " << row.pixelBytes << ", \"data " << id << "\");\n";
    unit << "_Static_assert(sizeof(bm" << id << ") == " << kBitmapStructBytes << ", \"bitmap " << id << "\");\n";
    if (row.paletteBytes != 0) {
      unit << "_Static_assert(sizeof(_Colors" << id << ") == " << row.paletteBytes << ", \"palette " << id << "\");\n";
      unit << "_Static_assert(sizeof(_Pal" << id << ") == " << kLogPaletteBytes << ", \"logpal " << id << "\");\n";
    }
  }
  unit.close();
  const std::string command = "cd '" + dir.Path().string() + "' && '" + RASTRA_CLANG + "' --target=" + target +
                              " -nostdinc -Istub -I'" + RASTRA_SOURCE_DIR + "/tests/cround' -std=c11 -fsyntax-only" +
                              " sizes.c > cc.log 2>&1";
  const int status = std::system(command.c_str());
  const std::string log = ReadText(dir.File("cc.log"));
  return status == 0 ? std::string() : "compiler failed:\n" + log;
#else
  (void)dir;
  (void)rows;
  (void)target;
  return {};
#endif
}

// ---------------------------------------------------------------- which rows

TEST(SizeReportRowsTest, TrueColourImageListsEveryFormat) {
  const std::vector<FormatSize> rows = Report(*Photo());
  EXPECT_EQ(FormatsOf(rows), (std::vector<int>{1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22,
                                               23, 24, 25, 26, 27, 28, 29, 99}));
  // The palette FORMATs take the conversions of -saveas.
  EXPECT_EQ(ConversionName(Row(rows, 1).step), "BW");
  EXPECT_EQ(ConversionName(Row(rows, 2).step), "Gray4");
  EXPECT_EQ(ConversionName(Row(rows, 4).step), "Gray16");
  EXPECT_EQ(ConversionName(Row(rows, 6).step), "Gray16");
  EXPECT_EQ(ConversionName(Row(rows, 5).step), "8666");
  EXPECT_EQ(ConversionName(Row(rows, 7).step), "8666");
  for (int format : {8, 15, 18, 99}) EXPECT_EQ(Row(rows, format).step.conversion, SaveConversion::kNone);
  EXPECT_FALSE(Row(rows, 99).streamBytes.has_value());
  EXPECT_TRUE(Row(rows, 18).alphaOnly);
}

TEST(SizeReportRowsTest, PaletteImageConvertsOnlyWhatDoesNotFit) {
  const std::vector<FormatSize> twoColours = Report(*OneBit());
  EXPECT_EQ(FormatsOf(twoColours),
            (std::vector<int>{1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 19, 20, 21, 22, 23, 24, 29, 99}));
  for (int format : {1, 2, 4, 5, 6, 7}) EXPECT_EQ(Row(twoColours, format).step.conversion, SaveConversion::kNone);
  EXPECT_EQ(Row(twoColours, 12).step.conversion, SaveConversion::kTrueColor);
  EXPECT_EQ(Row(twoColours, 1).paletteBytes, 2 * kPaletteEntryBytes);

  BitmapPtr palettePhoto = PalettePhoto();
  ASSERT_GT(palettePhoto->NumColors, 16);
  const std::vector<FormatSize> many = Report(*palettePhoto);
  EXPECT_EQ(ConversionName(Row(many, 4).step), "Gray16");
  EXPECT_EQ(Row(many, 4).paletteBytes, 16 * kPaletteEntryBytes);
  EXPECT_EQ(Row(many, 5).step.conversion, SaveConversion::kNone);
  EXPECT_EQ(Row(many, 5).paletteBytes, palettePhoto->NumColors * kPaletteEntryBytes);
}

// The decision -saveas takes too: a palette image is converted only when it
// has more colours than the FORMAT holds. At exactly that many it must keep
// its own colours (four colours in FORMAT 2 do not turn grey).
TEST(SizeReportRowsTest, PaletteImageFillingAFormatExactlyKeepsItsColours) {
  struct Fit {
    int format;
    int holds;
    const char* conversion;  // for one colour more
  };
  for (const Fit& fit : {Fit{1, 2, "BW"}, Fit{2, 4, "Gray4"}, Fit{4, 16, "Gray16"}, Fit{6, 16, "Gray16"}}) {
    SCOPED_TRACE(fit.format);
    EXPECT_EQ(SaveStepFor(fit.format, *MakeBitmap(1, 1, fit.holds)).conversion, SaveConversion::kNone);
    EXPECT_EQ(ConversionName(SaveStepFor(fit.format, *MakeBitmap(1, 1, fit.holds + 1))), fit.conversion);
  }
}

// ---------------------------------------------------------------- the mark

std::vector<int> Marked(const std::vector<FormatSize>& rows) {
  std::vector<int> marked;
  for (const FormatSize& row : rows)
    if (row.smallest) marked.push_back(row.format);
  return marked;
}

TEST(SizeReportMarkTest, SmallestRowKeepsThePicture) {
  // The flat picture compresses best in RLE16; converting it to BW or
  // writing its alpha channel alone would be smaller still, but another picture.
  const std::vector<FormatSize> flat = Report(*FlatUi());
  ASSERT_EQ(Marked(flat), std::vector<int>{12});
  EXPECT_LT(Row(flat, 6).flashBytes, Row(flat, 12).flashBytes);
  EXPECT_LT(Row(flat, 18).flashBytes, Row(flat, 12).flashBytes);
  for (const FormatSize& row : flat) {
    if (row.step.conversion == SaveConversion::kNone && !row.alphaOnly) {
      EXPECT_GE(row.flashBytes, Row(flat, 12).flashBytes) << row.format;
    }
  }
  // The noisy photo does not compress: the 16-bit FORMATs tie, the lowest code wins.
  EXPECT_EQ(Marked(Report(*Photo())), std::vector<int>{8});
  // An image with alpha keeps it.
  const std::vector<FormatSize> alpha = Report(*AlphaPicture());
  ASSERT_EQ(Marked(alpha).size(), 1u);
  const int marked = Marked(alpha).front();
  EXPECT_TRUE(marked == 15 || marked == 16 || (marked >= 25 && marked <= 29) || marked == 99) << marked;
  EXPECT_LT(Row(alpha, 8).flashBytes, Row(alpha, marked).flashBytes);
}

// ---------------------------------------------------------------- texts

TEST(SizeReportTextTest, TableAlignsColumnsAndMarksTheSmallestRow) {
  BitmapPtr image = OneBit();
  const std::vector<FormatSize> rows = Report(*image);
  const std::string table = SizeReportTable(*image, rows);
  std::vector<std::string> lines;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), rows.size() + 4);
  EXPECT_EQ(lines[0], "Bytes per FORMAT for this 75 x 33 image, 2 palette colors");
  EXPECT_EQ(lines[1].rfind("   FORMAT  Name", 0), 0u);
  // Every number column ends where its header ends.
  const std::size_t flashEnd = lines[1].find("C flash") + std::string("C flash").size();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& line = lines[i + 2];
    EXPECT_EQ(line[0] == '*', rows[i].smallest) << line;
    const std::string flash = std::to_string(rows[i].flashBytes);
    EXPECT_EQ(line.substr(flashEnd - flash.size(), flash.size()), flash) << line;
    EXPECT_EQ(line[flashEnd - flash.size() - 1], ' ') << line;
  }
  const std::size_t highColour = static_cast<std::size_t>(&Row(rows, 8) - rows.data());
  EXPECT_NE(lines[2 + highColour].find("converts to true color first"), std::string::npos) << lines[2 + highColour];
  EXPECT_EQ(lines[rows.size() + 2].rfind("C flash: ", 0), 0u);
}

TEST(SizeReportTextTest, CsvQuotesNamesWithCommasAndLeavesNoStreamEmpty) {
  const std::vector<FormatSize> rows = Report(*Photo());
  const std::string csv = SizeReportCsv(rows);
  std::istringstream in(csv);
  std::string header;
  std::getline(in, header);
  EXPECT_EQ(header, "format,name,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,dta_bytes,converts_to,smallest");
  std::map<int, std::string> lines;
  for (std::string line; std::getline(in, line);) lines[std::stoi(line)] = line;
  ASSERT_EQ(lines.size(), rows.size());
  const FormatSize& swapped = Row(rows, 9);
  EXPECT_EQ(lines[9], "9,\"High color (565), RB swap\",16," + std::to_string(swapped.pixelBytes) + ",0," +
                          std::to_string(swapped.flashBytes) + "," + std::to_string(*swapped.streamBytes) + ",,0");
  EXPECT_TRUE(lines[99].ends_with("," + std::to_string(Row(rows, 99).flashBytes) + ",,,0")) << lines[99];
  EXPECT_TRUE(lines[6].ends_with(",Gray16,0")) << lines[6];
  EXPECT_TRUE(lines[8].ends_with(",,1")) << lines[8];
}

TEST(SizeReportFailureTest, MemoryCeilingGivesNoRows) {
  BitmapPtr image = FlatUi();
  sys::Context ctx;
  ctx.SetMaxBlockBytes(1000);  // the compared values of the RLE rows need more
  std::vector<FormatSize> rows(1);
  EXPECT_EQ(ComputeSizeReport(*image, OutputOptions{}, rows, ctx), sys::Code::kOutOfMemory);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(testing_support::Recorded(ctx, sys::Code::kOutOfMemory));
}

// ---------------------------------------------------------------- exactness

TEST(SizeReportExactTest, EveryNumberIsThatOfTheWrittenFiles) {
  testing_support::ReportCapture reports;
  for (const Picture& picture : Pictures()) {
    SCOPED_TRACE(picture.name);
    TempDir dir;
    const std::vector<FormatSize> rows = Report(*picture.image);
    for (const FormatSize& row : rows) {
      SCOPED_TRACE("FORMAT " + std::to_string(row.format));
      const std::string id = CFileName(row.format);
      SaveWithCommand(*picture.image, dir.File(id + ".c"), 1, row.format);
      const CFileBytes counted = CountedInText(ReadText(dir.File(id + ".c")), id);
      EXPECT_EQ(row.pixelBytes, counted.data);
      EXPECT_EQ(row.paletteBytes, counted.palette);
      EXPECT_EQ(row.flashBytes, counted.flash);

      const std::string stream = dir.File("s" + std::to_string(row.format) + ".dta");
      SaveWithCommand(*picture.image, stream, 3, row.format);
      if (row.streamBytes) {
        EXPECT_EQ(*row.streamBytes, static_cast<std::int64_t>(ReadBytes(stream).size()));
      } else {
        EXPECT_FALSE(std::filesystem::exists(stream));
        EXPECT_TRUE(reports.Reported(kFormatMismatchText));
        reports.Clear();
      }
    }
    EXPECT_TRUE(reports.Texts().empty()) << reports.Texts().front();
    // A Cortex-M, the kind of target the files are made for.
    const std::string failure = CompileFor32Bit(dir, rows, "armv7m-none-eabi");
    EXPECT_TRUE(failure.empty()) << failure;
  }
  ResetDocument();
}

// ---------------------------------------------------------------- command line

TEST(SizeReportCommandTest, PrintsTheTableOrCsvForTheOpenedImage) {
  TempDir dir;
  BitmapPtr image = FlatUi();
  const std::string png = dir.File("ui.png");
  {
    sys::Context ctx;
    BitmapPtr written;
    auto file = sys::File::Create(png);
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(WriteImageFile(image.get(), *file, png, OutputSpec{}, kOutputPng, OutputOptions{}, ctx).code,
              sys::Code::kOk);
  }
  // The picture as the reader gives it back: a PNG comes with an alpha channel.
  ResetDocument();
  ASSERT_NE(OpenImageFile(png), nullptr);
  const Bitmap& opened = *GetDocument().current;
  const std::vector<FormatSize> rows = Report(opened);

  const testing_support::RunResult table = testing_support::RunRastra({png, "-sizereport", "-exit"}, dir.Path());
  EXPECT_EQ(table.exitCode, 0) << table.err;
  EXPECT_EQ(table.out, SizeReportTable(opened, rows));

  const testing_support::RunResult csv = testing_support::RunRastra({png, "-sizereportcsv", "-exit"}, dir.Path());
  EXPECT_EQ(csv.exitCode, 0) << csv.err;
  EXPECT_EQ(csv.out, SizeReportCsv(rows));
  ResetDocument();
}

TEST(SizeReportCommandTest, RefusesUnknownFormsAndMissingImages) {
  TempDir dir;
  const testing_support::RunResult json = testing_support::RunRastra({"-sizereportjson", "-exit"}, dir.Path());
  EXPECT_EQ(json.exitCode, 1);
  EXPECT_TRUE(json.out.empty());
  EXPECT_NE(ReadText(dir.File("Rastra.log")).find("\"json\": the size report is a table, or CSV with -sizereportcsv"),
            std::string::npos);

  const testing_support::RunResult none = testing_support::RunRastra({"-sizereport", "-exit"}, dir.Path());
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(ReadText(dir.File("Rastra.log")).find("An image needs to be opened before its sizes can be reported."),
            std::string::npos);
}

TEST(SizeReportCommandTest, RowComesAfterTheHelpRowsAndIsNoPrefixOfAnotherCommand) {
  const CommandEntry* row = LookupCommand("sizereportcsv");
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->keyword, "sizereport");
  EXPECT_EQ(row->id, 1815);
  EXPECT_GT(row, LookupCommand("?"));
  for (const CommandEntry& entry : CommandTable) {
    if (&entry == row) continue;
    EXPECT_FALSE(std::string_view(entry.keyword).starts_with(row->keyword)) << entry.keyword;
    EXPECT_FALSE(std::string_view(row->keyword).starts_with(entry.keyword)) << entry.keyword;
  }
  EXPECT_NE(ComposeHelpText().find("-sizereport\t\t[csv]\r\n"), std::string::npos);
}

// ---------------------------------------------------------------- output size

// The FORMATs a TYPE takes (0 for the TYPEs without FORMAT).
std::vector<int> FormatsOf(int type) {
  if (type != kOutputCBitmap && type != kOutputCStream) return {0};
  std::vector<int> formats;
  for (const FormatEntry& entry : FormatTable()) formats.push_back(entry.code);
  return formats;
}

// Wide pictures, whose data outweighs every fixed part of a file many times:
// a bound that is short per pixel shows on them.
std::vector<Picture> WidePictures() {
  std::vector<Picture> pictures;
  BitmapPtr photo = MakeBitmap(4000, 80, 0);
  Fill(*photo, [](int x, int y, Noise& noise) { return Rgb(x % 256, (y * 4) % 256, noise.Next(256)); });
  pictures.push_back({"wide photo", std::move(photo)});
  BitmapPtr twoColours = MakeBitmap(4000, 80, 2);
  Noise noise;
  for (int y = 0; y < twoColours->YSize; ++y) {
    for (int x = 0; x < twoColours->XSize; ++x) twoColours->Row(y)[x] = static_cast<std::uint8_t>(noise.Next(2));
  }
  pictures.push_back({"wide 1-bit", std::move(twoColours)});
  return pictures;
}

// What a save counts before writing is what it writes, for every TYPE, FORMAT
// and palette choice, and the bound that spares most saves the count never
// falls short of it.
TEST(OutputSizeTest, TheCountIsWhatTheSaveWritesAndTheBoundNeverLess) {
  int compared = 0;
  std::vector<Picture> pictures = Pictures();
  const std::size_t small = pictures.size();
  for (Picture& wide : WidePictures()) pictures.push_back(std::move(wide));
  for (std::size_t p = 0; p < pictures.size(); ++p) {
    const Picture& picture = pictures[p];
    for (int type = kOutputCBitmap; type <= kOutputPng; ++type) {
      for (const int format : FormatsOf(type)) {
        for (const int noPalette : {0, 1}) {
          // The palette choice and the file TYPEs without rows of C text
          // are seen on the small pictures.
          if (p >= small && (noPalette == 1 || (type != kOutputCBitmap && type != kOutputCStream))) continue;
          const OutputSpec spec{format, noPalette};
          OutputOptions options;
          options.useArgb = noPalette == 1;
          sys::Context ctx;
          sys::MemorySink sink;
          if (!WriteImageFile(picture.image.get(), sink, "out.c", spec, type, options, ctx).Ok()) continue;
          SCOPED_TRACE(picture.name + ", TYPE " + std::to_string(type) + ", FORMAT " + std::to_string(format));
          std::uint64_t counted = 0;
          ASSERT_EQ(CountOutputBytes(*picture.image, "out.c", spec, type, options, counted, ctx), sys::Code::kOk);
          EXPECT_EQ(counted, sink.Bytes().size());
          EXPECT_GE(OutputBytesBound(*picture.image, spec, type), counted);
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 200);
}

// A save beyond the limit writes nothing and names both numbers; at exactly
// its size it is written.
TEST(OutputSizeTest, ASaveBeyondTheLimitIsRefusedBeforeWriting) {
  const BitmapPtr image = Photo();
  for (int type = kOutputCBitmap; type <= kOutputPng; ++type) {
    SCOPED_TRACE(type);
    const OutputSpec spec{type == kOutputCBitmap || type == kOutputCStream ? 16 : 0, 1};
    OutputOptions options;
    sys::Context ctx;
    std::uint64_t size = 0;
    ASSERT_EQ(CountOutputBytes(*image, "out.c", spec, type, options, size, ctx), sys::Code::kOk);
    options.maxOutputBytes = size - 1;
    sys::MemorySink refused;
    const WriteResult result = WriteImageFile(image.get(), refused, "out.c", spec, type, options, ctx);
    EXPECT_EQ(result.code, sys::Code::kLimit);
    EXPECT_TRUE(refused.Bytes().empty());
    EXPECT_EQ(result.replacement, nullptr);
    EXPECT_EQ(result.text, "Output would be " + GroupedNumber(size) + " bytes, more than the limit of " +
                               GroupedNumber(size - 1) + " bytes");
    options.maxOutputBytes = size;
    sys::MemorySink written;
    EXPECT_TRUE(WriteImageFile(image.get(), written, "out.c", spec, type, options, ctx).Ok());
    EXPECT_EQ(written.Bytes().size(), size);
  }
}

TEST(OutputSizeTest, NumbersAreGroupedInThousands) {
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {1073741824, "1,073,741,824"}, {6712345678, "6,712,345,678"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(GroupedNumber(value), text);
}

}  // namespace

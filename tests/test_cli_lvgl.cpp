// LVGL images from the command line: -saveas TYPE 8 and 9 with LVGL's colour
// formats and options, the shared palette of a set, the LVGL size report,
// and the 16-bit rounding of runs that write LVGL images.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "GifTestFiles.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ReadText;
using testing_support::RunRastra;

class CliLvgl : public ::testing::Test {
 protected:
  // A 5 x 4 RGB picture of four colours.
  void SetUp() override {
    png_test::Png p;
    p.width = 5;
    p.height = 4;
    const std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 128, 0}, {0, 0, 255}, {250, 250, 250}};
    for (std::uint32_t y = 0; y < p.height; ++y) {
      png_test::Bytes row;
      for (std::uint32_t x = 0; x < p.width; ++x) row.insert(row.end(), colours[(x + y) % 4], colours[(x + y) % 4] + 3);
      p.rows.push_back(row);
    }
    testing_support::WriteBytes(dir_.File("four.png"), png_test::Encode(p));
  }

  testing_support::RunResult Run(std::vector<std::string> args) {
    args.emplace_back("-exit");
    return RunRastra(args, dir_.Path());
  }

  testing_support::TempDir dir_;
};

TEST_F(CliLvgl, WritesCSourceAndBinaryWithTheirExtensions) {
  ASSERT_EQ(Run({"four.png", "-saveasout/%n,8,RGB565", "-saveasout/%n,9,ARGB8888,LZ4,ALIGN16"}).exitCode, 0);
  const std::string c = ReadText(dir_.File("out/four.c"));
  EXPECT_NE(c.find("const lv_image_dsc_t four = {"), std::string::npos);
  EXPECT_NE(c.find(".cf = LV_COLOR_FORMAT_RGB565,"), std::string::npos);
  const std::vector<std::uint8_t> bin = ReadBytes(dir_.File("out/four.bin"));
  ASSERT_GE(bin.size(), 24u);
  EXPECT_EQ(bin[0], 0x19);
  EXPECT_EQ(bin[1], 0x10);            // ARGB8888
  EXPECT_EQ(bin[2], 0x08);            // compressed
  EXPECT_EQ(bin[8] | bin[9] << 8, 32);  // 5 x 4 bytes aligned to 16
  EXPECT_EQ(bin[12], 2);              // LZ4
}

TEST_F(CliLvgl, RefusesParametersWithTheReason) {
  const struct {
    const char* save;
    const char* reason;
  } cases[] = {
      {"-saveasout,8", "the LVGL colour format (CF) is missing"},
      {"-saveasout,8,RGB666", "\"RGB666\" is not an LVGL colour format"},
      {"-saveasout,9,RGB565,RLE,LZ4", "one compression: RLE or LZ4"},
      {"-saveasout,9,RGB565,ALIGN0", "ALIGN takes 1 to 255 bytes"},
      {"-saveasout,9,RGB565,BGFFF", "BG takes a colour RRGGBB in hex"},
      {"-saveasout,9,RGB565,FAST", "\"FAST\" is none of RLE, LZ4"},
      {"-saveasout,9,RGB565,PREMULTIPLY", "LVGL's RGB565 has no alpha to premultiply"},
  };
  for (const auto& c : cases) {
    const auto result = Run({"four.png", c.save});
    EXPECT_NE(result.exitCode, 0) << c.save;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.save << ": " << result.err;
    EXPECT_FALSE(fs::exists(dir_.File("out.bin")) || fs::exists(dir_.File("out.c"))) << c.save;
  }
}

// The size report's .bin columns are the sizes of the files a save writes.
TEST_F(CliLvgl, SizeReportRowsAreTheSizesOfTheWrittenFiles) {
  const auto report = Run({"four.png", "-sizereportlvglcsv"});
  ASSERT_EQ(report.exitCode, 0) << report.err;
  std::istringstream lines(report.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "format,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,bin_bytes,rle_bin_bytes,lz4_bin_bytes");
  int rows = 0;
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 8u) << line;
    const std::string& format = cells[0];
    ASSERT_EQ(Run({"four.png", "-saveasp,9," + format, "-saveasr,9," + format + ",RLE", "-saveasl,9," + format + ",LZ4"})
                  .exitCode,
              0)
        << format;
    EXPECT_EQ(std::to_string(fs::file_size(dir_.File("p.bin"))), cells[5]) << format;
    EXPECT_EQ(std::to_string(fs::file_size(dir_.File("r.bin"))), cells[6]) << format;
    EXPECT_EQ(std::to_string(fs::file_size(dir_.File("l.bin"))), cells[7]) << format;
    EXPECT_EQ(std::stoll(cells[3]) + std::stoll(cells[2]) + 12, std::stoll(cells[5])) << format;
    ++rows;
  }
  EXPECT_EQ(rows, 18);
}

// Every image of a set on one palette: the I4 files carry the same 16 entries.
TEST_F(CliLvgl, ASetSharesOnePaletteInItsIndexedFiles) {
  fs::copy_file(dir_.File("four.png"), dir_.File("again.png"));
  png_test::Png other;
  other.width = 2;
  other.height = 1;
  other.rows = {{10, 20, 30, 40, 50, 60}};
  testing_support::WriteBytes(dir_.File("other.png"), png_test::Encode(other));
  ASSERT_EQ(Run({"four.png", "other.png", "-sharedpalette16", "-saveas%n,9,I4"}).exitCode, 0);
  const auto a = ReadBytes(dir_.File("four.bin"));
  const auto b = ReadBytes(dir_.File("other.bin"));
  ASSERT_GE(a.size(), 12u + 64u);
  ASSERT_GE(b.size(), 12u + 64u);
  EXPECT_EQ(std::vector<std::uint8_t>(a.begin() + 12, a.begin() + 76), std::vector<std::uint8_t>(b.begin() + 12, b.begin() + 76));
}

// A 16-bit sample of 0x01FF keeps its high byte 1 in Rastra's own formats;
// LVGL's converter rounds it to 2, and a run writing LVGL images does too.
TEST_F(CliLvgl, RoundsSixteenBitSamplesInRunsThatWriteLvglImages) {
  png_test::Png grey;
  grey.bitDepth = 16;
  grey.colorType = 0;
  grey.rows = {{0x01, 0xFF}};
  testing_support::WriteBytes(dir_.File("g16.png"), png_test::Encode(grey));
  ASSERT_EQ(Run({"g16.png", "-saveas%n,9,ARGB8888"}).exitCode, 0);
  const auto bin = ReadBytes(dir_.File("g16.bin"));
  ASSERT_EQ(bin.size(), 16u);
  EXPECT_EQ(bin[12], 2);
  ASSERT_EQ(Run({"g16.png", "-saveas%n,2"}).exitCode, 0);
  const auto bmp = ReadBytes(dir_.File("g16.bmp"));
  ASSERT_FALSE(bmp.empty());
  EXPECT_EQ(bmp[bmp.size() - 4], 1);  // the pixel row's first byte (blue)
}

// A C file's flash (map and descriptor) counts against -flashbudget.
TEST_F(CliLvgl, FlashBudgetCountsLvglCFiles) {
  const auto over = Run({"four.png", "-flashbudget50", "-saveasx,8,RGB565"});
  EXPECT_NE(over.exitCode, 0);
  EXPECT_FALSE(fs::exists(dir_.File("x.c")));
  EXPECT_EQ(Run({"four.png", "-flashbudget64", "-saveasx,8,RGB565"}).exitCode, 0);  // 40 + 24
  EXPECT_TRUE(fs::exists(dir_.File("x.c")));
}

// An animated GIF as one C file: every frame (after the run's edits) its own
// image, then the array of them with the delays; FRAMES of anything else, or
// as .bin, are refused.
TEST_F(CliLvgl, WritesTheFramesOfAGifAsAnAnimationArray) {
  gif_test::GifBuilder gif;
  gif.Header().ScreenWithTable(4, 2, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF});
  for (int frame = 0; frame < 3; ++frame) {
    gif.GraphicControl(10 * (frame + 1)).Image(0, 0, 4, 2).Pixels(std::vector<std::uint8_t>(8, static_cast<std::uint8_t>(frame)), 2);
  }
  testing_support::WriteBytes(dir_.File("spin.gif"), gif.Trailer().Get());
  ASSERT_EQ(Run({"spin.gif", "-fliph", "-saveas%n,8,RGB565,FRAMES"}).exitCode, 0);
  const std::string c = ReadText(dir_.File("spin.c"));
  for (const char* part : {"const lv_image_dsc_t spin_0 = {", "const lv_image_dsc_t spin_2 = {",
                           "const lv_image_dsc_t * const spin_frames[3] = {\n  &spin_0,\n  &spin_1,\n  &spin_2,\n};",
                           "const uint32_t spin_delays[3] = {100, 200, 300};", "const uint32_t spin_duration = 600;",
                           "uint8_t spin_0_map[] = {\n\n    0x00,0xf8,0x00,0xf8,0x00,0xf8,0x00,0xf8,\n",
                           "uint8_t spin_2_map[] = {\n\n    0x1f,0x00,0x1f,0x00,"}) {
    EXPECT_NE(c.find(part), std::string::npos) << part << "\n" << c;
  }
  EXPECT_NE(Run({"spin.gif", "-saveas%n,9,RGB565,FRAMES"}).err.find("FRAMES are written as C source"), std::string::npos);
  EXPECT_NE(Run({"four.png", "-saveas%n,8,RGB565,FRAMES"}).err.find("FRAMES need an opened GIF file"), std::string::npos);
}

}  // namespace

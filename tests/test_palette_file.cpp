// Palette files (.GUIPal): reading into a caller's palette, writing from an image.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ReaderTestSupport.h"
#include "TestSupport.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"
#include "writers/PaletteWriter.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using sys::Code;
using testing_support::MakeBitmap;
using testing_support::PutLE32;
using testing_support::ReadRecorder;
using testing_support::TempDir;
using Bytes = std::vector<std::uint8_t>;

const std::string kIllegalHeader =
    "Illegal file header. Expecting the following: 00:U8  Header[8] = \"LumarPal\", 08:U32 NumColors, "
    "0C:U8  Reserved[4], 10:U32 _aColor[NumColors]";

Bytes PaletteBytes(std::uint32_t count, const std::vector<Color>& colours) {
  Bytes out = {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l'};
  PutLE32(out, count);
  PutLE32(out, 0xDEADBEEF);  // reserved bytes are skipped, whatever they hold
  for (Color c : colours) PutLE32(out, c);
  return out;
}

std::vector<Color> Ramp(int n) {
  std::vector<Color> colours;
  for (int i = 0; i < n; ++i) colours.push_back(0x01000000u * static_cast<Color>(i & 0xFF) + 0x00030201u * i);
  return colours;
}

// Every load of a test fills the one palette, as the custom palette of a
// document is filled.
class PaletteFileTest : public ::testing::Test {
 protected:
  int LoadPath(const std::string& path) { return _LoadPalette(path, palette, rec.Ctx()); }
  // Writes bytes to a file and loads it.
  int Load(const Bytes& bytes) {
    const std::string path = dir.File("p.GUIPal");
    testing_support::WriteBytes(path, bytes);
    return LoadPath(path);
  }
  TempDir dir;
  PaletteRef palette;
  ReadRecorder rec;
};

TEST_F(PaletteFileTest, ValidCountsLoadTheirColoursAsStored) {
  for (int n : {2, 16, 256}) {
    rec.Clear();
    const std::vector<Color> colours = Ramp(n);
    ASSERT_EQ(Load(PaletteBytes(static_cast<std::uint32_t>(n), colours)), 0) << n;
    EXPECT_TRUE(rec.Texts().empty());
    EXPECT_EQ(palette.count, n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(palette.colours[i], colours[i]) << n << " " << i;
  }
  // Bytes after the last colour are ignored.
  Bytes extra = PaletteBytes(2, {0x00112233, 0x80445566});
  extra.insert(extra.end(), {1, 2, 3, 4, 5});
  ASSERT_EQ(Load(extra), 0);
  EXPECT_EQ(palette.colours[1], 0x80445566u);
}

TEST_F(PaletteFileTest, CountsOutsideTwoTo256AreRefused) {
  struct Case {
    std::uint32_t count;
    const char* text;
  };
  const Case cases[] = {
      {257, "_LoadPalette: Number of colors may not exceed 256 !"},
      {1, "_LoadPalette: Number of colors may not be less than 2 !"},
      {0, "_LoadPalette: Number of colors may not be less than 2 !"},
      {0xFFFFFFFFu, "_LoadPalette: Number of colors may not be less than 2 !"},
  };
  for (const Case& c : cases) {
    rec.Clear();
    EXPECT_EQ(Load(PaletteBytes(c.count, Ramp(300))), 1) << c.count;
    EXPECT_EQ(rec.Texts(), std::vector<std::string>{c.text}) << c.count;
    EXPECT_TRUE(rec.Failed(Code::kCorrupt)) << c.count;
  }
}

TEST_F(PaletteFileTest, ShortFilesNameTheMissingPiece) {
  const Bytes full = PaletteBytes(4, Ramp(4));
  struct Case {
    std::size_t length;
    const char* text;
  };
  const Case cases[] = {
      {5, "_LoadPalette: Could not read header"},
      {10, "_LoadPalette: Could not read number of entries"},
      {14, "_LoadPalette: Dummy read at 0xc failed"},
      {16 + 12, "_LoadPalette: Could not read palette data"},  // three of four colours
  };
  for (const Case& c : cases) {
    rec.Clear();
    EXPECT_EQ(Load(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.length))), 1) << c.length;
    EXPECT_EQ(rec.Texts(), std::vector<std::string>{c.text}) << c.length;
    EXPECT_TRUE(rec.Failed(Code::kTruncated)) << c.length;
  }
  rec.Clear();
  EXPECT_EQ(Load({}), 1);
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"Could not get file information"});
  EXPECT_TRUE(rec.Failed(Code::kIo));
}

TEST_F(PaletteFileTest, WrongMagicAndMissingFiles) {
  Bytes upper = PaletteBytes(2, Ramp(2));
  upper[7] = 'L';
  EXPECT_EQ(Load(upper), 1);
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{kIllegalHeader});
  EXPECT_TRUE(rec.Failed(Code::kNotRecognised));

  rec.Clear();
  EXPECT_EQ(LoadPath(dir.File("missing.GUIPal")), 1);
  EXPECT_EQ(LoadPath(dir.Path().string()), 1);
  EXPECT_EQ(rec.Texts(), (std::vector<std::string>{"Invalid file handle", "Invalid file handle"}));
  EXPECT_TRUE(rec.Failed(Code::kIo));
}

TEST_F(PaletteFileTest, FailedLoadKeepsThePreviousPalette) {
  ASSERT_EQ(Load(PaletteBytes(3, {0x10, 0x20, 0x30})), 0);
  EXPECT_EQ(Load(PaletteBytes(300, Ramp(300))), 1);
  EXPECT_EQ(Load(PaletteBytes(4, Ramp(3))), 1);
  EXPECT_EQ(palette.count, 3);
  EXPECT_EQ(palette.colours[2], 0x30u);
}

// ---------------------------------------------------------------------------

Bytes Save(const Bitmap& b, const std::string& path) {
  auto file = sys::File::Create(path);
  EXPECT_TRUE(file.has_value());
  EXPECT_EQ(SavePaletteFile(b, *file), Code::kOk);
  EXPECT_TRUE(file->Close());
  return testing_support::ReadBytes(path);
}

TEST_F(PaletteFileTest, SavedPaletteHasTheLayoutAndLoadsBack) {
  BitmapPtr b = MakeBitmap(2, 2, 16);
  ASSERT_NE(b, nullptr);
  const std::vector<Color> colours = Ramp(16);
  for (int i = 0; i < 16; ++i) Bitmap_SetPalColor(*b, i, colours[i]);
  const std::string path = dir.File("out_Palette.GUIPal");
  const Bytes bytes = Save(*b, path);
  Bytes expected = PaletteBytes(16, colours);
  expected[12] = expected[13] = expected[14] = expected[15] = 0;  // written as 0
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 80u);

  ASSERT_EQ(LoadPath(path), 0);
  EXPECT_EQ(palette.count, 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette.colours[i], colours[i]);
}

TEST_F(PaletteFileTest, TrueColourImageWritesAHeaderTheReaderRefuses) {
  BitmapPtr b = MakeBitmap(2, 2, 0);
  ASSERT_NE(b, nullptr);
  const std::string path = dir.File("tc.GUIPal");
  const Bytes bytes = Save(*b, path);
  EXPECT_EQ(bytes, (Bytes{'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l', 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(LoadPath(path), 1);
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"_LoadPalette: Number of colors may not be less than 2 !"});
}

TEST_F(PaletteFileTest, FailedWritesGiveAnIoCode) {
  BitmapPtr b = MakeBitmap(1, 1, 256);
  ASSERT_NE(b, nullptr);
  sys::File notOpen;  // every write to it fails
  EXPECT_EQ(SavePaletteFile(*b, notOpen), Code::kIo);
  BitmapPtr small = MakeBitmap(1, 1, 2);
  EXPECT_EQ(SavePaletteFile(*small, notOpen), Code::kIo);
}

}  // namespace

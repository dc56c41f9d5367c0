// Animated sprite and cursor writer: the text of the generated files, the call
// sequence, and corpus animations compiled and compared with our decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "OutputCapture.h"
#include "ReportCapture.h"
#include "TestSupport.h"
#include "app/Animation.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "readers/GifDecoder.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"
#include "writers/AnimWriter.h"
#include "writers/GifWriter.h"
#include "writers/OutputSize.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::CaptureOutput;
using testing_support::MakeBitmap;
using testing_support::ReportCapture;
using testing_support::SplitLines;

constexpr OutputSpec kSpec{5, 0};

std::size_t CountOf(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The text between a line starting with `head` and the next empty line.
std::string Block(const std::string& text, const std::string& head) {
  const auto at = text.find(head);
  if (at == std::string::npos) return {};
  const auto end = text.find("\r\n\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
}

// Hand-made frame records as the GIF decoder leaves them.
struct Animation {
  GifInfo info;
  std::vector<GifFrame> frames;

  // localTable: the frame has its own colour table.
  void AddFrame(int w, int h, std::vector<Color> palette, std::vector<int> pixels, std::uint32_t delay,
                bool localTable) {
    GifFrame frame;
    frame.pBitmap = MakeBitmap(w, h, static_cast<int>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) Bitmap_SetPalColor(*frame.pBitmap, static_cast<int>(i), palette[i]);
    for (int i = 0; i < w * h; ++i) {
      Bitmap_SetPixel(*frame.pBitmap, i % w, i / w, static_cast<std::uint32_t>(pixels[i % pixels.size()]));
    }
    const int number = static_cast<int>(frames.size());
    frame.Delay = delay;
    frame.LocalTableFrame = localTable ? number : -1;
    if (!localTable && info.FirstGlobalFrame < 0) info.FirstGlobalFrame = number;
    info.TotalDelay += delay;
    frames.push_back(std::move(frame));
    info.NumFrames = static_cast<std::uint32_t>(frames.size());
  }

  void AddSimpleFrames(int count, bool localTable = false) {
    for (int i = 0; i < count; ++i) AddFrame(2, 1, {0x0000FF, 0xFF0000}, {0, 1}, 100, localTable);
  }

  // Every frame in order, with a fresh writer state unless one is given; the
  // results of the calls land in results.
  std::string Write(const std::string& path, int type, std::vector<int>* results = nullptr,
                    AnimWriterState* state = nullptr) {
    AnimWriterState fresh;
    AnimWriterState& used = state != nullptr ? *state : fresh;
    return CaptureOutput([&](OutBuffer& out) {
      sys::Context ctx;
      const int n = static_cast<int>(info.NumFrames);
      for (int i = 0; i < n; ++i) {
        const int r = WriteAnimFile(used, out, kSpec, info, path, n - i - 1, &frames, type, OutputOptions{}, ctx);
        if (results != nullptr) results->push_back(r);
      }
    });
  }
};

TEST(AnimWriterTest, SingleFrameSpriteIsOneCompleteFile) {
  Animation anim;
  anim.AddFrame(2, 1, {0x0000FF, 0xFF0000}, {0, 1}, 100, false);
  std::vector<int> results;
  const std::string text = anim.Write("/tmp/x/Dot.c", kOutputAnimSprite, &results);
  EXPECT_EQ(results, std::vector<int>{0});
  EXPECT_NE(text.find("* Source file: Dot.gif (Animated Sprite)"), std::string::npos);
  EXPECT_NE(text.find("* NumImages:   1"), std::string::npos);
  EXPECT_NE(text.find("* Duration:    100 ms"), std::string::npos);
  EXPECT_NE(text.find("*   GUI_SPRITE_CreateAnim(apbmDot, 10, 10, 0, aDelayDot, GUI_COUNTOF(apbmDot));\r\n*/"),
            std::string::npos);
  const std::string body = testing_support::AfterBanner(text);
  EXPECT_EQ(body.rfind("extern const GUI_BITMAP * apbmDot[1];\r\nextern const unsigned     aDelayDot[1];\r\n\r\n", 0),
            0u);
  EXPECT_EQ(CountOf(body, "GUI_LOGPALETTE _PalDot0 = {"), 1u);
  const auto data = body.find("static GUI_CONST_STORAGE unsigned char _acDot0[] = {");
  ASSERT_NE(data, std::string::npos);
  EXPECT_EQ(body.substr(data),
            "static GUI_CONST_STORAGE unsigned char _acDot0[] = {\r\n"
            "  0x00, 0x01\r\n"
            "};\r\n\r\n"
            "static GUI_CONST_STORAGE GUI_BITMAP _abmDot[] = {\r\n"
            "  { 2, 1, 2, 8, (const unsigned char *)_acDot0, (const GUI_LOGPALETTE *)&_PalDot0 }\r\n"
            "};\r\n\r\n"
            "const GUI_BITMAP * apbmDot[] = {\r\n"
            "  &_abmDot[0]\r\n"
            "};\r\n\r\n"
            "const unsigned aDelayDot[] = {\r\n"
            "  100\r\n"
            "};\r\n\r\n"
            "/*************************** End of file ****************************/\r\n");
}

TEST(AnimWriterTest, FramesOnTheGlobalTableShareOnePalette) {
  Animation anim;
  anim.AddSimpleFrames(3);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _Pal"), 1u);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _PalAnim0 = {"), 1u);
  EXPECT_EQ(CountOf(text, "(const GUI_LOGPALETTE *)&_PalAnim0 }"), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CountOf(text, "unsigned char _acAnim" + std::to_string(i) + "[] = {"), 1u);
}

TEST(AnimWriterTest, FrameWithItsOwnTableGetsItsOwnPalette) {
  Animation anim;
  anim.AddFrame(2, 1, {0x0000FF, 0xFF0000}, {0, 1}, 100, false);
  anim.AddFrame(2, 1, {0x00FF00, 0x000000, 0xFFFFFF}, {2, 1}, 100, true);
  anim.AddFrame(2, 1, {0x0000FF, 0xFF0000}, {1, 0}, 100, false);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _Pal"), 2u);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _PalAnim0 = {"), 1u);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _PalAnim1 = {"), 1u);
  const auto lines = SplitLines(Block(text, "static GUI_CONST_STORAGE GUI_BITMAP _abmAnim[]"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_NE(lines[1].find("_acAnim0, (const GUI_LOGPALETTE *)&_PalAnim0 }"), std::string::npos);
  EXPECT_NE(lines[2].find("_acAnim1, (const GUI_LOGPALETTE *)&_PalAnim1 }"), std::string::npos);
  EXPECT_NE(lines[3].find("_acAnim2, (const GUI_LOGPALETTE *)&_PalAnim0 }"), std::string::npos);
}

TEST(AnimWriterTest, SharedPaletteIsNamedAfterTheFirstGlobalFrame) {
  Animation anim;
  anim.AddFrame(2, 1, {0x00FF00, 0x000000}, {0, 1}, 100, true);
  anim.AddSimpleFrames(2);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _Pal"), 2u);
  EXPECT_EQ(CountOf(text, "(const GUI_LOGPALETTE *)&_PalAnim1 }"), 2u);
  EXPECT_EQ(CountOf(text, "(const GUI_LOGPALETTE *)&_PalAnim0 }"), 1u);
}

// The decoder moves a frame's transparent entry to index 0, so frames on the
// global table whose transparency differs cannot share one palette block.
TEST(AnimWriterTest, GlobalFramesWithDifferentPalettesDoNotShare) {
  Animation anim;
  anim.AddFrame(2, 1, {0x0000FF, 0xFF0000}, {0, 1}, 100, false);
  anim.AddFrame(2, 1, {0xFFFFFFFF, 0x0000FF}, {0, 1}, 100, false);
  anim.frames[1].pBitmap->HasTrans = 1;
  anim.AddFrame(2, 1, {0xFFFFFFFF, 0x0000FF}, {1, 1}, 100, false);
  anim.frames[2].pBitmap->HasTrans = 1;
  anim.AddFrame(2, 1, {0x0000FF, 0xFF0000}, {1, 0}, 100, false);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  EXPECT_EQ(CountOf(text, "GUI_LOGPALETTE _Pal"), 2u);
  const auto lines = SplitLines(Block(text, "static GUI_CONST_STORAGE GUI_BITMAP _abmAnim[]"));
  ASSERT_GE(lines.size(), 5u);
  EXPECT_NE(lines[1].find("&_PalAnim0 }"), std::string::npos);
  EXPECT_NE(lines[2].find("&_PalAnim1 }"), std::string::npos);
  EXPECT_NE(lines[3].find("&_PalAnim1 }"), std::string::npos);
  EXPECT_NE(lines[4].find("&_PalAnim0 }"), std::string::npos);
  EXPECT_NE(Block(text, "static GUI_CONST_STORAGE GUI_LOGPALETTE _PalAnim1").find("  1,  // Has transparency"),
            std::string::npos);
}

TEST(AnimWriterTest, TwelveFramesLineUpTheirTables) {
  Animation anim;
  anim.AddSimpleFrames(12);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  const auto lines = SplitLines(Block(text, "static GUI_CONST_STORAGE GUI_BITMAP _abmAnim[]"));
  ASSERT_EQ(lines.size(), 1u + 12u + 2u);  // the head, the frames, "};" and the end of the block
  EXPECT_EQ(lines[1], "  { 2, 1, 2, 8, (const unsigned char *)_acAnim0,  (const GUI_LOGPALETTE *)&_PalAnim0  },");
  EXPECT_EQ(lines[11], "  { 2, 1, 2, 8, (const unsigned char *)_acAnim10, (const GUI_LOGPALETTE *)&_PalAnim0  },");
  EXPECT_EQ(lines[12], "  { 2, 1, 2, 8, (const unsigned char *)_acAnim11, (const GUI_LOGPALETTE *)&_PalAnim0  }");

  EXPECT_EQ(Block(text, "const GUI_BITMAP * apbmAnim[] = {"),
            "const GUI_BITMAP * apbmAnim[] = {\r\n"
            "  &_abmAnim[0],   &_abmAnim[1],   &_abmAnim[2],   &_abmAnim[3],   &_abmAnim[4],   &_abmAnim[5], \r\n"
            "  &_abmAnim[6],   &_abmAnim[7],   &_abmAnim[8],   &_abmAnim[9],   &_abmAnim[10],  &_abmAnim[11]\r\n"
            "};\r\n");
}

TEST(AnimWriterTest, DelaysShareALine) {
  Animation anim;
  anim.AddFrame(2, 1, {0, 0xFFFFFF}, {0, 1}, 100, false);
  anim.AddFrame(2, 1, {0, 0xFFFFFF}, {0, 1}, 100, false);
  anim.AddFrame(2, 1, {0, 0xFFFFFF}, {0, 1}, 50, false);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  EXPECT_EQ(Block(text, "const unsigned aDelayAnim[] = {"), "const unsigned aDelayAnim[] = {\r\n  100, 100, 50\r\n};\r\n");
  EXPECT_NE(text.find("* Duration:    250 ms"), std::string::npos);
}

TEST(AnimWriterTest, LongDelayListWrapsWithOneBlank) {
  Animation anim;
  for (int i = 0; i < 60; ++i) anim.AddFrame(1, 1, {0, 0xFFFFFF}, {1}, 12340, false);
  const std::string text = anim.Write("Anim.c", kOutputAnimSprite);
  const auto lines = SplitLines(Block(text, "const unsigned aDelayAnim[] = {"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1].rfind("  12340, 12340,", 0), 0u);
  EXPECT_EQ(lines[2].rfind("  12340, 12340,", 0), 0u);  // indent 1, then the piece's own blank
  for (const auto& line : lines) EXPECT_LE(line.size(), 254u);
}

TEST(AnimWriterTest, CursorStructureLinesUpItsComments) {
  Animation anim;
  anim.AddSimpleFrames(3);
  const std::string text = anim.Write("Walk.c", kOutputAnimCursor);
  EXPECT_NE(text.find("* Source file: Walk.gif (Animated Cursor)"), std::string::npos);
  EXPECT_NE(text.find("\r\n* Usage:\r\n*   extern const GUI_CURSOR_ANIM CursorWalk;\r\n"
                      "*   GUI_CURSOR_SelectAnim(&CursorWalk);\r\n*/"),
            std::string::npos);
  const std::string body = testing_support::AfterBanner(text);
  EXPECT_EQ(body.rfind("extern const GUI_CURSOR_ANIM CursorWalk;\r\n\r\n", 0), 0u);
  EXPECT_NE(body.find("static const GUI_BITMAP * _apbmWalk[] = {\r\n"), std::string::npos);
  EXPECT_NE(body.find("static const unsigned _aDelayWalk[] = {\r\n"), std::string::npos);
  const auto lines = SplitLines(Block(body, "const GUI_CURSOR_ANIM CursorWalk = {"));
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "const GUI_CURSOR_ANIM CursorWalk = {");
  EXPECT_EQ(lines[1], "  _apbmWalk,    // Pointer to an array of bitmaps");
  EXPECT_EQ(lines[2], "  0,            // x coordinate of the hot spot");
  EXPECT_EQ(lines[3], "  0,            // y coordinate of the hot spot");
  EXPECT_EQ(lines[4], "  0,            // Period, should be 0 here");
  EXPECT_EQ(lines[5], "  _aDelayWalk,  // Pointer to an array of periods");
  EXPECT_EQ(lines[6], "  3             // Number of images");
  EXPECT_EQ(lines[7], "};");
  ASSERT_GT(body.size(), 78u);
  EXPECT_EQ(body.substr(body.size() - 78),
            "};\r\n\r\n/*************************** End of file ****************************/\r\n");
}

TEST(AnimWriterTest, OutOfSequenceCallFailsAndResets) {
  Animation anim;
  anim.AddSimpleFrames(6);
  AnimWriterState state;
  sys::Context ctx;
  std::vector<int> results;
  const std::string text = CaptureOutput([&](OutBuffer& out) {
    auto call = [&](int a) {
      results.push_back(WriteAnimFile(state, out, kSpec, anim.info, "Anim.c", a, &anim.frames, kOutputAnimSprite,
                                      OutputOptions{}, ctx));
    };
    call(5);
    call(2);  // skips frames: fails, the animation is abandoned
    call(4);  // no animation is being written any more
    for (int a = 5; a >= 0; --a) call(a);
  });
  EXPECT_EQ(results, (std::vector<int>{0, 1, 1, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(ctx.Messages().size(), 2u);
  for (const sys::Message& m : ctx.Messages()) EXPECT_EQ(m.code, sys::Code::kInternal);
  EXPECT_EQ(CountOf(text, "* NumImages:   6"), 2u);
  EXPECT_EQ(CountOf(text, "_acAnim0[] = {"), 2u);
  EXPECT_EQ(CountOf(text, "_acAnim3[] = {"), 1u);
  EXPECT_EQ(CountOf(text, "End of file"), 1u);
}

// An animation abandoned part-way does not cost the next one written with
// the same state its first frame.
TEST(AnimWriterTest, AbandonedAnimationDoesNotSpoilTheNextOne) {
  Animation first;
  first.AddSimpleFrames(6);
  Animation second;
  second.AddSimpleFrames(5);
  AnimWriterState state;
  std::vector<int> results;
  CaptureOutput([&](OutBuffer& out) {
    sys::Context ctx;
    for (int a : {5, 4}) {
      WriteAnimFile(state, out, kSpec, first.info, "First.c", a, &first.frames, kOutputAnimSprite, OutputOptions{},
                    ctx);
    }
  });
  const std::string secondText = second.Write("Second.c", kOutputAnimSprite, &results, &state);
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(CountOf(secondText, "_acSecond0[] = {"), 1u);
  EXPECT_EQ(CountOf(secondText, "End of file"), 1u);
}

TEST(AnimWriterTest, ContinuationMustKeepTheFrameCount) {
  Animation anim;
  anim.AddSimpleFrames(4);
  Animation longer;
  longer.AddSimpleFrames(20);
  AnimWriterState state;
  sys::Context ctx;
  std::vector<int> results;
  CaptureOutput([&](OutBuffer& out) {
    results.push_back(WriteAnimFile(state, out, kSpec, anim.info, "Anim.c", 3, &anim.frames, kOutputAnimSprite,
                                    OutputOptions{}, ctx));
    results.push_back(WriteAnimFile(state, out, kSpec, longer.info, "Anim.c", 2, &longer.frames, kOutputAnimSprite,
                                    OutputOptions{}, ctx));
  });
  EXPECT_EQ(results, (std::vector<int>{0, 1}));
}

// Writes every frame of anim with options; the text and each call's result.
std::string WriteWithOptions(Animation& anim, const OutputOptions& options, std::vector<int>& results,
                             sys::Context& ctx) {
  AnimWriterState state;
  return CaptureOutput([&](OutBuffer& out) {
    const int n = static_cast<int>(anim.info.NumFrames);
    for (int i = 0; i < n; ++i) {
      results.push_back(WriteAnimFile(state, out, kSpec, anim.info, "Big.c", n - i - 1, &anim.frames,
                                      kOutputAnimSprite, options, ctx));
      if (results.back() != 0) break;
    }
  });
}

// Each call counts what it adds before writing it: at its exact size a file
// is written, one byte less is refused at the latest by its last call, and a
// limit far below is refused by the first call, before a byte is written,
// with the least size the frames to follow make.
TEST(AnimWriterTest, TheOutputLimitIsHeldBeforeAnythingIsWritten) {
  Animation anim;
  for (int i = 0; i < 6; ++i) {
    std::vector<int> pixels;
    for (int p = 0; p < 300; ++p) pixels.push_back((p / (i + 1)) % 3);
    anim.AddFrame(300, 40, {0x0000FF, 0xFF0000, 0x00FF00}, pixels, 100, i % 2 == 1);
  }
  OutputOptions options;
  std::vector<int> results;
  sys::Context ctx;
  const std::string full = WriteWithOptions(anim, options, results, ctx);
  ASSERT_EQ(results, std::vector<int>(6, 0));

  options.maxOutputBytes = full.size();
  results.clear();
  EXPECT_EQ(WriteWithOptions(anim, options, results, ctx), full);
  EXPECT_EQ(results, std::vector<int>(6, 0));

  options.maxOutputBytes = full.size() - 1;
  results.clear();
  WriteWithOptions(anim, options, results, ctx);
  EXPECT_EQ(results.back(), 1);
  EXPECT_EQ(ctx.LastFailureText(), "Output would be " + GroupedNumber(full.size()) + " bytes, more than the limit of " +
                                       GroupedNumber(full.size() - 1) + " bytes");

  options.maxOutputBytes = full.size() / 2;
  results.clear();
  sys::Context early;
  EXPECT_EQ(WriteWithOptions(anim, options, results, early), "");
  EXPECT_EQ(results, std::vector<int>{1});
  EXPECT_EQ(early.LastFailure(), sys::Code::kLimit);
  EXPECT_EQ(early.LastFailureText().rfind("Output would be at least ", 0), 0u) << early.LastFailureText();
}

TEST(AnimWriterTest, MissingPiecesFailWithNothingWritten) {
  Animation anim;
  anim.AddSimpleFrames(3);
  AnimWriterState state;
  sys::Context ctx;
  std::vector<int> results;
  const std::string text = CaptureOutput([&](OutBuffer& out) {
    auto call = [&](int a, std::vector<GifFrame>* frames, const std::string& path) {
      results.push_back(
          WriteAnimFile(state, out, kSpec, anim.info, path, a, frames, kOutputAnimSprite, OutputOptions{}, ctx));
    };
    call(2, &anim.frames, "Anim.c");
    call(1, nullptr, "Anim.c");  // no frame records: the animation goes on
    call(1, &anim.frames, "Anim.c");
    call(0, &anim.frames, "---.c");  // no identifier: the animation ends
    call(0, &anim.frames, "Anim.c");
  });
  EXPECT_EQ(results, (std::vector<int>{0, 1, 0, 1, 1}));
  EXPECT_EQ(CountOf(text, "End of file"), 0u);
  ASSERT_EQ(ctx.Messages().size(), 3u);
  EXPECT_EQ(ctx.Messages()[1].code, sys::Code::kBadName);
  EXPECT_EQ(ctx.Messages()[1].text, "Illegal identifier");

  Animation broken;
  broken.AddSimpleFrames(2);
  broken.frames[1].pBitmap.reset();
  results.clear();
  broken.Write("Anim.c", kOutputAnimSprite, &results);
  EXPECT_EQ(results, (std::vector<int>{0, 1}));
}

// ------------------------------------------------------------ corpus

struct DecodedFrame {
  int width = 0, height = 0;
  std::vector<Color> pixels;      // palette colours, top row first
  std::vector<int> transparent;   // 1 where the pixel is the transparent index
  std::uint32_t delay = 0;
};

// Frames and delays as our decoder gives them, in the order the writer sees them.
std::vector<DecodedFrame> DecodeWithOurDecoder(const std::vector<std::uint8_t>& data) {
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data.size());
  std::vector<DecodedFrame> out;
  sys::Context ctx;
  if (ParseGif(data, info, nullptr, 0, ctx) != 0) return out;
  info.FirstGlobalFrame = -1;
  for (int i = 0; i < static_cast<int>(info.NumFrames); ++i) {
    GifFrame frame;
    if (ParseGif(data, info, &frame, i, ctx) != 0 || !frame.pBitmap) return {};
    const Bitmap& b = *frame.pBitmap;
    DecodedFrame d;
    d.width = b.XSize;
    d.height = b.YSize;
    d.delay = frame.Delay;
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        d.pixels.push_back(Bitmap_GetPixelColor(b, x, y) & 0xFFFFFF);
        d.transparent.push_back(b.HasTrans != 0 && Bitmap_GetPixel(b, x, y) == 0 ? 1 : 0);
      }
    }
    out.push_back(std::move(d));
  }
  return out;
}

std::filesystem::path CroundDir() { return std::filesystem::path(RASTRA_SOURCE_DIR) / "tests" / "cround"; }

// A C program that includes the generated file and prints every frame: size,
// delay, then each pixel's palette colour and whether it is transparent.
std::string DumpProgram(const std::string& generated, const std::string& id, int type) {
  const std::string table = type == kOutputAnimSprite ? "apbm" + id : "_apbm" + id;
  const std::string delays = type == kOutputAnimSprite ? "aDelay" + id : "_aDelay" + id;
  std::ostringstream c;
  c << "#include <stdio.h>\n#include \"" << generated << "\"\n"
    << "int main(void) {\n"
    << "  int n = (int)(sizeof(" << table << ") / sizeof(" << table << "[0])), i, x, y;\n"
    << "  printf(\"%d\\n\", n);\n"
    << "  for (i = 0; i < n; i++) {\n"
    << "    const GUI_BITMAP * b = " << table << "[i];\n"
    << "    printf(\"%d %d %u\\n\", (int)b->XSize, (int)b->YSize, " << delays << "[i]);\n"
    << "    for (y = 0; y < b->YSize; y++) for (x = 0; x < b->XSize; x++) {\n"
    << "      unsigned index = b->pData[y * b->BytesPerLine + x];\n"
    << "      printf(\"%lx %d\\n\", (unsigned long)(b->pPal->pPalEntries[index] & 0xFFFFFF),\n"
    << "             b->pPal->HasTrans && index == 0);\n"
    << "    }\n  }\n"
    << (type == kOutputAnimCursor ? "  if (Cursor" + id + ".ppBm != " + table + ") return 1;\n" : "")
    << "  return 0;\n}\n";
  return c.str();
}

// Generates both kinds of file from the GIF, compiles each with a program
// that prints its frames, and compares them with our decoder's frames.
void ExpectGeneratedFramesMatch(const std::string& gifPath, const testing_support::TempDir& dir) {
  const std::vector<DecodedFrame> expected = DecodeWithOurDecoder(testing_support::ReadBytes(gifPath));
  ASSERT_FALSE(expected.empty());
  for (int type : {kOutputAnimSprite, kOutputAnimCursor}) {
    SCOPED_TRACE(type == kOutputAnimSprite ? "sprite" : "cursor");
    const std::string source = dir.File("Anim.c");
    ASSERT_TRUE(CreateAnimationFile(gifPath, source, type));
    const std::string dumpSource = dir.File("dump.c");
    {
      std::ofstream out(dumpSource, std::ios::binary);
      out << DumpProgram(source, "Anim", type);
    }
    const std::string exe = dir.File("dump");
    const std::string output = dir.File("dump.txt");
    const std::string compile = std::string(RASTRA_C_COMPILER) + " -std=c99 -Wall -Werror -I" + CroundDir().string() +
                                " -o " + exe + " " + dumpSource + " 2> " + dir.File("cc.txt");
    ASSERT_EQ(std::system(compile.c_str()), 0) << testing_support::ReadText(dir.File("cc.txt"));
    ASSERT_EQ(std::system((exe + " > " + output).c_str()), 0);
    std::istringstream in(testing_support::ReadText(output));
    std::size_t n = 0;
    in >> n;
    ASSERT_EQ(n, expected.size());
    for (std::size_t i = 0; i < n; ++i) {
      int w = 0, h = 0;
      std::uint32_t delay = 0;
      in >> w >> h >> delay;
      ASSERT_EQ(w, expected[i].width);
      ASSERT_EQ(h, expected[i].height);
      EXPECT_EQ(delay, expected[i].delay);
      for (std::size_t p = 0; p < expected[i].pixels.size(); ++p) {
        Color c = 0;
        int transparent = 0;
        in >> std::hex >> c >> std::dec >> transparent;
        ASSERT_EQ(c, expected[i].pixels[p]) << "frame " << i << " pixel " << p;
        ASSERT_EQ(transparent, expected[i].transparent[p]) << "frame " << i << " pixel " << p;
      }
    }
  }
}

TEST(AnimWriterCorpusTest, GeneratedCodeShowsTheFramesOurDecoderProduced) {
  SKIP_WITHOUT_CORPUS(corpus, "gif");
  if (!std::filesystem::exists(CroundDir() / "GUI.h")) GTEST_SKIP() << "tests/cround/GUI.h not present";
  testing_support::TempDir dir;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*corpus)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".gif" || name.rfind("animated", 0) != 0) continue;
    SCOPED_TRACE(name);
    ExpectGeneratedFramesMatch(entry.path().string(), dir);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// An animation on one global table whose first frame is opaque and whose
// later frames mark a transparent index, as optimised GIFs often are.
std::vector<std::uint8_t> MixedTransparencyGif() {
  std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x91, 0, 0,
                                   0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0x10, 0x20, 0x30};
  auto frame = [&gif](int transIndex, std::uint8_t delay, std::vector<std::uint8_t> indices) {
    const std::uint8_t flags = transIndex >= 0 ? 1 : 0;
    const std::uint8_t index = static_cast<std::uint8_t>(transIndex >= 0 ? transIndex : 0);
    for (std::uint8_t b : {0x21, 0xF9, 0x04, static_cast<int>(flags), static_cast<int>(delay), 0, static_cast<int>(index), 0}) {
      gif.push_back(b);
    }
    for (std::uint8_t b : {0x2C, 0, 0, 0, 0, 4, 0, 2, 0, 0}) gif.push_back(b);
    GifLzwEncoder encoder(2, [&gif](const std::uint8_t* bytes, std::size_t n) {
      gif.insert(gif.end(), bytes, bytes + n);
      return true;
    });
    encoder.Begin();
    encoder.Add(indices.data(), indices.size());
    encoder.Finish();
    gif.push_back(0);
  };
  frame(-1, 10, {0, 1, 2, 3, 3, 2, 1, 0});
  frame(2, 20, {2, 2, 0, 1, 3, 2, 2, 2});
  frame(2, 30, {1, 2, 2, 2, 2, 0, 3, 2});
  frame(-1, 40, {3, 3, 0, 0, 1, 1, 2, 2});
  gif.push_back(0x3B);
  return gif;
}

TEST(AnimWriterCorpusTest, FramesWithDifferentTransparencyKeepTheirColours) {
  if (!std::filesystem::exists(CroundDir() / "GUI.h")) GTEST_SKIP() << "tests/cround/GUI.h not present";
  testing_support::TempDir dir;
  const std::string path = dir.File("mixed.gif");
  testing_support::WriteBytes(path, MixedTransparencyGif());
  ExpectGeneratedFramesMatch(path, dir);
}

TEST(AnimationFlowTest, UnreadableInputsAreReported) {
  ReportCapture reports;
  testing_support::TempDir dir;
  EXPECT_FALSE(CreateAnimationFile(dir.File("missing.gif"), dir.File("a.c"), kOutputAnimSprite));
  const std::string junk = dir.File("junk.gif");
  testing_support::WriteBytes(junk, {'G', 'I', 'F', '8', '9', 'a', 1});
  EXPECT_FALSE(CreateAnimationFile(junk, dir.File("a.c"), kOutputAnimSprite));
  // The file size limit is the caller's: the same file is refused for its
  // size only beyond the limit in force.
  const std::string big = dir.File("big.gif");
  testing_support::WriteBytes(big, std::vector<std::uint8_t>(2001, 0));
  ReadLimits small;
  small.maxFileBytes = 2000;
  EXPECT_FALSE(CreateAnimationFile(big, dir.File("a.c"), kOutputAnimSprite, small));
  ASSERT_EQ(reports.Texts().size(), 3u);
  EXPECT_EQ(reports.Texts()[0], "File not found.");
  EXPECT_EQ(reports.Texts()[2], "File too long");
  reports.Clear();
  small.maxFileBytes = 2001;
  EXPECT_FALSE(CreateAnimationFile(big, dir.File("a.c"), kOutputAnimSprite, small));
  EXPECT_FALSE(reports.Texts().empty());
  EXPECT_FALSE(reports.Reported("File too long"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.c")));
}

}  // namespace

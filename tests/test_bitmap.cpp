#include <gtest/gtest.h>

#include "CoreTestSupport.h"

#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "image/Bitmap.h"
#include "sys/Memory.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

std::uint32_t InfoU32(const Bitmap& b, int offset) {
  const std::uint8_t* p = b.pInfo.data() + offset;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

TEST(Bitmap, CreateLaysOutRowsAndInfoBlock) {
  sys::Context ctx;
  BitmapPtr trueColor = Bitmap_Create(3, 2, 0, ctx);
  ASSERT_TRUE(trueColor);
  EXPECT_EQ(trueColor->BitsPerPixel, 32);
  EXPECT_EQ(trueColor->BytesPerLine, 12);
  EXPECT_EQ(trueColor->pData.size(), 24u);
  EXPECT_EQ(trueColor->pInfo.size(), 40u);

  BitmapPtr palette = Bitmap_Create(3, 2, 2, ctx);
  ASSERT_TRUE(palette);
  EXPECT_EQ(palette->BitsPerPixel, 8);
  EXPECT_EQ(palette->BytesPerLine, 4);
  EXPECT_EQ(palette->pInfo.size(), 48u);
  EXPECT_EQ(InfoU32(*palette, 0), 40u);
  EXPECT_EQ(InfoU32(*palette, 4), 3u);
  EXPECT_EQ(InfoU32(*palette, 8), 2u);
  EXPECT_EQ(InfoU32(*palette, 20), 8u);  // image size = YSize x BytesPerLine
  EXPECT_EQ(InfoU32(*palette, 32), 2u);
  EXPECT_EQ(palette->HasTrans, 0);
  EXPECT_EQ(palette->HasAlpha, 0);
  EXPECT_EQ(palette->NumUsedColors, 0);
}

TEST(Bitmap, RowsAreBottomUpUntilSetNumColors) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(2, 3, 4, ctx);
  Bitmap_SetPixel(*b, 0, 0, 7);
  EXPECT_EQ(b->pData[2 * b->BytesPerLine], 7);  // last stored row
  EXPECT_EQ(b->pData[0], 0);
  ASSERT_TRUE(Bitmap_SetNumColors(*b, 4, ctx));
  EXPECT_EQ(b->pInfo.size(), 56u);
  EXPECT_EQ(Bitmap_InfoHeight(*b), 0);
  Bitmap_SetPixel(*b, 0, 0, 9);
  EXPECT_EQ(b->pData[0], 9);  // first stored row now
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 9u);
}

TEST(Bitmap, TrueColourPixelBytesAreBlueGreenRedT) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(1, 1, 0, ctx);
  Bitmap_SetPixel(*b, 0, 0, 0x80FF0000);
  EXPECT_EQ(b->pData[0], 0xFF);
  EXPECT_EQ(b->pData[1], 0x00);
  EXPECT_EQ(b->pData[2], 0x00);
  EXPECT_EQ(b->pData[3], 0x80);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 0), 0x80FF0000u);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0x80FF0000u);
}

TEST(Bitmap, PaletteEntryBytesAreBlueGreenRedT) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(1, 1, 2, ctx);
  Bitmap_SetPalColor(*b, 1, 0x00123456);
  EXPECT_EQ(b->pInfo[44], 0x12);
  EXPECT_EQ(b->pInfo[45], 0x34);
  EXPECT_EQ(b->pInfo[46], 0x56);
  EXPECT_EQ(b->pInfo[47], 0x00);
  Bitmap_SetPixel(*b, 0, 0, 1);
  EXPECT_EQ(Bitmap_GetPixelColor(*b, 0, 0), 0x00123456u);
}

TEST(Bitmap, OutOfRangeAccessIsHarmless) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(2, 2, 0, ctx);
  Bitmap_SetPixel(*b, 1, 1, 0x112233);
  EXPECT_EQ(Bitmap_GetPixel(*b, 2, 0), 0u);
  EXPECT_EQ(Bitmap_GetPixel(*b, 0, 2), 0u);
  EXPECT_EQ(Bitmap_GetPixel(*b, -1, 0), 0u);
  Bitmap_SetPixel(*b, 2, 0, 0xFFFFFF);
  Bitmap_SetPixel(*b, 0, -1, 0xFFFFFF);
  for (std::uint8_t byte : b->pData) EXPECT_TRUE(byte == 0 || byte == 0x11 || byte == 0x22 || byte == 0x33);
  // A stray index of a damaged file reads as black instead of beyond the palette.
  BitmapPtr p = Bitmap_Create(1, 1, 2, ctx);
  Bitmap_SetPixel(*p, 0, 0, 200);
  EXPECT_EQ(Bitmap_GetPixelColor(*p, 0, 0), 0u);
}

TEST(Bitmap, UsedColoursIgnoreTransparencyAndAreCached) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(3, 1, 0, ctx);
  Bitmap_SetPixel(*b, 0, 0, 0x00102030);
  Bitmap_SetPixel(*b, 1, 0, 0xFF102030);
  Bitmap_SetPixel(*b, 2, 0, 0x00000001);
  EXPECT_EQ(Bitmap_GetNumUsedColors(*b, ctx), 2);
  Bitmap_SetPixel(*b, 2, 0, 0x00102030);  // in-place edits keep the cached count
  EXPECT_EQ(Bitmap_GetNumUsedColors(*b, ctx), 2);
}

TEST(Bitmap, UsedColoursOfPaletteImageCountColoursNotIndices) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(4, 1, 4, ctx);
  Bitmap_SetPalColor(*b, 0, 0x000000FF);
  Bitmap_SetPalColor(*b, 1, 0x000000FF);  // the same colour twice
  Bitmap_SetPalColor(*b, 2, 0x0000FF00);
  for (int x = 0; x < 4; ++x) Bitmap_SetPixel(*b, x, 0, x % 3);
  EXPECT_EQ(Bitmap_GetNumUsedColors(*b, ctx), 2);
}

TEST(Bitmap, ToTrueColorCopiesPlainImageAndExpandsPalette) {
  sys::Context ctx;
  BitmapPtr plain = Bitmap_Create(2, 2, 0, ctx);
  Bitmap_SetPixel(*plain, 1, 1, 0x00123456);
  BitmapPtr same = Bitmap_ToTrueColor(*plain, ctx);
  ASSERT_TRUE(same);
  EXPECT_NE(same.get(), plain.get());
  EXPECT_EQ(Bitmap_GetPixel(*same, 1, 1), 0x00123456u);
  // A transparent entry (HasTrans) keeps its pixels fully transparent, which
  // the result's HasAlpha makes count.
  for (const int hasTrans : {0, 1}) {
    SCOPED_TRACE(hasTrans);
    BitmapPtr palette = Bitmap_Create(2, 1, 2, ctx);
    Bitmap_SetPalColor(*palette, 0, 0x00123456);
    Bitmap_SetPalColor(*palette, 1, 0x7F00FF00);
    Bitmap_SetPixel(*palette, 1, 0, 1);
    palette->HasTrans = static_cast<std::uint8_t>(hasTrans);
    BitmapPtr expanded = Bitmap_ToTrueColor(*palette, ctx);
    ASSERT_TRUE(expanded);
    EXPECT_EQ(expanded->NumColors, 0);
    EXPECT_EQ(expanded->BitsPerPixel, 32);
    EXPECT_EQ(Bitmap_GetPixel(*expanded, 1, 0), 0x7F00FF00u);  // T carried
    EXPECT_EQ(Bitmap_GetPixel(*expanded, 0, 0), hasTrans != 0 ? 0xFF123456u : 0x00123456u);
    EXPECT_EQ(expanded->HasTrans, 0);
    EXPECT_EQ(expanded->HasAlpha, hasTrans);
  }
}

TEST(Bitmap, ToTrueColorOfAlphaImageMakesNewPlainImage) {
  sys::Context ctx;
  BitmapPtr alpha = Bitmap_Create(1, 1, 0, ctx);
  alpha->HasAlpha = 1;
  Bitmap_SetPixel(*alpha, 0, 0, 0x40010203);
  Bitmap* before = alpha.get();
  BitmapPtr plain = Bitmap_ToTrueColor(*alpha, ctx);
  EXPECT_NE(plain.get(), before);
  EXPECT_EQ(plain->HasAlpha, 0);
  EXPECT_EQ(Bitmap_GetPixel(*plain, 0, 0), 0x40010203u);
}

TEST(Bitmap, CopyCarriesPixelsPaletteAlphaButNotTransOrCount) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(2, 2, 3, ctx);
  Bitmap_SetPalColor(*b, 2, 0x00ABCDEF);
  Bitmap_SetPixel(*b, 1, 1, 2);
  b->HasTrans = 1;
  b->HasAlpha = 1;
  Bitmap_GetNumUsedColors(*b, ctx);
  BitmapPtr copy = Bitmap_Copy(*b, ctx);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->HasTrans, 0);
  EXPECT_EQ(copy->HasAlpha, 1);
  EXPECT_EQ(copy->NumUsedColors, 0);
  EXPECT_EQ(Bitmap_GetPixel(*copy, 1, 1), 2u);
  EXPECT_EQ(Bitmap_GetPalColor(*copy, 2), 0x00ABCDEFu);
  EXPECT_EQ(copy->pData, b->pData);
}

TEST(Bitmap, CopyOfTopDownImageKeepsRowOrder) {
  sys::Context ctx;
  BitmapPtr b = Bitmap_Create(1, 2, 2, ctx);
  Bitmap_SetNumColors(*b, 2, ctx);
  Bitmap_SetPixel(*b, 0, 0, 1);
  BitmapPtr copy = Bitmap_Copy(*b, ctx);
  EXPECT_EQ(Bitmap_GetPixel(*copy, 0, 0), 1u);
  EXPECT_EQ(Bitmap_GetPixel(*copy, 0, 1), 0u);
}

TEST(Bitmap, RefusesSizesBeyondTheCeilingWithTheAllocatorMessage) {
  sys::Context ctx;
  ctx.SetMaxBlockBytes(1 << 20);
  EXPECT_FALSE(Bitmap_Create(1024, 1024, 0, ctx));
  ASSERT_EQ(ctx.Messages().size(), 1u);
  EXPECT_EQ(ctx.Messages()[0].text, "Failed to allocate 0x00400000 bytes of memory!");
  EXPECT_EQ(ctx.Messages()[0].code, sys::Code::kOutOfMemory);
  EXPECT_TRUE(ctx.Messages()[0].allocator);
  EXPECT_TRUE(Bitmap_Create(512, 512, 0, ctx));
  EXPECT_FALSE(Bitmap_Create(-1, 5, 0, ctx));
  EXPECT_FALSE(Bitmap_Create(5, 5, 257, ctx));
}

class UndoStack : public ::testing::Test {
 protected:
  void SetUp() override { ResetDocument(); }
  void TearDown() override { ResetDocument(); }
  static void SetCurrentMarker(int marker) {
    GetDocument().current = testing_support::MakeBitmap(1, 1, 0);
    Bitmap_SetPixel(*GetDocument().current, 0, 0, static_cast<std::uint32_t>(marker));
  }
  static int CurrentMarker() { return static_cast<int>(Bitmap_GetPixel(*GetDocument().current, 0, 0)); }
};

TEST_F(UndoStack, PushWithoutImageDoesNothingAndPopOfEmptyStackKeepsImage) {
  PushUndo();
  EXPECT_FALSE(CanUndo());
  SetCurrentMarker(5);
  PopUndo();
  EXPECT_EQ(CurrentMarker(), 5);
}

TEST_F(UndoStack, KeepsTheTenNewestStatesInOrder) {
  for (int i = 1; i <= 11; ++i) {
    SetCurrentMarker(i);
    PushUndo();
  }
  SetCurrentMarker(100);
  for (int expected = 11; expected >= 2; --expected) {
    ASSERT_TRUE(CanUndo());
    PopUndo();
    EXPECT_EQ(CurrentMarker(), expected);
  }
  EXPECT_FALSE(CanUndo());  // state 1 dropped out when the eleventh was pushed
  PopUndo();
  EXPECT_EQ(CurrentMarker(), 2);
}

TEST_F(UndoStack, UndoCopyIsIndependentOfLaterEdits) {
  SetCurrentMarker(1);
  PushUndo();
  Bitmap_SetPixel(*GetDocument().current, 0, 0, 2);
  PopUndo();
  EXPECT_EQ(CurrentMarker(), 1);
}

}  // namespace

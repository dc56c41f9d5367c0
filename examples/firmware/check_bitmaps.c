/* Checks the bitmaps Rastra converted during this build: their sizes, and
 * their pixels decoded the way the graphics library draws them, against the
 * pictures images/make_images.py draws. Prints one line per problem and
 * exits with 1 when there was one. Expects the default output options (no
 * ARGB palettes, little-endian streams), which rastra_add_bitmap passes
 * whatever the settings of the user who builds. */
#include <stdio.h>
#include <stdlib.h>

#include "GUI.h"

#ifndef GUI_CONST_STORAGE
  #define GUI_CONST_STORAGE const
#endif

extern GUI_CONST_STORAGE GUI_BITMAP bmflag;
extern GUI_CONST_STORAGE GUI_BITMAP bmramp;
extern GUI_CONST_STORAGE GUI_BITMAP bmbadge;
extern const GUI_BITMAP* apbmspin[4];
extern const unsigned aDelayspin[4];
extern GUI_CONST_STORAGE GUI_BITMAP bmtheme_flag;
extern GUI_CONST_STORAGE GUI_BITMAP bmtheme_badge;
extern GUI_CONST_STORAGE GUI_LOGPALETTE Paltheme;

/* The drawing methods GUI.h declares; the stand-in only tells them apart. */
const GUI_BITMAP_METHODS GUI__aBitmapMethods[GUI_METHOD_COUNT] = {
    {GUI_METHOD_NONE},       {GUI_METHOD_RLE4},        {GUI_METHOD_RLE8},         {GUI_METHOD_RLE16},
    {GUI_METHOD_RLEM16},     {GUI_METHOD_RLE32},       {GUI_METHOD_RLEALPHA},     {GUI_METHOD_BMP565},
    {GUI_METHOD_BMPM565},    {GUI_METHOD_BMP555},      {GUI_METHOD_BMPM555},      {GUI_METHOD_BMP444_12},
    {GUI_METHOD_BMPM444_12}, {GUI_METHOD_BMP444_12_1}, {GUI_METHOD_BMPM444_12_1}, {GUI_METHOD_BMP444_16},
    {GUI_METHOD_BMPM444_16}, {GUI_METHOD_BMP8888},     {GUI_METHOD_BMPM8888I},    {GUI_METHOD_BMP24},
    {GUI_METHOD_BMPA555},    {GUI_METHOD_BMPAM555},    {GUI_METHOD_BMPA565},      {GUI_METHOD_BMPAM565},
};

static int failures = 0;

static void Fail(const char* what, int x, int y, unsigned long got, unsigned long wanted) {
  if (++failures <= 20) printf("%s: pixel %d,%d is 0x%08lX, expected 0x%08lX\n", what, x, y, got, wanted);
}

static int CheckHeader(const char* what, const GUI_BITMAP* bm, int w, int h, int method) {
  int m = bm->pMethods ? bm->pMethods->Method : GUI_METHOD_NONE;
  if (bm->XSize != w || bm->YSize != h || m != method) {
    printf("%s: %dx%d method %d, expected %dx%d method %d\n", what, bm->XSize, bm->YSize, m, w, h, method);
    ++failures;
    return 0;
  }
  return 1;
}

static unsigned Expand(unsigned level, int bits) {
  unsigned top = (1u << bits) - 1;
  return (level * 255 + top / 2) / top;
}

/* ---- the pictures, as make_images.py draws them, as 0xTTBBGGRR ---- */

static U32 FlagColor(int x, int y) {
  static const U32 quadrant[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  return quadrant[(x >= 24 ? 1 : 0) + (y >= 16 ? 2 : 0)];
}

/* The flag's colours move one quadrant anticlockwise per frame. */
static U32 SpinColor(int frame, int x, int y) {
  static const U32 clockwise[4] = {0x0000FF, 0x00FF00, 0xFFFFFF, 0xFF0000};
  int place = x < 8 ? (y < 8 ? 0 : 3) : (y < 8 ? 1 : 2);
  return clockwise[(place + frame) % 4];
}

static U32 RampColor(int x, int y) {
  return Expand(x % 32, 5) | (Expand((x + 2 * y) % 64, 6) << 8) | (Expand(y % 32, 5) << 16);
}

/* Transparency T is 255 - alpha; a fully transparent pixel has no colour. */
static U32 BadgeColor(int x, int y, int* colorMatters) {
  int dx = 2 * x - 31, dy = 2 * y - 31, d = dx * dx + dy * dy; /* 4 * squared distance from the centre */
  *colorMatters = 1;
  if (d <= 4 * 10 * 10) return 0x0080FF;                 /* orange, opaque */
  if (d <= 4 * 14 * 14) return 0xFF0000 | (0x7Fu << 24); /* blue, alpha 0x80 */
  *colorMatters = 0;
  return 0xFFu << 24;
}

/* ---- decoding ---- */

static void CheckFlag(void) {
  const GUI_BITMAP* bm = &bmflag;
  const unsigned char* p = bm->pData;
  int pos = 0, n = 48 * 32, x, y;
  unsigned char* index;
  if (!CheckHeader("flag", bm, 48, 32, GUI_METHOD_RLE8) || !bm->pPal) return;
  index = (unsigned char*)malloc((size_t)n);
  while (pos < n) {
    unsigned count = *p++, i;
    if (count != 0) {
      unsigned value = *p++;
      for (i = 0; i < count && pos < n; ++i) index[pos++] = (unsigned char)value;
    } else {
      count = *p++;
      for (i = 0; i < count && pos < n; ++i) index[pos++] = *p++;
    }
  }
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 48; ++x) {
      unsigned i = index[y * 48 + x];
      U32 got = i < (unsigned)bm->pPal->NumEntries ? bm->pPal->pPalEntries[i] & 0xFFFFFF : 0xFFFFFFFF;
      if (got != FlagColor(x, y)) Fail("flag", x, y, got, FlagColor(x, y));
    }
  free(index);
}

static void CheckSpin(void) {
  int frame, x, y;
  for (frame = 0; frame < 4; ++frame) {
    const GUI_BITMAP* bm = apbmspin[frame];
    if (!CheckHeader("spin", bm, 16, 16, GUI_METHOD_NONE) || bm->BitsPerPixel != 8 || !bm->pPal) {
      ++failures;
      continue;
    }
    if (aDelayspin[frame] != 100u * (unsigned)(frame + 1)) {
      printf("spin: frame %d shows for %u ms\n", frame, aDelayspin[frame]);
      ++failures;
    }
    for (y = 0; y < 16; ++y)
      for (x = 0; x < 16; ++x) {
        unsigned i = bm->pData[y * bm->BytesPerLine + x];
        U32 got = i < (unsigned)bm->pPal->NumEntries ? bm->pPal->pPalEntries[i] & 0xFFFFFF : 0xFFFFFFFF;
        if (got != SpinColor(frame, x, y)) Fail("spin", x, y, got, SpinColor(frame, x, y));
      }
  }
}

static void CheckRamp(void) {
  const GUI_BITMAP* bm = &bmramp;
  const unsigned short* data = (const unsigned short*)bm->pData;
  int x, y;
  if (!CheckHeader("ramp", bm, 48, 32, GUI_METHOD_BMP565)) return;
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 48; ++x) {
      unsigned code = data[y * (bm->BytesPerLine / 2) + x];
      U32 got = Expand(code & 31, 5) | (Expand((code >> 5) & 63, 6) << 8) | (Expand(code >> 11, 5) << 16);
      if (got != RampColor(x, y)) Fail("ramp", x, y, got, RampColor(x, y));
    }
}

static void CheckBadgePixel(const char* what, int x, int y, U32 got) {
  int colorMatters;
  U32 wanted = BadgeColor(x, y, &colorMatters);
  if (!colorMatters) got &= 0xFF000000u;
  if (got != wanted) Fail(what, x, y, got, wanted);
}

static void CheckBadge(void) {
  const GUI_BITMAP* bm = &bmbadge;
  const U32* data = (const U32*)bm->pData;
  int x, y;
  if (!CheckHeader("badge", bm, 32, 32, GUI_METHOD_BMP8888)) return;
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 32; ++x) CheckBadgePixel("badge", x, y, data[y * (bm->BytesPerLine / 4) + x]);
}

/* The set's pictures share the palette of theme.c and draw back exactly: the
 * badge's transparent pixels take the transparent entry 0, its
 * half-transparent ring the opaque blue (palette entries carry no alpha). */
static U32 ThemeColor(const GUI_BITMAP* bm, int x, int y, unsigned* index) {
  *index = bm->pData[y * bm->BytesPerLine + x];
  return *index < (unsigned)Paltheme.NumEntries ? Paltheme.pPalEntries[*index] & 0xFFFFFF : 0xFFFFFFFF;
}

static void CheckTheme(void) {
  const GUI_BITMAP* flag = &bmtheme_flag;
  const GUI_BITMAP* badge = &bmtheme_badge;
  unsigned index;
  int x, y, colorMatters;
  if (!CheckHeader("theme_flag", flag, 48, 32, GUI_METHOD_NONE) ||
      !CheckHeader("theme_badge", badge, 32, 32, GUI_METHOD_NONE)) {
    return;
  }
  if (flag->pPal != &Paltheme || badge->pPal != &Paltheme || !Paltheme.HasTrans || flag->BitsPerPixel != 8) {
    printf("theme: the bitmaps do not share the palette Paltheme with its transparent entry\n");
    ++failures;
    return;
  }
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 48; ++x) {
      U32 got = ThemeColor(flag, x, y, &index);
      if (got != FlagColor(x, y) || index == 0) Fail("theme_flag", x, y, got, FlagColor(x, y));
    }
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 32; ++x) {
      U32 wanted = BadgeColor(x, y, &colorMatters) & 0xFFFFFF;
      U32 got = ThemeColor(badge, x, y, &index);
      if (colorMatters ? index == 0 || got != wanted : index != 0) Fail("theme_badge", x, y, got, wanted);
    }
}

/* The stream: a header of 16 bit values (magic, format, width, height, bytes
 * per line, bits per pixel, colours, transparency), then the pixels. */
static void CheckBadgeStream(const char* path) {
  unsigned char bytes[16 + 32 * 32 * 4 + 1];
  unsigned header[8];
  size_t size;
  int i, x, y;
  FILE* f = fopen(path, "rb");
  if (!f) {
    printf("%s: cannot open\n", path);
    ++failures;
    return;
  }
  size = fread(bytes, 1, sizeof bytes, f);
  fclose(f);
  for (i = 0; i < 8; ++i) header[i] = bytes[2 * i] | (unsigned)bytes[2 * i + 1] << 8;
  if (size != sizeof bytes - 1 || header[0] != 0x4D42 || header[1] != 16 || header[2] != 32 || header[3] != 32) {
    printf("%s: %lu bytes, header %X %u %ux%u\n", path, (unsigned long)size, header[0], header[1], header[2],
           header[3]);
    ++failures;
    return;
  }
  for (y = 0; y < 32; ++y)
    for (x = 0; x < 32; ++x) {
      const unsigned char* p = bytes + 16 + 4 * (y * 32 + x);
      CheckBadgePixel("badge stream", x, y, p[0] | (U32)p[1] << 8 | (U32)p[2] << 16 | (U32)p[3] << 24);
    }
}

int main(int argc, char** argv) {
  CheckFlag();
  CheckSpin();
  CheckRamp();
  CheckBadge();
  CheckBadgeStream(argc > 1 ? argv[1] : BADGE_STREAM);
  CheckTheme();
  if (failures != 0) {
    printf("%d problems\n", failures);
    return 1;
  }
  printf("all bitmaps as drawn\n");
  return 0;
}

/* Test decoder for the round trip of generated bitmap files and streams.
 *
 * Linked with generated C files and a list of their bitmaps, it prints every
 * bitmap's pixels as the target library would draw them. Given stream files
 * (.dta), it decodes those instead. The layouts here are written from the
 * bit layouts of the formats, independently of the writer's code.
 *
 * Output per image:
 *   BEGIN <name> <kind> <width> <height> <palette entries> <has trans>
 *   one line per row of hex values
 *   END
 * kind C: colours 0xTTBBGGRR, I: palette indices (no palette present),
 * A: transparency bytes only. A problem prints "ERROR <name> <reason>". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "GUI.h"

typedef struct {
  int rShift, gShift, bShift;
  int rBits, gBits, bBits;
} Layout;

static const Layout k565 = {0, 5, 11, 5, 6, 5};
static const Layout kM565 = {11, 5, 0, 5, 6, 5};
static const Layout k555 = {0, 5, 10, 5, 5, 5};
static const Layout kM555 = {10, 5, 0, 5, 5, 5};
static const Layout k444_12 = {0, 4, 8, 4, 4, 4};
static const Layout kM444_12 = {8, 4, 0, 4, 4, 4};
static const Layout k444_12_1 = {4, 8, 12, 4, 4, 4};
static const Layout kM444_12_1 = {12, 8, 4, 4, 4, 4};
static const Layout k444_16 = {1, 6, 11, 4, 4, 4};
static const Layout kM444_16 = {11, 6, 1, 4, 4, 4};

const GUI_BITMAP_METHODS GUI__aBitmapMethods[GUI_METHOD_COUNT] = {
    {GUI_METHOD_NONE},        {GUI_METHOD_RLE4},        {GUI_METHOD_RLE8},         {GUI_METHOD_RLE16},
    {GUI_METHOD_RLEM16},      {GUI_METHOD_RLE32},       {GUI_METHOD_RLEALPHA},     {GUI_METHOD_BMP565},
    {GUI_METHOD_BMPM565},     {GUI_METHOD_BMP555},      {GUI_METHOD_BMPM555},      {GUI_METHOD_BMP444_12},
    {GUI_METHOD_BMPM444_12},  {GUI_METHOD_BMP444_12_1}, {GUI_METHOD_BMPM444_12_1}, {GUI_METHOD_BMP444_16},
    {GUI_METHOD_BMPM444_16},  {GUI_METHOD_BMP8888},     {GUI_METHOD_BMPM8888I},    {GUI_METHOD_BMP24},
    {GUI_METHOD_BMPA555},     {GUI_METHOD_BMPAM555},    {GUI_METHOD_BMPA565},      {GUI_METHOD_BMPAM565},
};

/* Provided by the list file the test generates. */
extern const GUI_BITMAP* const apRoundBitmaps[];
extern const char* const apRoundNames[];
extern const int RoundNumBitmaps;

static unsigned Expand(unsigned v, int bits) {
  unsigned max = (1u << bits) - 1;
  return (v * 255 + max / 2) / max;
}

static U32 ColorFromCode(unsigned code, const Layout* l) {
  unsigned r = Expand((code >> l->rShift) & ((1u << l->rBits) - 1), l->rBits);
  unsigned g = Expand((code >> l->gShift) & ((1u << l->gBits) - 1), l->gBits);
  unsigned b = Expand((code >> l->bShift) & ((1u << l->bBits) - 1), l->bBits);
  return r | (g << 8) | (b << 16);
}

/* 0x(255 - T)RRGGBB back to 0xTTBBGGRR. */
static U32 FromArgb(U32 v) {
  U32 t = 255 - (v >> 24);
  return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16) | (t << 24);
}

typedef struct {
  const unsigned char* p;
  size_t left;
  int ok;
} Reader;

static unsigned Byte(Reader* r) {
  if (r->left == 0) {
    r->ok = 0;
    return 0;
  }
  r->left--;
  return *r->p++;
}

/* width 1: a byte; 2: low, high; 4: red, green, blue, T. */
static U32 Value(Reader* r, int width) {
  U32 v = 0;
  int i;
  for (i = 0; i < width; ++i) v |= (U32)Byte(r) << (8 * i);
  return v;
}

static int DecodeRle(Reader* r, long n, int width, int nibbles, U32* values) {
  long pos = 0;
  while (pos < n && r->ok) {
    unsigned count = Byte(r);
    unsigned i;
    if (count != 0) {
      U32 v = Value(r, width);
      for (i = 0; i < count; ++i) {
        if (pos >= n) return 0;
        values[pos++] = v;
      }
    } else {
      unsigned k = Byte(r);
      unsigned packed = 0;
      if (k < 2) return 0;
      for (i = 0; i < k; ++i) {
        U32 v;
        if (pos >= n) return 0;
        if (nibbles) {
          if (i % 2 == 0) packed = Byte(r);
          v = i % 2 == 0 ? packed >> 4 : packed & 15;
        } else {
          v = Value(r, width);
        }
        values[pos++] = v;
      }
    }
  }
  return r->ok && pos == n;
}

static void Print(const char* name, char kind, long w, long h, int entries, int hasTrans, const U32* v) {
  long x, y;
  printf("BEGIN %s %c %ld %ld %d %d\n", name, kind, w, h, entries, hasTrans);
  for (y = 0; y < h; ++y) {
    for (x = 0; x < w; ++x) printf("%X ", (unsigned)v[y * w + x]);
    printf("\n");
  }
  printf("END\n");
}

static void UnpackRows(const unsigned char* data, long w, long h, long bytesPerLine, int bits, U32* v) {
  long x, y;
  for (y = 0; y < h; ++y) {
    for (x = 0; x < w; ++x) {
      unsigned byte = data[y * bytesPerLine + x * bits / 8];
      int shift = 8 - bits - (int)((x * bits) % 8);
      v[y * w + x] = (byte >> shift) & ((1u << bits) - 1);
    }
  }
}

static const Layout* CodeLayout(int method) {
  switch (method) {
    case GUI_METHOD_BMP565: case GUI_METHOD_RLE16: case GUI_METHOD_BMPA565: return &k565;
    case GUI_METHOD_BMPM565: case GUI_METHOD_RLEM16: case GUI_METHOD_BMPAM565: return &kM565;
    case GUI_METHOD_BMP555: case GUI_METHOD_BMPA555: return &k555;
    case GUI_METHOD_BMPM555: case GUI_METHOD_BMPAM555: return &kM555;
    case GUI_METHOD_BMP444_12: return &k444_12;
    case GUI_METHOD_BMPM444_12: return &kM444_12;
    case GUI_METHOD_BMP444_12_1: return &k444_12_1;
    case GUI_METHOD_BMPM444_12_1: return &kM444_12_1;
    case GUI_METHOD_BMP444_16: return &k444_16;
    case GUI_METHOD_BMPM444_16: return &kM444_16;
    default: return NULL;
  }
}

/* ------------------------------------------------------------------ C files */

static void DecodeBitmap(const char* name, const GUI_BITMAP* bm) {
  long w = bm->XSize, h = bm->YSize, n = w * h, i, x, y;
  long bpl = bm->BytesPerLine;
  int method = bm->pMethods ? bm->pMethods->Method : GUI_METHOD_NONE;
  const Layout* layout = CodeLayout(method);
  char kind = 'C';
  int entries = bm->pPal ? bm->pPal->NumEntries : 0;
  int hasTrans = bm->pPal ? bm->pPal->HasTrans : 0;
  U32* v = (U32*)calloc((size_t)(n + 1), sizeof(U32));
  Reader r;
  r.p = bm->pData;
  r.left = (size_t)-1;
  r.ok = 1;
  switch (method) {
    case GUI_METHOD_NONE:
      UnpackRows(bm->pData, w, h, bpl, bm->BitsPerPixel, v);
      kind = 'I';
      break;
    case GUI_METHOD_RLE4:
    case GUI_METHOD_RLE8:
    case GUI_METHOD_RLEALPHA:
      if (!DecodeRle(&r, n, 1, method == GUI_METHOD_RLE4, v) || Byte(&r) != 0) {
        printf("ERROR %s rle\n", name);
        free(v);
        return;
      }
      kind = method == GUI_METHOD_RLEALPHA ? 'A' : 'I';
      break;
    case GUI_METHOD_RLE16:
    case GUI_METHOD_RLEM16:
    case GUI_METHOD_RLE32:
      if (!DecodeRle(&r, n, method == GUI_METHOD_RLE32 ? 4 : 2, 0, v) || Byte(&r) != 0) {
        printf("ERROR %s rle\n", name);
        free(v);
        return;
      }
      if (layout)
        for (i = 0; i < n; ++i) v[i] = ColorFromCode(v[i], layout);
      break;
    case GUI_METHOD_BMP8888:
    case GUI_METHOD_BMPM8888I: {
      const U32* d = (const U32*)bm->pData;
      for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) {
          U32 value = d[y * (bpl / 4) + x];
          v[y * w + x] = method == GUI_METHOD_BMP8888 ? value : FromArgb(value);
        }
      break;
    }
    case GUI_METHOD_BMP24:
      for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) {
          const unsigned char* p = bm->pData + y * bpl + 3 * x;
          v[y * w + x] = p[0] | ((U32)p[1] << 8) | ((U32)p[2] << 16);
        }
      break;
    case GUI_METHOD_BMPA555:
    case GUI_METHOD_BMPAM555:
    case GUI_METHOD_BMPA565:
    case GUI_METHOD_BMPAM565:
      for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) {
          const unsigned char* p = bm->pData + y * bpl + 3 * x;
          v[y * w + x] = ColorFromCode(((unsigned)p[1] << 8) | p[2], layout) | ((U32)p[0] << 24);
        }
      break;
    default: {
      const unsigned short* d = (const unsigned short*)bm->pData;
      if (!layout) {
        printf("ERROR %s method\n", name);
        free(v);
        return;
      }
      for (y = 0; y < h; ++y)
        for (x = 0; x < w; ++x) v[y * w + x] = ColorFromCode(d[y * (bpl / 2) + x], layout);
      break;
    }
  }
  if (kind == 'I' && bm->pPal && bm->pPal->pPalEntries) {
    for (i = 0; i < n; ++i) {
      U32 entry = bm->pPal->pPalEntries[v[i]];
#if GUI_USE_ARGB
      v[i] = FromArgb(entry) & 0xFFFFFF;
#else
      v[i] = entry & 0xFFFFFF;
#endif
    }
    kind = 'C';
  }
  Print(name, kind, w, h, entries, hasTrans, v);
  free(v);
}

/* ------------------------------------------------------------------ streams */

static unsigned U16(Reader* r) { return Value(r, 2); }

static const Layout* StreamLayout(unsigned format) {
  switch (format) {
    case 8: case 12: case 27: return &k565;
    case 9: case 13: case 28: return &kM565;
    case 10: case 25: return &k555;
    case 11: case 26: return &kM555;
    case 19: return &k444_12;
    case 20: return &kM444_12;
    case 21: return &k444_12_1;
    case 22: return &kM444_12_1;
    case 23: return &k444_16;
    case 24: return &kM444_16;
    default: return NULL;
  }
}

static U32 BigOrLittle32(Reader* r, int bigEndian) {
  U32 v = Value(r, 4);
  if (bigEndian) v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
  return v;
}

static int DecodeStreamPixels(Reader* r, unsigned format, long w, long h, long bpl, unsigned bits, int bigEndian,
                              U32* v, char* kind) {
  long n = w * h, i, x, y;
  const Layout* layout = StreamLayout(format);
  *kind = 'C';
  switch (format) {
    case 100:
      if (r->left < (size_t)(bpl * h)) return 0;
      UnpackRows(r->p, w, h, bpl, (int)bits, v);
      r->p += bpl * h;
      r->left -= (size_t)(bpl * h);
      *kind = 'I';
      return 1;
    case 6: case 7: *kind = 'I'; return DecodeRle(r, n, 1, format == 6, v);
    case 18: *kind = 'A'; return DecodeRle(r, n, 1, 0, v);
    case 12: case 13:
      if (!DecodeRle(r, n, 2, 0, v)) return 0;
      for (i = 0; i < n; ++i) v[i] = ColorFromCode(v[i], layout);
      return 1;
    case 15: return DecodeRle(r, n, 4, 0, v);
    default: break;
  }
  for (y = 0; y < h; ++y)
    for (x = 0; x < w; ++x) {
      U32* out = &v[y * w + x];
      if (format == 16) {
        *out = BigOrLittle32(r, bigEndian);
      } else if (format == 29) {
        *out = FromArgb(BigOrLittle32(r, bigEndian));
      } else if (format == 17) {
        *out = Value(r, 3);
      } else if (format >= 25 && format <= 28) {
        U32 t = Byte(r);
        unsigned high = Byte(r);
        unsigned low = Byte(r);
        *out = ColorFromCode((high << 8) | low, layout) | (t << 24);
      } else if (layout) {
        unsigned a = Byte(r), b = Byte(r);
        *out = ColorFromCode(bigEndian ? (a << 8) | b : a | (b << 8), layout);
      } else {
        return 0;
      }
    }
  return r->ok;
}

static void DecodeStream(const char* path, int argb, int bigEndian) {
  FILE* f = fopen(path, "rb");
  unsigned char* bytes;
  long size;
  Reader r;
  unsigned format, bpl, bits, colors, trans, i;
  long w, h;
  U32 palette[256];
  U32* v;
  char kind;
  if (!f) {
    printf("ERROR %s open\n", path);
    return;
  }
  fseek(f, 0, SEEK_END);
  size = ftell(f);
  fseek(f, 0, SEEK_SET);
  bytes = (unsigned char*)malloc((size_t)size + 1);
  if (fread(bytes, 1, (size_t)size, f) != (size_t)size) size = 0;
  fclose(f);
  r.p = bytes;
  r.left = (size_t)size;
  r.ok = 1;
  if (U16(&r) != 0x4D42) {
    printf("ERROR %s magic\n", path);
    free(bytes);
    return;
  }
  format = U16(&r);
  w = U16(&r);
  h = U16(&r);
  bpl = U16(&r);
  bits = U16(&r);
  colors = U16(&r);
  trans = U16(&r);
  for (i = 0; i < colors && i < 256; ++i) {
    U32 entry = Value(&r, 4);
    palette[i] = argb ? FromArgb(entry) : entry;
  }
  v = (U32*)calloc((size_t)(w * h + 1), sizeof(U32));
  if (!r.ok || !DecodeStreamPixels(&r, format, w, h, bpl, bits, bigEndian, v, &kind)) {
    printf("ERROR %s pixels\n", path);
  } else if (r.left != 0) {
    printf("ERROR %s trailing %lu\n", path, (unsigned long)r.left);
  } else {
    if (kind == 'I' && colors != 0) {
      long k;
      for (k = 0; k < w * h; ++k) v[k] = palette[v[k] & 0xFF];
      kind = 'C';
    }
    Print(path, kind, w, h, (int)colors, (int)trans, v);
  }
  free(v);
  free(bytes);
}

/* No arguments: the linked bitmaps. Otherwise triples: path argb bigEndian. */
int main(int argc, char** argv) {
  int i;
  if (argc == 1) {
    for (i = 0; i < RoundNumBitmaps; ++i) DecodeBitmap(apRoundNames[i], apRoundBitmaps[i]);
    return 0;
  }
  for (i = 1; i + 2 < argc; i += 3) DecodeStream(argv[i], atoi(argv[i + 1]), atoi(argv[i + 2]));
  return 0;
}

/* A small reader of LVGL v9 .bin images, written from the file format alone
 * (not from LVGL's code), as proof that the files Rastra writes are what an
 * LVGL decoder expects: the header is checked as LVGL checks it, RLE and LZ4
 * data are decompressed and their sizes checked, and the rows are read at the
 * header's stride.
 *
 *   lvgl_decode IMAGE.bin PIXELS
 *
 * PIXELS receives the width and height (two little-endian u32) and then
 * every pixel as R, G, B, A. Colours of formats with fewer bits are widened
 * by repeating their high bits; L8 and AL88 give grey; A* give black with
 * that alpha; premultiplied colours stay premultiplied. Exit status 0 when
 * the file was read, 1 with a reason on stderr otherwise. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <lz4.h>

typedef struct {
  uint8_t cf;
  uint16_t flags, w, h, stride;
} Header;

static int Fail(const char* why) {
  fprintf(stderr, "lvgl_decode: %s\n", why);
  return 1;
}

static unsigned U16(const uint8_t* p) { return (unsigned)p[0] | ((unsigned)p[1] << 8); }
static uint32_t U32(const uint8_t* p) { return (uint32_t)U16(p) | ((uint32_t)U16(p + 2) << 16); }

static int BitsPerPixel(uint8_t cf) {
  switch (cf) {
    case 0x07: case 0x0B: return 1;
    case 0x08: case 0x0C: return 2;
    case 0x09: case 0x0D: return 4;
    case 0x06: case 0x0A: case 0x0E: return 8;
    case 0x12: case 0x14: case 0x15: case 0x1B: return 16;
    case 0x0F: case 0x13: return 24;
    case 0x10: case 0x11: case 0x1A: return 32;
    default: return 0;
  }
}

static int IsIndexed(uint8_t cf) { return cf >= 0x07 && cf <= 0x0A; }

/* palette + rows + (RGB565A8) alpha plane */
static size_t DataSize(const Header* h) {
  size_t n = (size_t)h->stride * h->h;
  if (IsIndexed(h->cf)) n += (size_t)4 << BitsPerPixel(h->cf);
  if (h->cf == 0x14) n += (size_t)(h->stride / 2) * h->h;
  return n;
}

/* LVGL's RLE: control byte 0x01..0x7F repeats one block, 0x81..0xFF copies
 * (c & 0x7F) blocks. The last block may be padded past `size`. */
static int RleDecode(const uint8_t* in, size_t inSize, size_t block, uint8_t* out, size_t size) {
  size_t at = 0, done = 0;
  while (at < inSize) {
    const uint8_t c = in[at++];
    const size_t count = c & 0x7F;
    size_t i;
    if (count == 0) return 0;
    if (c & 0x80) {
      if (count * block > inSize - at) return 0;
      for (i = 0; i < count * block; ++i, ++done) {
        if (done < size) out[done] = in[at + i];
        else if (done >= size + block) return 0;
      }
      at += count * block;
    } else {
      if (block > inSize - at) return 0;
      for (i = 0; i < count * block; ++i, ++done) {
        if (done < size) out[done] = in[at + i % block];
        else if (done >= size + block) return 0;
      }
      at += block;
    }
  }
  return done >= size && done - size < block;
}

static uint8_t Widen(unsigned v, int bits) {
  unsigned out = 0;
  int filled;
  for (filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
  return (uint8_t)(out >> (filled - 8));
}

static void Pixel(const Header* h, const uint8_t* data, int x, int y, uint8_t rgba[4]) {
  const int bits = BitsPerPixel(h->cf);
  const size_t palette = IsIndexed(h->cf) ? ((size_t)4 << bits) : 0;
  const uint8_t* row = data + palette + (size_t)y * h->stride;
  const uint8_t* p = row + (size_t)x * (size_t)(bits / 8);
  unsigned v, c565;
  if (bits < 8 || h->cf == 0x0A) {
    const unsigned bit = (unsigned)x * (unsigned)bits;
    v = (row[bit / 8] >> (8 - bits - (int)(bit % 8))) & ((1u << bits) - 1);
    if (IsIndexed(h->cf)) {
      const uint8_t* e = data + (size_t)v * 4;
      rgba[0] = e[2]; rgba[1] = e[1]; rgba[2] = e[0]; rgba[3] = e[3];
    } else {
      rgba[0] = rgba[1] = rgba[2] = 0;
      rgba[3] = Widen(v, bits);
    }
    return;
  }
  rgba[3] = 255;
  switch (h->cf) {
    case 0x06: rgba[0] = rgba[1] = rgba[2] = p[0]; return;
    case 0x0E: rgba[0] = rgba[1] = rgba[2] = 0; rgba[3] = p[0]; return;
    case 0x15: rgba[0] = rgba[1] = rgba[2] = p[0]; rgba[3] = p[1]; return;
    case 0x0F: rgba[0] = p[2]; rgba[1] = p[1]; rgba[2] = p[0]; return;
    case 0x10: case 0x1A: rgba[0] = p[2]; rgba[1] = p[1]; rgba[2] = p[0]; rgba[3] = p[3]; return;
    case 0x11: rgba[0] = p[2]; rgba[1] = p[1]; rgba[2] = p[0]; return;
    default: break;
  }
  c565 = h->cf == 0x1B ? ((unsigned)p[0] << 8) | p[1] : U16(p);
  rgba[0] = Widen(c565 >> 11, 5);
  rgba[1] = Widen((c565 >> 5) & 0x3F, 6);
  rgba[2] = Widen(c565 & 0x1F, 5);
  if (h->cf == 0x13) rgba[3] = p[2];
  if (h->cf == 0x14) rgba[3] = data[(size_t)h->h * h->stride + (size_t)y * (h->stride / 2) + (size_t)x];
}

static int Decode(const uint8_t* file, size_t size, FILE* out) {
  Header h;
  size_t need, x, y;
  uint8_t* data;
  const uint8_t* body = file + 12;
  size_t bodySize = size - 12;
  if (size < 12 || file[0] != 0x19) return Fail("no LVGL v9 header (magic 0x19)");
  h.cf = file[1];
  h.flags = (uint16_t)U16(file + 2);
  h.w = (uint16_t)U16(file + 4);
  h.h = (uint16_t)U16(file + 6);
  h.stride = (uint16_t)U16(file + 8);
  if (BitsPerPixel(h.cf) == 0) return Fail("unknown colour format");
  if (h.w == 0 || h.h == 0) return Fail("empty image");
  if (h.stride < ((size_t)h.w * (size_t)BitsPerPixel(h.cf) + 7) / 8) return Fail("stride below the row's bytes");
  if ((h.flags & ~0x0009u) != 0) return Fail("flags other than premultiplied and compressed");
  need = DataSize(&h);
  data = (uint8_t*)malloc(need);
  if (data == NULL) return Fail("out of memory");
  if (h.flags & 0x0008) {
    uint32_t method, packed, raw;
    if (bodySize < 12) { free(data); return Fail("compression block cut short"); }
    method = U32(body) & 0xF;
    packed = U32(body + 4);
    raw = U32(body + 8);
    if (packed != bodySize - 12) { free(data); return Fail("compressed size is not the rest of the file"); }
    if (raw != need) { free(data); return Fail("decompressed size does not match the header"); }
    if (method == 1) {
      const size_t block = (size_t)(BitsPerPixel(h.cf) + 7) / 8;
      if (!RleDecode(body + 12, packed, block, data, need)) { free(data); return Fail("RLE data damaged"); }
    } else if (method == 2) {
      if (LZ4_decompress_safe((const char*)body + 12, (char*)data, (int)packed, (int)need) != (int)need) {
        free(data);
        return Fail("LZ4 data damaged");
      }
    } else {
      free(data);
      return Fail("unknown compression method");
    }
  } else {
    if (bodySize != need) { free(data); return Fail("data size does not match the header"); }
    memcpy(data, body, need);
  }
  {
    uint8_t dims[8] = {(uint8_t)h.w, (uint8_t)(h.w >> 8), 0, 0, (uint8_t)h.h, (uint8_t)(h.h >> 8), 0, 0};
    fwrite(dims, 1, 8, out);
  }
  for (y = 0; y < h.h; ++y) {
    for (x = 0; x < h.w; ++x) {
      uint8_t rgba[4];
      Pixel(&h, data, (int)x, (int)y, rgba);
      fwrite(rgba, 1, 4, out);
    }
  }
  free(data);
  return 0;
}

int main(int argc, char** argv) {
  FILE* in;
  FILE* out;
  uint8_t* file;
  long size;
  int status;
  if (argc != 3) return Fail("usage: lvgl_decode IMAGE.bin PIXELS");
  in = fopen(argv[1], "rb");
  if (in == NULL) return Fail("cannot open the image");
  fseek(in, 0, SEEK_END);
  size = ftell(in);
  fseek(in, 0, SEEK_SET);
  file = (uint8_t*)malloc(size > 0 ? (size_t)size : 1);
  if (file == NULL || size < 0 || fread(file, 1, (size_t)size, in) != (size_t)size) {
    fclose(in);
    free(file);
    return Fail("cannot read the image");
  }
  fclose(in);
  out = fopen(argv[2], "wb");
  if (out == NULL) {
    free(file);
    return Fail("cannot create the pixel file");
  }
  status = Decode(file, (size_t)size, out);
  free(file);
  if (fclose(out) != 0) return Fail("cannot write the pixel file");
  return status;
}

/* Reads the converted images back: header fields, sizes, the compression
 * block, and the .bin file's header against the same fields. */
#include <stdio.h>
#include <string.h>

#include "lvgl.h"

LV_IMAGE_DECLARE(badge);
LV_IMAGE_DECLARE(badge_lz4);

static int Check(int ok, const char* what) {
  if (!ok) fprintf(stderr, "check_lvgl: %s\n", what);
  return ok ? 0 : 1;
}

int main(void) {
  int failures = 0;
  unsigned char header[12];
  FILE* f = fopen(BIN_FILE, "rb");
  const uint8_t* block = badge_lz4.data;
  failures += Check(badge.header.magic == LV_IMAGE_HEADER_MAGIC, "magic");
  failures += Check(badge.header.cf == LV_COLOR_FORMAT_RGB565A8, "RGB565A8");
  failures += Check(badge.header.stride == badge.header.w * 2u, "stride of RGB565A8");
  failures += Check(badge.data_size == badge.header.stride * badge.header.h + (badge.header.stride / 2) * badge.header.h,
                    "RGB565A8 size: two planes");
  failures += Check(badge_lz4.header.flags == LV_IMAGE_FLAGS_COMPRESSED, "compressed flag");
  failures += Check(badge_lz4.header.stride % 16 == 0 && badge_lz4.header.stride >= badge_lz4.header.w * 4u, "align 16");
  failures += Check(block[0] == 2 && block[4] + (block[5] << 8) + 12u == badge_lz4.data_size &&
                        block[8] + (block[9] << 8) + (block[10] << 16) ==
                            (int)(badge_lz4.header.stride * badge_lz4.header.h),
                    "LZ4 block sizes");
  failures += Check(f != NULL && fread(header, 1, 12, f) == 12, "the .bin file");
  if (f != NULL) fclose(f);
  failures += Check(header[0] == 0x19 && header[1] == LV_COLOR_FORMAT_I8 && header[4] == badge.header.w, ".bin header");
  return failures == 0 ? 0 : 1;
}

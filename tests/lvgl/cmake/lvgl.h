/* The few declarations of LVGL 9 that a generated image file uses, written
 * from the image format's description: enough to compile and read it. */
#ifndef LVGL_TEST_LVGL_H
#define LVGL_TEST_LVGL_H
#include <stddef.h>
#include <stdint.h>

#define LV_IMAGE_HEADER_MAGIC 0x19
#define LV_ATTRIBUTE_LARGE_CONST
#define LV_IMAGE_FLAGS_PREMULTIPLIED 0x0001
#define LV_IMAGE_FLAGS_COMPRESSED 0x0008

enum {
  LV_COLOR_FORMAT_L8 = 0x06, LV_COLOR_FORMAT_I1, LV_COLOR_FORMAT_I2, LV_COLOR_FORMAT_I4, LV_COLOR_FORMAT_I8,
  LV_COLOR_FORMAT_A1, LV_COLOR_FORMAT_A2, LV_COLOR_FORMAT_A4, LV_COLOR_FORMAT_A8, LV_COLOR_FORMAT_RGB888,
  LV_COLOR_FORMAT_ARGB8888, LV_COLOR_FORMAT_XRGB8888, LV_COLOR_FORMAT_RGB565, LV_COLOR_FORMAT_ARGB8565,
  LV_COLOR_FORMAT_RGB565A8, LV_COLOR_FORMAT_AL88, LV_COLOR_FORMAT_ARGB8888_PREMULTIPLIED = 0x1A,
  LV_COLOR_FORMAT_RGB565_SWAPPED = 0x1B
};

typedef struct {
  uint32_t magic : 8;
  uint32_t cf : 8;
  uint32_t flags : 16;
  uint32_t w : 16;
  uint32_t h : 16;
  uint32_t stride : 16;
  uint32_t reserved_2 : 16;
} lv_image_header_t;

typedef struct {
  lv_image_header_t header;
  uint32_t data_size;
  const uint8_t* data;
  const void* reserved;
  const void* reserved_2;
} lv_image_dsc_t;

#define LV_IMAGE_DECLARE(name) extern const lv_image_dsc_t name
#endif

#include "image/Palette.h"

PaletteRef& BestPalette() {
  static PaletteRef palette;
  return palette;
}

PaletteRef& CustomPalette() {
  static PaletteRef palette;
  return palette;
}

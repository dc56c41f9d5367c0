#include "image/ColorConvert.h"

BitmapPtr ConvertToFormat(BitmapPtr, const ColorFormat&) { return nullptr; }
BitmapPtr DitherToFormat(BitmapPtr, const ColorFormat&) { return nullptr; }
int FindNearestColor(Color, const PaletteRef&) { return 0; }
BitmapPtr ConvertToPalette(const PaletteRef&, BitmapPtr&, int, bool) { return nullptr; }
int CalcBestPalette(int, const Bitmap*) { return 0; }
BitmapPtr ConvertToBestPalette(BitmapPtr&) { return nullptr; }
BitmapPtr ConvertToBestPaletteTrans(BitmapPtr&, Color) { return nullptr; }
BitmapPtr ConvertToCustomPalette(BitmapPtr) { return nullptr; }
BitmapPtr ReduceColors(BitmapPtr, int) { return nullptr; }
ColorOctree::ColorOctree(std::uint32_t colorLimit, int depth) : colorLimit_(colorLimit), depth_(depth) {}
void ColorOctree::Insert(std::uint8_t, std::uint8_t, std::uint8_t) {}
int ColorOctree::GetPalette(Color*, std::uint32_t*) const { return 0; }

// Built with -ffp-contract=off: a fused multiply-add rounds differently and
// changes some results by one from those of LVGL's converter.
#include <cmath>

#include "writers/LvglPixels.h"

namespace rastra {

namespace {

double ToLinear(double x) { return x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4); }
double ToSrgb(double y) { return y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1 / 2.4) - 0.055; }

}  // namespace

std::uint8_t LvglLuma(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const double linear = 0.2126 * ToLinear(r / 255.0) + 0.7152 * ToLinear(g / 255.0) + 0.0722 * ToLinear(b / 255.0);
  return static_cast<std::uint8_t>(static_cast<int>(ToSrgb(linear) * 255));
}

}  // namespace rastra

// badge: draws a 16 x 16 round badge with soft edges into an RGBA buffer,
// hands it to the library and prints the C file of a true-colour bitmap with
// alpha (FORMAT 16), then what the other FORMATs would cost.
#include <rastra/rastra.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

int main() {
  constexpr int kSize = 16;
  std::vector<std::uint8_t> rgba(kSize * kSize * 4);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const double d = std::hypot(x - 7.5, y - 7.5);  // soft edge between radius 6 and 8
      std::uint8_t* p = &rgba[(y * kSize + x) * 4];
      p[0] = 0x20, p[1] = 0x90, p[2] = 0xE0;
      p[3] = static_cast<std::uint8_t>(d < 6 ? 255 : d > 8 ? 0 : 255 * (8 - d) / 2);
    }
  }
  auto image = rastra::FromRgba(rgba.data(), kSize, kSize);  // rows top first, alpha as given
  if (!image) return std::fprintf(stderr, "badge: %s\n", image.text.c_str()), 1;

  rastra::WriteOptions options;
  options.name = "badge";  // bmbadge; with alpha the FORMAT is 16
  auto source = rastra::Write(image.value, options);
  if (!source) return std::fprintf(stderr, "badge: %s\n", source.text.c_str()), 1;
  std::fwrite(source.value.data(), 1, source.value.size(), stdout);

  auto sizes = rastra::SizeReport(image.value);
  if (!sizes) return std::fprintf(stderr, "badge: %s\n", sizes.text.c_str()), 1;
  std::fputs(rastra::SizeReportTable(image.value, sizes.value).c_str(), stderr);
  return 0;
}

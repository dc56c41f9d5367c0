// What each FORMAT costs for an image, known before anything is written: the
// bytes of its pixel data and palette, what its C bitmap file puts in flash,
// and the size of its C stream (.dta). The compressed FORMATs are counted by
// the encoders themselves, so the numbers are those of the files a save
// writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <rastra/image.h>
#include <rastra/options.h>
#include <rastra/status.h>

namespace rastra {

// What a save in a FORMAT makes of the image before writing it.
enum class SaveConversion {
  kNone,
  kTrueColor,    // a palette image becomes a true-colour image of its colours
  kColorFormat,  // the image is converted into a colour format the FORMAT can hold
};

struct SaveStep {
  SaveConversion conversion = SaveConversion::kNone;
  int colorFormat = -1;  // ColorFormatId of a kColorFormat conversion
};

struct FormatSize {
  int format = 0;
  std::string name;
  int bitsPerPixel = 0;
  SaveStep step;
  std::int64_t pixelBytes = 0;    // the C file's data array (with an RLE array's closing 0)
  std::int64_t paletteBytes = 0;  // the palette table; 0 without palette
  std::int64_t flashBytes = 0;    // data array, palette table, GUI_LOGPALETTE and GUI_BITMAP on a 32-bit target
  std::optional<std::int64_t> streamBytes;  // the .dta file; none for FORMAT 99, which has no stream form
  bool alphaOnly = false;         // FORMAT 18 holds the transparency, not the picture
  bool smallest = false;          // the smallest C file that keeps the picture
};

// One row per FORMAT a save can write for the image, in FORMAT order.
Result<std::vector<FormatSize>> SizeReport(const Image& image, const OutputOptions& options = {}) noexcept;
// The rows as the command line prints them: an aligned table with a heading
// and a footnote, or CSV with the header
// format,name,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,dta_bytes,converts_to,smallest
// ("" when there is no memory for the text).
std::string SizeReportTable(const Image& image, const std::vector<FormatSize>& rows) noexcept;
std::string SizeReportCsv(const std::vector<FormatSize>& rows) noexcept;
// What a row's save converts the image into first: "true color", a colour
// format's name ("8666"), or "" for no conversion.
std::string ConversionName(const SaveStep& step) noexcept;

}  // namespace rastra

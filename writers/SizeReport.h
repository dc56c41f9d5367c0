// What each FORMAT costs for an image, known before anything is written: the
// bytes of its pixel data and palette, what its C bitmap file puts in flash,
// and the size of its C stream (.dta). The compressed FORMATs are counted by
// the encoders' own run-finding core (RleEncoder.h), so the numbers are those
// of the files a save would write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <rastra/size_report.h>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "writers/FormatRules.h"

namespace rastra {

// The generated declarations as a 32-bit target lays them out (4-byte int and
// pointers, each member aligned to its size):
//   GUI_LOGPALETTE { int NumEntries; char HasTrans; const LCD_COLOR* pPalEntries; }
//     4 + 1 + 3 padding + 4 = 12 bytes
//   GUI_BITMAP { unsigned short XSize, YSize, BytesPerLine, BitsPerPixel;
//                const unsigned char* pData; const GUI_LOGPALETTE* pPal;
//                const GUI_BITMAP_METHODS* pMethods; }
//     4 x 2 + 3 x 4 = 20 bytes
// A palette entry is one GUI_COLOR (U32). Of the two palette and the two pixel
// variants under GUI_USE_ARGB only one is compiled.
inline constexpr std::int64_t kLogPaletteBytes = 12;
inline constexpr std::int64_t kBitmapStructBytes = 20;
inline constexpr std::int64_t kPaletteEntryBytes = 4;
inline constexpr std::int64_t kStreamHeaderBytes = 16;

// One row per FORMAT a save can write for image, in FORMAT order: every
// FORMAT for a true-colour image (the palette FORMATs after a conversion
// into BW, Gray4, Gray16 or 8666); for a palette image the palette FORMATs
// and those made from true-colour pixels, but not 15, 18 and 25 to 28, which
// take the colours of a palette image without a conversion of their own.
// The smallest row is the one with the fewest flash bytes among those that
// keep the picture (no conversion into fewer colours, not alpha only, and
// with the alpha channel of a true-colour image that has one), the lower
// FORMAT code on a tie. options are the ones a save would use; they
// decide the conversions. Returns kOk, or kOutOfMemory after ctx recorded why.
sys::Code ComputeSizeReport(const Bitmap& image, const OutputOptions& options, std::vector<FormatSize>& rows,
                            sys::Context& ctx);

// The row of one FORMAT for the image as a save writes it (a palette image
// that a true-colour FORMAT takes counted from its colours), whether or not
// the report lists that FORMAT; nothing for a code outside the table, or
// after ctx recorded why memory ran out.
std::optional<FormatSize> ComputeFormatSize(const Bitmap& image, int format, const OutputOptions& options,
                                            sys::Context& ctx);

// The report for people, as the command line prints it and the window shows
// it: a heading, then per row the texts of eight columns (FORMAT, name, bits
// per pixel, pixel data, palette, C flash, .dta, note), then a footnote on
// what C flash counts and what the mark means.
inline constexpr std::size_t kSizeReportColumns = 8;
using SizeReportLine = std::array<std::string, kSizeReportColumns>;
std::string SizeReportHeading(const Bitmap& image);
SizeReportLine SizeReportHeaders();
SizeReportLine SizeReportCells(const FormatSize& row);
std::string SizeReportFootnote();
// All of it as aligned text lines, the smallest row marked "*".
std::string SizeReportTable(const Bitmap& image, const std::vector<FormatSize>& rows);
// The same rows as CSV (RFC 4180, "\n" line ends) with the header
// format,name,bits_per_pixel,pixel_bytes,palette_bytes,c_flash_bytes,dta_bytes,converts_to,smallest
// dta_bytes is empty for FORMAT 99; converts_to is "", "true color" or the
// colour format's name; smallest is 1 on the marked row, else 0.
std::string SizeReportCsv(const std::vector<FormatSize>& rows) noexcept;
// "true color", a colour format's name, or "" for no conversion.
std::string ConversionName(const SaveStep& step) noexcept;

}  // namespace rastra

// The size report of the library: what each FORMAT costs for an image.
#include <rastra/size_report.h>

#include "api/ImageAccess.h"
#include "api/Outcome.h"
#include "writers/SizeReport.h"

namespace rastra {

Result<std::vector<FormatSize>> SizeReport(const Image& image, const OutputOptions& options) noexcept {
  return Guarded([&] {
    sys::Context ctx;
    const Bitmap* b = ImageAccess::Get(image);
    if (b == nullptr) {
      return Result<std::vector<FormatSize>>(Refuse(ctx, Code::kNoImage, "there is no image to report on"), {});
    }
    std::vector<FormatSize> rows;
    const Code code = ComputeSizeReport(*b, options, rows, ctx);
    return ResultOf(ctx, code, std::move(rows));
  });
}

std::string SizeReportTable(const Image& image, const std::vector<FormatSize>& rows) {
  const Bitmap* b = ImageAccess::Get(image);
  return b != nullptr ? SizeReportTable(*b, rows) : std::string{};
}

}  // namespace rastra

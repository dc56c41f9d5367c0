#include "writers/SharedPaletteWriter.h"

#include <algorithm>

namespace rastra {

bool SharedPaletteRef::Covers(const Bitmap& image) const {
  if (identifier.empty() || image.NumColors != palette.count || (image.HasTrans != 0) != hasTrans) return false;
  for (int i = 0; i < palette.count; ++i) {
    if (Bitmap_GetPalColor(image, i) != palette.colours[static_cast<std::size_t>(i)]) return false;
  }
  return true;
}

sys::Code WriteCPaletteFile(OutBuffer& out, const PaletteRef& palette, bool hasTrans, const std::string& path,
                            const OutputOptions& options, sys::Context& ctx) {
  std::string id;
  if (MakeIdentifier(path, id, ctx) != 0) return sys::Code::kBadName;
  const int n = std::clamp(palette.count, 0, 256);
  OutSetPaletteFlag(out, true);
  OutSetColumn(out, 0);
  WritePaletteFileBanner(out, id, n);
  OutWrite(out, "extern GUI_CONST_STORAGE GUI_LOGPALETTE " + SharedPaletteSymbol(id) + ";\r\n\r\n");
  WritePaletteComment(out);
  WriteSharedPaletteBlock(out, id, palette, hasTrans, options);
  OutWrite(out, "/*************************** End of file ****************************/\r\n");
  OutFlush(out);
  return sys::Code::kOk;
}

}  // namespace rastra

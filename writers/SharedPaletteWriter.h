// The palette a set of bitmap files shares: written once as C source that
// exports its GUI_LOGPALETTE, which every bitmap file on that palette declares
// extern instead of carrying a palette table of its own.
#pragma once

#include <string>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"
#include "writers/TextOutput.h"

namespace rastra {

// What a bitmap file needs to refer to the shared palette.
struct SharedPaletteRef {
  std::string identifier;  // of the palette's C file: its GUI_LOGPALETTE is Pal<identifier>
  PaletteRef palette;
  bool hasTrans = false;

  // A palette image on exactly this palette, transparent entry included; any
  // other image (after an edit of its palette, or a conversion a FORMAT made)
  // carries its own.
  bool Covers(const Bitmap& image) const;
};

// The C file of a palette: banner, the colour table and the exported
// GUI_LOGPALETTE Pal<identifier>, the identifier made of path as for bitmap
// files. Returns kOk, or kBadName after recording why nothing was written.
sys::Code WriteCPaletteFile(OutBuffer& out, const PaletteRef& palette, bool hasTrans, const std::string& path,
                            const OutputOptions& options, sys::Context& ctx);

}  // namespace rastra

#include "readers/PaletteFile.h"

#include "app/Report.h"

int _LoadPalette(const std::string& /*path*/) {
  ReportText("Palette files cannot be read yet");
  return 1;
}

int SavePaletteFile(const Bitmap& /*bitmap*/, sys::File& /*file*/) {
  ReportText("Palette files cannot be written yet");
  return 1;
}

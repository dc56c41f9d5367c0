// The status bar's texts: what the shown picture is, and what lies under the
// pointer.
#pragma once

#include <QCoreApplication>
#include <QString>

#include "image/Bitmap.h"

namespace rastra {

class StatusText {
  Q_DECLARE_TR_FUNCTIONS(StatusText)

 public:
  // "640 x 480 pixels, palette of 16 colors, entry 0 transparent",
  // "32 x 32 pixels, true color with alpha".
  static QString ImageSummary(const Bitmap& image);
  // "x 12, y 5: #FF8000, index 3" for pixel (x, y) counted from the top left;
  // true colour with alpha adds the alpha, the transparent entry says so.
  static QString PixelSummary(const Bitmap& image, int x, int y);
};

}  // namespace rastra

// The alpha actions' file side: the pictures are read as Windows bitmaps
// whatever their names say, then handed to the alpha formulas.
#pragma once

#include <string>

#include "image/Bitmap.h"

namespace rastra {

struct CommandSession;

// Null after reporting why: a file is missing ("File not found."), cannot be
// read as a Windows bitmap, or the sizes differ. The overloads without a
// session report at once.
BitmapPtr CreateAlphaFromFiles(const std::string& overBlack, const std::string& overWhite);
BitmapPtr LoadAlphaMaskFile(const Bitmap& current, const std::string& mask);
BitmapPtr CreateAlphaFromFiles(CommandSession& session, const std::string& overBlack, const std::string& overWhite);
BitmapPtr LoadAlphaMaskFile(CommandSession& session, const Bitmap& current, const std::string& mask);

}  // namespace rastra

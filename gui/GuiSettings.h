// Taking over the options the user accepted in the options dialog.
#pragma once

#include "app/Settings.h"

namespace rastra {

class ShowImage;

// Stores the values (BkColor, ViewOption, PreserveTrans, BigEndianMode,
// UseARGB, PngGamma, SmoothChroma), writes them to the settings store and hands the view option and
// the background colour to the view (when there is one).
void ApplySettings(const Settings& values, ShowImage* view);

}  // namespace rastra

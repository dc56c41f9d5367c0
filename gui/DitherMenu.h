// The choice of dithering method under the window's "Dither to" menu: one
// checked entry, Floyd-Steinberg at first, as the command line's -dither
// takes it.
#pragma once

#include <functional>

#include <QList>
#include <QMenu>

#include <rastra/options.h>

namespace rastra {

// Adds a "Method" submenu to menu; chosen is called with the method the user
// picks. Returns the submenu's entries.
QList<QAction*> AddDitherMethodMenu(QMenu* menu, const std::function<void(DitherMethod)>& chosen);

}  // namespace rastra

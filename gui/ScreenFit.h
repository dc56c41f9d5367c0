// Dialogs that fit the screen they open on, whatever its size and scale
// factor: never larger than its free area, and scrolling inside where their
// content would want more.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace rastra {

// The free area of the screen widget is on (or of the primary screen).
QRect AvailableArea(const QWidget* widget);
// Room for a window's content: the free area less what a window manager's
// frame and title take.
QSize RoomForWindow(const QWidget* widget);
// Gives dialog its preferred size within that room; its layout must let it
// shrink that far (lists and tables scroll).
void FitToScreen(QWidget* dialog);
// Where a window goes whose frame adds frame to its content, so that the
// frame lies wholly in available: as large as before where that fits, moved
// in no further than it must.
QRect FitFrameInto(const QRect& content, const QMargins& frame, const QRect& available);
// A frame before the window manager has drawn one: all of it counted below
// and to the right, so that a fitted window stays where it was asked to be.
QMargins AssumedFrame();

}  // namespace rastra

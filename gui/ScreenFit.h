// Dialogs that fit the screen they open on, whatever its size and scale
// factor: never larger than its free area, and scrolling inside where their
// content would want more.
#pragma once

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

}  // namespace rastra

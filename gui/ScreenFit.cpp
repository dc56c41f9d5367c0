#include "gui/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace rastra {

namespace {
// A title bar and borders, as window managers draw them at scale factor 1.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;
}  // namespace

QRect AvailableArea(const QWidget* widget) {
  const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QSize RoomForWindow(const QWidget* widget) {
  const QSize area = AvailableArea(widget).size();
  return {std::max(area.width() - kFrameWidth, 200), std::max(area.height() - kFrameHeight, 150)};
}

void FitToScreen(QWidget* dialog) {
  const QSize room = RoomForWindow(dialog);
  dialog->resize(dialog->sizeHint().expandedTo(dialog->minimumSizeHint()).boundedTo(room));
}

}  // namespace rastra

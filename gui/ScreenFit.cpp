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

QRect FitFrameInto(const QRect& content, const QMargins& frame, const QRect& available) {
  const QSize room(std::max(available.width() - frame.left() - frame.right(), 1),
                   std::max(available.height() - frame.top() - frame.bottom(), 1));
  const QSize size = content.size().boundedTo(room);
  const int x = std::clamp(content.x(), available.left() + frame.left(),
                           std::max(available.left() + frame.left(), available.right() + 1 - frame.right() - size.width()));
  const int y = std::clamp(content.y(), available.top() + frame.top(),
                           std::max(available.top() + frame.top(), available.bottom() + 1 - frame.bottom() - size.height()));
  return {QPoint(x, y), size};
}

QMargins AssumedFrame() { return {0, 0, kFrameWidth, kFrameHeight}; }

}  // namespace rastra

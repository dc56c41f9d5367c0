#include "gui/ColorField.h"

#include <QPainter>

namespace rastra {

ColorField::ColorField(std::uint32_t color, QWidget* parent) : QWidget(parent), color_(color) {
  setMinimumSize(40, 20);
}

void ColorField::SetColor(std::uint32_t color) {
  color_ = color;
  update();
}

void ColorField::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(static_cast<QRgb>(color_)));
}

}  // namespace rastra

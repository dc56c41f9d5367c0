// A swatch that shows one colour over its whole rectangle.
#pragma once

#include <QWidget>
#include <cstdint>

namespace rastra {

class ColorField : public QWidget {
  Q_OBJECT

 public:
  explicit ColorField(std::uint32_t color = 0, QWidget* parent = nullptr);

  // 0x00RRGGBB
  void SetColor(std::uint32_t color);
  std::uint32_t GetColor() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::uint32_t color_;
};

}  // namespace rastra

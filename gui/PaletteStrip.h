// The palette of the shown picture as a row of framed cells that wraps to the
// width it is given; each cell's tooltip names its index and colour.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "image/Bitmap.h"

namespace rastra {

class PaletteStrip : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kCellSize = 16;  // frame included
  static constexpr int kGap = 2;

  explicit PaletteStrip(QWidget* parent = nullptr);

  // The palette entries of image (none for true colour); entry 0 is marked
  // transparent when the image has a transparent entry.
  void SetPalette(const Bitmap& image);
  void Clear();
  int Count() const { return static_cast<int>(entries_.size()); }
  int Columns() const;
  QRect CellRect(int index) const;
  // The entry under a point, -1 between or beyond the cells.
  int IndexAt(QPoint point) const;
  QString ToolTipFor(int index) const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int ColumnsFor(int width) const;

  std::vector<Color> entries_;  // palette values 0xTTBBGGRR
  bool firstTransparent_ = false;
};

}  // namespace rastra

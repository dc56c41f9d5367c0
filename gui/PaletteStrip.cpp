#include "gui/PaletteStrip.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "gui/ImageCanvas.h"

namespace rastra {

namespace {

constexpr int kStep = PaletteStrip::kCellSize + PaletteStrip::kGap;

QColor OpaqueColor(Color color) {
  return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF), static_cast<int>((color >> 16) & 0xFF)};
}

}  // namespace

PaletteStrip::PaletteStrip(QWidget* parent) : QWidget(parent) {
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void PaletteStrip::SetPalette(const Bitmap& image) {
  entries_.clear();
  for (int i = 0; i < image.NumColors; ++i) entries_.push_back(Bitmap_GetPalColor(image, i));
  firstTransparent_ = image.HasTrans != 0 && !entries_.empty();
  updateGeometry();
  update();
}

void PaletteStrip::Clear() {
  entries_.clear();
  firstTransparent_ = false;
  updateGeometry();
  update();
}

int PaletteStrip::ColumnsFor(int width) const { return std::max(1, (width + kGap) / kStep); }

int PaletteStrip::Columns() const { return ColumnsFor(width()); }

int PaletteStrip::heightForWidth(int width) const {
  if (entries_.empty()) return 0;
  const int columns = ColumnsFor(width);
  const int rows = (Count() + columns - 1) / columns;
  return rows * kStep - kGap;
}

QSize PaletteStrip::sizeHint() const {
  if (entries_.empty()) return {0, 0};
  // Wide enough for a 256-entry palette in four rows.
  const int width = std::min(Count(), 64) * kStep - kGap;
  return {width, heightForWidth(width)};
}

QSize PaletteStrip::minimumSizeHint() const { return {entries_.empty() ? 0 : kCellSize, 0}; }

QRect PaletteStrip::CellRect(int index) const {
  const int columns = Columns();
  return {(index % columns) * kStep, (index / columns) * kStep, kCellSize, kCellSize};
}

int PaletteStrip::IndexAt(QPoint point) const {
  if (point.x() < 0 || point.y() < 0) return -1;
  const int column = point.x() / kStep;
  const int row = point.y() / kStep;
  if (column >= Columns()) return -1;
  const int index = row * Columns() + column;
  if (index >= Count() || !CellRect(index).contains(point)) return -1;
  return index;
}

QString PaletteStrip::ToolTipFor(int index) const {
  if (index < 0 || index >= Count()) return {};
  const Color value = entries_[static_cast<std::size_t>(index)];
  const QColor color = OpaqueColor(value);
  // Both notations: the usual #RRGGBB, and the palette value as the
  // Transparency dialog lists it.
  QString text = tr("Index %1: %2 (0x%3)")
                     .arg(index)
                     .arg(color.name(QColor::HexRgb).toUpper())
                     .arg(value & 0xFFFFFF, 6, 16, QChar('0'));
  if (index == 0 && firstTransparent_) text += tr(", transparent");
  return text;
}

bool PaletteStrip::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const int index = IndexAt(help->pos());
    if (index < 0) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), ToolTipFor(index), this, CellRect(index));
    }
    return true;
  }
  return QWidget::event(event);
}

void PaletteStrip::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  for (int i = 0; i < Count(); ++i) {
    const QRect cell = CellRect(i);
    const QRect inner = cell.adjusted(1, 1, -1, -1);
    painter.fillRect(inner, OpaqueColor(entries_[static_cast<std::size_t>(i)]));
    if (i == 0 && firstTransparent_) {
      // The lower right half shows the tiles that stand for transparency.
      QPolygon half;
      half << inner.topRight() + QPoint(1, 0) << inner.bottomRight() + QPoint(1, 1) << inner.bottomLeft() + QPoint(0, 1);
      painter.setPen(Qt::NoPen);
      painter.setBrush(QBrush(TilePicture(0)));
      painter.drawPolygon(half);
      painter.setBrush(Qt::NoBrush);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
  }
}

}  // namespace rastra

#include "gui/ShowImage.h"

#include <QBoxLayout>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/ImageCanvas.h"
#include "gui/PaletteStrip.h"
#include "gui/QtImage.h"

namespace rastra {

namespace {

constexpr int kLineHeightGap = 10;  // below the information lines

QFont ViewFont() {
  QFont font("Netto", 10);
  font.setStyleHint(QFont::SansSerif);  // the system sans font when Netto is missing
  return font;
}

// The zoom as the View menu names it: "200 %", "21.8 %", "12.5 %".
QString ZoomPercentText(int thousandths) {
  QString text = QString::number(thousandths / 10.0, 'f', 1);
  if (text.endsWith(".0")) text.chop(2);
  return ShowImage::tr("%1 %").arg(text);
}

}  // namespace

ShowImage::ShowImage(QWidget* parent)
    : QWidget(parent),
      resolutionText_(tr("Resolution:")),
      colorsText_(tr("Colors:")),
      zoomText_(tr("Zoom:")),
      transparencyText_(tr("Transparent")) {
  setFont(ViewFont());
  strip_ = new PaletteStrip(this);
  canvas_ = new ImageCanvas;
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(canvas_);
  canvas_->resize(canvas_->sizeHint());  // with the view's font, which it now has
  scroll_->setWidgetResizable(false);
  scroll_->setFrameShape(QFrame::NoFrame);
  QPalette white = scroll_->viewport()->palette();
  white.setColor(QPalette::Window, Qt::white);
  scroll_->viewport()->setPalette(white);
  scroll_->viewport()->setAutoFillBackground(true);
  scroll_->viewport()->installEventFilter(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* header = new QVBoxLayout;
  header->setContentsMargins(ImageCanvas::kMargin, 5, ImageCanvas::kMargin, kLineHeightGap);
  header->setSpacing(4);
  infoLines_ = BuildInfoLines();
  header->addWidget(infoLines_);
  header->addWidget(strip_);
  layout->addLayout(header);
  layout->addWidget(scroll_, 1);
  infoLines_->hide();
  strip_->hide();

  connect(canvas_, &ImageCanvas::PixelHovered, this, &ShowImage::PixelHovered);
  connect(canvas_, &ImageCanvas::HoverLeft, this, &ShowImage::HoverLeft);
  connect(canvas_, &ImageCanvas::PanRequested, this, &ShowImage::PanBy);
}

QWidget* ShowImage::BuildInfoLines() {
  auto* lines = new QWidget(this);
  auto* grid = new QGridLayout(lines);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(0);
  grid->setHorizontalSpacing(20);
  const QString labels[4] = {tr("Resolution:"), tr("Colors:"), tr("Zoom:"), tr("Transparent")};
  for (int line = 0; line < 4; ++line) {
    grid->addWidget(new QLabel(labels[line], lines), line, 0);
    values_[static_cast<std::size_t>(line)] = new QLabel(lines);
    values_[static_cast<std::size_t>(line)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(values_[static_cast<std::size_t>(line)], line, 1);
  }
  grid->setColumnStretch(2, 1);
  return lines;
}

void ShowImage::SetViewOption(int option, std::uint32_t bkColor) {
  viewOption_ = option;
  if (viewOption_ != 0) {
    StopTimer();
  } else if (timer_ == nullptr) {
    StartTimer();
  }
  bkColor_ = bkColor;
  canvas_->SetBackground(viewOption_, bkColor_, tilePhase_);
}

void ShowImage::SetImage(const Bitmap* image, const QImage* rendered) {
  if (image == nullptr) {
    StopTimer();
    return;
  }
  full_ = rendered != nullptr && !rendered->isNull() ? *rendered : RenderForView(*image);
  resolutionText_ = QString("%1 * %2").arg(image->XSize).arg(image->YSize);
  if (image->NumColors > 0) {
    colorsText_ = QString("%1").arg(image->NumColors);
  } else {
    colorsText_ = image->HasAlpha != 0 ? tr("ARGB") : tr("RGB");
  }
  if (image->HasTrans != 0 && image->NumColors > 0) {
    const Color entry0 = Bitmap_GetPalColor(*image, 0);
    transparencyText_ = tr("Yes, Color: 0x%1").arg(QString("%1").arg(entry0 & 0xFFFFFF, 6, 16, QChar('0')).toUpper());
  } else {
    transparencyText_ = "-";
  }
  values_[0]->setText(resolutionText_);
  values_[1]->setText(colorsText_);
  values_[3]->setText(transparencyText_);
  infoLines_->show();
  if (image->NumColors > 0) {
    strip_->SetPalette(*image);
    strip_->show();
  } else {
    strip_->Clear();
    strip_->hide();
  }
  if (viewOption_ != 0) {
    StopTimer();
  } else if (timer_ == nullptr) {
    StartTimer();
  }
  Rescale();
}

void ShowImage::SetZoom(int thousandths) {
  const int zoom = std::clamp(thousandths, kMinZoom, kMaxZoom);
  if (zoom == zoom_ && !scaledSize_.isEmpty()) return;
  zoom_ = zoom;
  Rescale();
}

int ShowImage::NextZoom(int thousandths, bool in) {
  if (in) {
    const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), thousandths);
    return next == kZoomSteps.end() ? kMaxZoom : *next;
  }
  const auto next = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), thousandths);
  return next == kZoomSteps.begin() ? kMinZoom : *(next - 1);
}

QPoint ShowImage::ViewCentre() const { return scroll_->viewport()->rect().center(); }

void ShowImage::ZoomIn() { ZoomKeeping(NextZoom(zoom_, true), ViewCentre()); }
void ShowImage::ZoomOut() { ZoomKeeping(NextZoom(zoom_, false), ViewCentre()); }
void ShowImage::ZoomToActualSize() { ZoomKeeping(1000, ViewCentre()); }

int ShowImage::FittingZoom() {
  if (full_.isNull()) return 0;
  // The information lines and the palette strip may just have appeared or
  // gone; the room left for the picture is known once the layout has run.
  if (layout() != nullptr) layout()->activate();
  const QSize room = scroll_->maximumViewportSize() - QSize(2 * ImageCanvas::kMargin, 2 * ImageCanvas::kMargin);
  if (room.width() <= 0 || room.height() <= 0) return 0;
  const long long byWidth = 1000LL * room.width() / full_.width();
  const long long byHeight = 1000LL * room.height() / full_.height();
  return static_cast<int>(std::min({byWidth, byHeight, static_cast<long long>(kMaxZoom)}));
}

void ShowImage::ZoomToFit() {
  const int fitting = FittingZoom();
  if (fitting > 0) SetZoom(fitting);
}

void ShowImage::ZoomForNewPicture() {
  const int fitting = FittingZoom();
  SetZoom(fitting > 0 ? std::min(kStartZoom, fitting) : kStartZoom);
}

void ShowImage::ZoomAround(int steps, QPoint viewportPoint) {
  int zoom = zoom_;
  for (int i = 0; i < std::abs(steps); ++i) zoom = NextZoom(zoom, steps > 0);
  ZoomKeeping(zoom, viewportPoint);
}

void ShowImage::ZoomKeeping(int thousandths, QPoint viewportPoint) {
  if (full_.isNull() || scaledSize_.isEmpty()) {
    SetZoom(thousandths);
    return;
  }
  QScrollBar* h = scroll_->horizontalScrollBar();
  QScrollBar* v = scroll_->verticalScrollBar();
  const QPointF origin = canvas_->ImageOrigin();
  const double oldScale = static_cast<double>(scaledSize_.width()) / full_.width();
  const QPointF picturePoint = (QPointF(viewportPoint) + QPointF(h->value(), v->value()) - origin) / oldScale;
  SetZoom(thousandths);
  const double newScale = static_cast<double>(scaledSize_.width()) / full_.width();
  const QPointF scrolled = picturePoint * newScale + origin - QPointF(viewportPoint);
  h->setValue(static_cast<int>(std::lround(scrolled.x())));
  v->setValue(static_cast<int>(std::lround(scrolled.y())));
}

void ShowImage::PanBy(QPoint delta) {
  scroll_->horizontalScrollBar()->setValue(scroll_->horizontalScrollBar()->value() - delta.x());
  scroll_->verticalScrollBar()->setValue(scroll_->verticalScrollBar()->value() - delta.y());
}

bool ShowImage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if ((wheel->modifiers() & Qt::ControlModifier) != 0) {
      const int notches = wheel->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep;
      ZoomAround(notches, wheel->position().toPoint());
      return true;  // the scroll area must not scroll as well
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ShowImage::OnTimer() {
  tilePhase_ ^= 1;
  canvas_->SetBackground(viewOption_, bkColor_, tilePhase_);
}

void ShowImage::StartTimer() {
  timer_ = new QTimer(this);  // owned by the view
  connect(timer_, &QTimer::timeout, this, &ShowImage::OnTimer);
  timer_->start(kTimerInterval);
}

void ShowImage::StopTimer() {
  if (timer_ == nullptr) return;
  timer_->stop();
  timer_->deleteLater();
  timer_ = nullptr;
}

void ShowImage::Rescale() {
  if (!full_.isNull()) {
    const QSize wanted(static_cast<int>(static_cast<long long>(full_.width()) * zoom_ / 1000),
                       static_cast<int>(static_cast<long long>(full_.height()) * zoom_ / 1000));
    // A picture thinner than one pixel at this zoom still shows one pixel.
    scaledSize_ = full_.size().scaled(wanted, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    canvas_->SetPicture(full_, scaledSize_);
    zoomText_ = ZoomPercentText(zoom_);
    values_[2]->setText(zoomText_);
  }
  emit ZoomChanged(zoom_);
}

}  // namespace rastra

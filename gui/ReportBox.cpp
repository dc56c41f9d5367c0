#include "gui/ReportBox.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QStyle>
#include <algorithm>

#include "gui/ScreenFit.h"

namespace rastra {

namespace {

// A sentence reads well at about this many characters a line.
constexpr int kReadableChars = 60;
// A path may take a little more before it is shortened.
constexpr int kWidestChars = 90;
constexpr int kIconSpace = 80;  // the icon and the gaps beside it

QLabel* WrappedLabel(const QString& text, int width, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(width);
  return label;
}

}  // namespace

ReportBox::ReportBox(Kind kind, const QString& title, const QString& text, const QString& detail,
                     const QString& fileName, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  const QFontMetrics metrics(font());
  const int room = RoomForWindow(this).width() - kIconSpace;
  const int width = std::min(metrics.averageCharWidth() * kReadableChars, room);

  auto* icon = new QLabel(this);
  const QStyle::StandardPixmap pixmap =
      kind == Kind::kError ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(iconSize, iconSize));
  icon->setAlignment(Qt::AlignTop);

  auto* lines = new QVBoxLayout;
  text_ = WrappedLabel(text, width, this);
  lines->addWidget(text_);
  if (!detail.isEmpty()) {
    detail_ = WrappedLabel(detail, width, this);
    lines->addWidget(detail_);
  }
  if (!fileName.isEmpty()) {
    // A path is one word: shortened in its middle where it is too long, and
    // whole in the tool tip.
    const QString line = tr("File: %1").arg(fileName);
    file_ = new QLabel(metrics.elidedText(line, Qt::ElideMiddle, std::min(room, metrics.averageCharWidth() * kWidestChars)),
                       this);
    file_->setTextFormat(Qt::PlainText);
    file_->setToolTip(fileName);
    file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines->addWidget(file_);
  }

  auto* body = new QHBoxLayout;
  body->addWidget(icon, 0, Qt::AlignTop);
  body->addSpacing(12);
  body->addLayout(lines, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace rastra

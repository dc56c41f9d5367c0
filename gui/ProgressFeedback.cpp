#include "gui/ProgressFeedback.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStatusBar>

namespace rastra {

ProgressFeedback::ProgressFeedback(QStatusBar* statusBar, QObject* parent)
    : QObject(parent), statusBar_(statusBar), bar_(new QProgressBar(statusBar)) {
  bar_->setMaximumWidth(200);
  bar_->setTextVisible(false);
  statusBar_->addPermanentWidget(bar_);
  bar_->hide();
}

void ProgressFeedback::Begin() {
  if (depth_++ == 0) started_.start();
}

void ProgressFeedback::End() {
  if (depth_ == 0) return;
  if (--depth_ == 0 && shown_) Hide();
}

void ProgressFeedback::OnProgress(const std::string& text) {
  if (depth_ == 0) return;
  if (!shown_) {
    if (started_.elapsed() < delayMs_) return;
    Show();
  }
  const QString message = QString::fromStdString(text);
  // "line 12/480", "row 3/40": a count of a known total moves the bar; other
  // texts leave it where it is.
  static const QRegularExpression kCount(R"((\d+)\s*/\s*(\d+))");
  const QRegularExpressionMatch count = kCount.match(message);
  if (count.hasMatch()) {
    bar_->setRange(0, count.captured(2).toInt());
    bar_->setValue(count.captured(1).toInt());
  }
  statusBar_->showMessage(message);
  if (sinceRepaint_.elapsed() >= kRepaintIntervalMs) {
    // Paint the bar and the message; the user's clicks and keys wait until
    // the work is done, as they would have anyway.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceRepaint_.start();
  }
}

void ProgressFeedback::Show() {
  shown_ = true;
  ++timesShown_;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  bar_->setRange(0, 0);  // busy until a count arrives
  bar_->show();
  sinceRepaint_.start();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressFeedback::Hide() {
  shown_ = false;
  QGuiApplication::restoreOverrideCursor();
  bar_->hide();
  statusBar_->clearMessage();
}

}  // namespace rastra

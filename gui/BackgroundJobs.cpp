#include "gui/BackgroundJobs.h"

#include <QEventLoop>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <new>

#include "app/Report.h"

namespace rastra {

struct JobControl::State {
  std::atomic<bool> cancelled{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool outOfMemory = false;  // the work ended in std::bad_alloc
  std::string progress;      // the latest progress text
  bool progressChanged = false;
  int doneCount = -1;       // of the latest text with a count ("line 12/480"): 12 of 480
  int total = 0;
};

bool JobControl::Cancelled() const { return state_->cancelled.load(std::memory_order_relaxed); }
const std::atomic<bool>& JobControl::CancelFlag() const { return state_->cancelled; }

namespace {

// "line 12/480", "row 3/40": a count of a known total moves the bar; other
// texts leave it where it is.
bool ParseCount(const std::string& text, int& count, int& total) {
  const std::size_t slash = text.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 >= text.size()) return false;
  std::size_t start = slash;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1])) != 0) --start;
  std::size_t end = slash + 1;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
  if (start == slash || end == slash + 1 || slash - start > 9 || end - slash - 1 > 9) return false;
  count = std::stoi(text.substr(start, slash - start));
  total = std::stoi(text.substr(slash + 1, end - slash - 1));
  return true;
}

}  // namespace

void JobControl::Progress(const std::string& text) const {
  int count = 0;
  int total = 0;
  const bool counted = ParseCount(text, count, total);
  const std::lock_guard lock(state_->mutex);
  state_->progress = text;
  state_->progressChanged = true;
  if (counted) {
    state_->doneCount = count;
    state_->total = total;
  }
}

namespace {

void RunWork(const std::shared_ptr<JobControl::State>& state, std::function<void(JobControl&)>& work) {
  JobControl control(state);
  // The core's progress texts of every job this thread makes reach the bar.
  SetThreadProgressHook([control](const std::string& text) { control.Progress(text); });
  try {
    work(control);
  } catch (const std::bad_alloc&) {
    const std::lock_guard lock(state->mutex);
    state->outOfMemory = true;
  }
  work = nullptr;  // what the job held goes now, on its own thread
  SetThreadProgressHook(nullptr);
  {
    const std::lock_guard lock(state->mutex);
    state->done = true;
  }
  state->finished.notify_all();
}

bool IsDone(JobControl::State& state) {
  const std::lock_guard lock(state.mutex);
  return state.done;
}

}  // namespace

BackgroundJobs::BackgroundJobs(QStatusBar* statusBar, QWidget* window)
    : QObject(window),
      statusBar_(statusBar),
      window_(window),
      label_(new QLabel(statusBar)),
      bar_(new QProgressBar(statusBar)),
      cancelButton_(new QPushButton(tr("Cancel"), statusBar)),
      escape_(new QShortcut(QKeySequence(Qt::Key_Escape), window)) {
  bar_->setMaximumWidth(200);
  bar_->setTextVisible(false);
  cancelButton_->setToolTip(tr("Stop the running work and keep everything as it was (Esc)"));
  statusBar_->addPermanentWidget(label_);
  statusBar_->addPermanentWidget(bar_);
  statusBar_->addPermanentWidget(cancelButton_);
  label_->hide();
  bar_->hide();
  cancelButton_->hide();
  escape_->setEnabled(false);
  connect(cancelButton_, &QPushButton::clicked, this, &BackgroundJobs::Cancel);
  connect(escape_, &QShortcut::activated, this, &BackgroundJobs::Cancel);
}

BackgroundJobs::~BackgroundJobs() {
  for (Worker& worker : workers_) worker.state->cancelled = true;
  JoinFinished(true);
}

bool BackgroundJobs::Run(const QString& title, std::function<void(JobControl&)> work) {
  if (busy_) return false;
  JoinFinished(false);
  auto state = std::make_shared<JobControl::State>();
  started_.start();
  workers_.push_back({std::thread([state, work = std::move(work)]() mutable { RunWork(state, work); }), state});

  // Most work is done before anyone could notice: no event loop, no flicker.
  {
    std::unique_lock lock(state->mutex);
    const auto quick = std::chrono::milliseconds(std::min(kQuickMs, delayMs_));
    state->finished.wait_for(lock, quick, [&] { return state->done; });
  }
  bool cancelled = false;
  if (!IsDone(*state) || delayMs_ == 0) {
    SetBusy(true);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kPollMs);
    // Done is read before the last poll: every progress text of a finished
    // job was stored before it said so, and so reaches the bar.
    connect(&poll, &QTimer::timeout, &loop, [&] {
      const bool done = IsDone(*state);
      Poll(*state, title);
      if (done) loop.quit();
    });
    const QMetaObject::Connection cancel = connect(this, &BackgroundJobs::CancelRequested, &loop, [&] {
      cancelled = true;
      loop.quit();
    });
    const bool doneBefore = IsDone(*state);
    Poll(*state, title);
    if (!doneBefore) {
      poll.start();
      loop.exec();  // also left when the application quits
    }
    disconnect(cancel);
    Hide();
    SetBusy(false);
  }
  if (cancelled || !IsDone(*state)) {
    state->cancelled = true;
    return false;
  }
  JoinFinished(false);
  bool outOfMemory = false;
  {
    const std::lock_guard lock(state->mutex);
    outOfMemory = state->outOfMemory;
  }
  if (outOfMemory) {
    ReportText(tr("Out of memory").toStdString());
    return false;
  }
  return true;
}

void BackgroundJobs::Cancel() {
  if (busy_) emit CancelRequested();
}

int BackgroundJobs::AbandonedThreads() {
  JoinFinished(false);
  return static_cast<int>(workers_.size()) - (busy_ ? 1 : 0);
}

void BackgroundJobs::SetBusy(bool busy) {
  if (busy_ == busy) return;
  busy_ = busy;
  emit BusyChanged(busy);
}

void BackgroundJobs::Poll(JobControl::State& state, const QString& title) {
  std::string progress;
  bool changed = false;
  int count = -1;
  int total = 0;
  {
    const std::lock_guard lock(state.mutex);
    progress = state.progress;
    changed = state.progressChanged;
    state.progressChanged = false;
    count = state.doneCount;
    total = state.total;
  }
  if (!shown_) {
    if (started_.elapsed() < delayMs_) return;
    Show(title);
    changed = !progress.empty();
  }
  if (!changed) return;
  if (count >= 0 && total > 0) {
    bar_->setRange(0, total);
    bar_->setValue(count);
  }
  label_->setText(QString::fromStdString(progress));
}

void BackgroundJobs::Show(const QString& title) {
  shown_ = true;
  ++timesShown_;
  statusBar_->showMessage(title);
  label_->clear();
  label_->show();
  bar_->setRange(0, 0);  // busy until a count arrives
  bar_->show();
  cancelButton_->show();
  escape_->setEnabled(true);
  window_->setCursor(Qt::BusyCursor);
}

void BackgroundJobs::Hide() {
  escape_->setEnabled(false);
  if (!shown_) return;
  shown_ = false;
  statusBar_->clearMessage();
  label_->hide();
  bar_->hide();
  cancelButton_->hide();
  window_->unsetCursor();
}

void BackgroundJobs::JoinFinished(bool all) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (all || IsDone(*it->state)) {
      if (it->thread.joinable()) it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace rastra

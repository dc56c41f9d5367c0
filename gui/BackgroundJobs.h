// The main window's long work, off the window's thread: loading, conversions,
// scaling, saving, the size report. The window stays live while it runs: it
// repaints, zooms and pans, and keeps the actions of the busy document
// greyed. Work that takes longer than a moment shows what it is doing in the
// status bar, with a progress bar and a Cancel button (Escape does the same).
//
// A job gets copies of what it needs and hands back its result; it never
// touches the window or the process-wide document. Cancelling drops the
// job's result at once, so everything stays as it was; the thread runs to
// its end unseen (a save stops at its next write) and is joined later.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;
class QStatusBar;
class QWidget;

namespace rastra {

// What the work sees of its job: whether the user gave up, and where its
// progress texts go.
class JobControl {
 public:
  struct State;
  explicit JobControl(std::shared_ptr<State> state) : state_(std::move(state)) {}
  bool Cancelled() const;
  const std::atomic<bool>& CancelFlag() const;
  // A progress text of the core ("Converting image, line 12/480").
  void Progress(const std::string& text) const;

 private:
  std::shared_ptr<State> state_;
};

class BackgroundJobs : public QObject {
  Q_OBJECT

 public:
  // Work done within kQuickMs returns without the event loop turning; past
  // kDelayMs the status bar shows it.
  static constexpr int kQuickMs = 40;
  static constexpr int kDelayMs = 200;
  static constexpr int kPollMs = 15;

  BackgroundJobs(QStatusBar* statusBar, QWidget* window);
  // Cancels what still runs and waits for the threads.
  ~BackgroundJobs() override;

  // Runs work on a thread of its own and returns when it is done (true) or
  // was cancelled (false; also when the application quits meanwhile). title
  // says what runs ("Saving logo.png"). work must own everything it uses: it
  // may outlive this call.
  bool Run(const QString& title, std::function<void(JobControl&)> work);
  // The same for work with a result; nothing after a cancel.
  template <class Result>
  std::optional<Result> Compute(const QString& title, std::function<Result(JobControl&)> work) {
    auto result = std::make_shared<std::optional<Result>>();
    if (!Run(title, [result, work = std::move(work)](JobControl& control) { result->emplace(work(control)); })) {
      return std::nullopt;
    }
    return std::move(*result);
  }

  // Gives up the running job.
  void Cancel();
  bool Busy() const { return busy_; }
  // Whether the status bar shows the job now.
  bool Shown() const { return shown_; }
  int TimesShown() const { return timesShown_; }
  void SetDelay(int milliseconds) { delayMs_ = milliseconds; }
  QProgressBar* Bar() const { return bar_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  QLabel* Label() const { return label_; }
  // Threads of cancelled jobs that have not ended yet.
  int AbandonedThreads();

 signals:
  // The window greys and restores its document's actions by it.
  void BusyChanged(bool busy);
  void CancelRequested();

 private:
  void SetBusy(bool busy);
  void Show(const QString& title);
  void Hide();
  void Poll(JobControl::State& state, const QString& title);
  void JoinFinished(bool all);

  QStatusBar* statusBar_;
  QWidget* window_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* cancelButton_;
  QShortcut* escape_;
  QElapsedTimer started_;
  int delayMs_ = kDelayMs;
  bool busy_ = false;
  bool shown_ = false;
  int timesShown_ = 0;
  struct Worker {
    std::thread thread;
    std::shared_ptr<JobControl::State> state;
  };
  std::vector<Worker> workers_;
};

}  // namespace rastra

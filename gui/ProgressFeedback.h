// A busy cursor and a progress bar for work that holds the event thread for
// more than a moment. The core's progress texts ("Converting image, line
// 12/480") drive it: the first text after kDelayMs shows the cursor and the
// bar, each later one moves the bar and repaints the window now and then.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <string>

class QProgressBar;
class QStatusBar;

namespace rastra {

class ProgressFeedback : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDelayMs = 200;
  static constexpr int kRepaintIntervalMs = 50;

  // The bar sits at the right of statusBar, hidden while nothing runs.
  ProgressFeedback(QStatusBar* statusBar, QObject* parent);

  // Marks one piece of work; nested pieces count as the outer one.
  class Scope {
   public:
    explicit Scope(ProgressFeedback& feedback) : feedback_(feedback) { feedback_.Begin(); }
    ~Scope() { feedback_.End(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ProgressFeedback& feedback_;
  };

  void Begin();
  void End();
  // A progress text of the running work; ignored while nothing runs.
  void OnProgress(const std::string& text);

  void SetDelay(int milliseconds) { delayMs_ = milliseconds; }
  QProgressBar* Bar() const { return bar_; }
  bool Shown() const { return shown_; }
  bool Busy() const { return depth_ > 0; }
  // How often the feedback appeared, for tests of quick and slow work.
  int TimesShown() const { return timesShown_; }

 private:
  void Show();
  void Hide();

  QStatusBar* statusBar_;
  QProgressBar* bar_;
  QElapsedTimer started_;
  QElapsedTimer sinceRepaint_;
  int depth_ = 0;
  int delayMs_ = kDelayMs;
  bool shown_ = false;
  int timesShown_ = 0;
};

}  // namespace rastra

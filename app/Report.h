// The one way a problem reaches the user: a message box in interactive use, the
// log file "Rastra.log" during a batch run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "readers/ReadOptions.h"
#include "sys/Context.h"

namespace rastra {

struct RunState {
  bool batchActive = false;
  bool exitQueued = false;
  bool exitRequested = false;
  bool windowHidden = false;     // -hide: the run ends after its commands
  int exitCode = 0;
  std::string logFileName;       // no directory: the log lands in the working directory
  std::FILE* log = nullptr;      // opened at the first report of a batch run
  bool echoToStderr = true;      // batch reports are also shown to shell users
};

RunState& GetRunState();
// Closes the log and returns the run state to its start values.
void ResetRunState();

inline constexpr int kMessageCount = 30;
extern const char* const MessageTable[kMessageCount];

// One report as it reaches the user. The log keeps the text as it always
// was; standard error gets the echo, which names what a person needs to act
// on: "SUBJECT: TEXT (DETAIL)", the subject being the file concerned or the
// command argument as given, the detail the allowed values or the fix.
struct ReportEntry {
  std::string text;
  int codeWhenExitQueued = 1;  // a numbered message's number + 1, else 1
  std::string echo;            // without "rastra: " and the line end
  bool allocator = false;      // the allocator's failure: a box titled "Error" outside batch runs
  // What to act on, for a message box: the allowed values, the fix, or the
  // specific cause behind the text. The log and the echo never show it.
  std::string detail;
};

// The entry of a numbered message (out-of-range numbers give message 0), and
// of a free text; the echo is the text itself.
ReportEntry MessageEntry(int number);
ReportEntry TextEntry(const std::string& text);
// Shows an entry now: log, standard error and exit code in a batch run, a
// message box otherwise.
void ShowReport(const ReportEntry& entry);

void ReportMessage(int number);
void ReportText(const std::string& text);

// Shows a report while no batch run is active; the main window installs a modal
// message box. Without one the text goes to stderr.
using MessageBoxHook = void (*)(const std::string& title, const std::string& text);
void SetMessageBoxHook(MessageBoxHook hook);
MessageBoxHook GetMessageBoxHook();
// The main window's box, which shows the detail under the text; while
// installed it is used instead of the plain hook.
using DetailedMessageBoxHook = void (*)(const std::string& title, const std::string& text, const std::string& detail);
void SetDetailedMessageBoxHook(DetailedMessageBoxHook hook);

// Texts go to the allocator's failure handler too: a box titled "Error" once
// the window exists, else the report path.
void ReportAllocationFailure(const std::string& text);

// The core records what a job has to say in its context; the application
// shows it. A context for one job, whose progress texts go to the installed
// progress hook (the window's status line), or nowhere.
sys::Context MakeJobContext();
void SetProgressHook(sys::ProgressFn hook);
// The progress of the jobs made on the calling thread goes to hook instead
// (none: back to the installed hook): the window's threads report their
// work's progress to their own bar.
void SetThreadProgressHook(sys::ProgressFn hook);
// The limits every job of the application runs under: its reads take them,
// and its allocation ceiling is their maxPixelBytes. The defaults hold any real
// picture; the fuzzers set lower ones.
void SetJobLimits(const ReadLimits& limits);
const ReadLimits& JobLimits();
inline ReadOptions JobReadOptions() { return ReadOptions{JobLimits()}; }
// Shows what the job recorded, in the order it arose, each message the way
// its kind is shown (numbered messages, the allocator's failure, plain
// texts), and empties the context.
void ReportJob(sys::Context& ctx);
void ReportMessages(const std::vector<sys::Message>& messages);

}  // namespace rastra

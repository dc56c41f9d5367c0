// What one job (a read, a conversion, a save) has to tell its caller besides
// its result: warnings, the failures met on the way, and progress texts.
//
// The core never shows anything itself. Each call takes the context of the job
// it belongs to and records what it has to say there, in the order it arose;
// the application decides how a person gets to see it (a message box, the log,
// standard error). Functions still say how they ended in what they return: a
// reader its image or a code, a writer its status. A context belongs to one
// thread at a time; two jobs on two threads use two contexts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <rastra/options.h>
#include <rastra/status.h>

namespace rastra {

namespace sys {

// The codes and their names are the library's public ones.
using Code = rastra::Code;
using rastra::CodeName;

// text as one line, for reports that promise a line each: line ends at its
// end are dropped, a line break inside becomes a blank, and any other control
// character becomes "?" (a file name may hold one).
std::string OneLine(std::string text);

struct Message {
  Code code = Code::kOk;
  std::string text;
  bool warning = false;
  // The command line's numbered message this report is (1 to 26), or 0 for a
  // text of its own.
  int number = 0;
  // The allocator's own failure ("Failed to allocate ..."), which the window
  // shows in a box of its own.
  bool allocator = false;
  // The specific cause behind text, for callers that show one line ("the
  // data ends in row 12 of 48"); empty where text says it all. The reports of
  // the application keep to text.
  std::string cause;
};

using ProgressFn = std::function<void(const std::string& text)>;

// The pixel ceiling every allocation made for a job is held to unless the job
// sets another.
using rastra::kDefaultMaxBlockBytes;

class Context {
 public:
  Context() = default;
  explicit Context(ProgressFn progress) : progress_(std::move(progress)) {}

  // Records a warning once per code and segment (a restart interval, a frame);
  // segment -1 stands for the whole job. Texts are recorded as one line
  // (OneLine).
  void Warn(Code code, std::string text, std::int64_t segment = -1);
  // Records a failure and returns its code, so that a failing function can
  // end in `return ctx.Fail(...)`.
  Code Fail(Code code, std::string text, int number = 0);
  // The same with the specific cause behind the text.
  Code FailBecause(Code code, std::string text, std::string cause, int number = 0);
  // The allocator's failure (code kOutOfMemory); see sys/Memory.h.
  Code FailAllocator(std::string text);
  // Gives the last failure its specific cause.
  void SetLastCause(std::string cause);

  const std::vector<Message>& Messages() const { return messages_; }
  // Hands the messages over and starts empty again.
  std::vector<Message> TakeMessages();
  // The text of the last failure recorded, or "" when there is none.
  const std::string& LastFailureText() const;
  const std::string& LastFailureCause() const;
  Code LastFailure() const;

  bool WantsProgress() const { return static_cast<bool>(progress_); }
  void Progress(const std::string& text) const {
    if (progress_) progress_(text);
  }
  void SetProgress(ProgressFn progress) { progress_ = std::move(progress); }

  std::uint64_t MaxBlockBytes() const { return maxBlockBytes_; }
  void SetMaxBlockBytes(std::uint64_t bytes) { maxBlockBytes_ = bytes; }

 private:
  struct WarningKey {
    Code code;
    std::int64_t segment;
  };
  std::vector<Message> messages_;
  std::vector<WarningKey> warned_;
  std::size_t lastFailure_ = SIZE_MAX;  // index into messages_
  ProgressFn progress_;
  std::uint64_t maxBlockBytes_ = kDefaultMaxBlockBytes;
};

}  // namespace sys

}  // namespace rastra

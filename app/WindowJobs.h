// The side of the main window's background jobs that knows no Qt: sessions
// whose reports and finished files wait until the window's thread shows and
// commits them, and a save that never changes the picture it saves.
//
// A job works on a document of its own (a copy of the picture) on a thread
// of its own; the window's document is touched only on the window's thread,
// when the job is done. A job the user cancelled is dropped with everything
// it held: its reports are never shown and its files never replace anything.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/HeldSink.h"
#include "app/Report.h"
#include "app/Session.h"
#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

namespace rastra {

// A job's session: a document of its own, the options in force when the job
// began (the read options for a job that reads pictures), and reports held
// for the window's thread. It is the window's, not a batch run's: a custom
// palette is never read from parameters.
struct WindowJobSession {
  explicit WindowJobSession(const OutputOptions& options, const ReadOptions& readOptions = JobReadOptions())
      : session(document, sink, options) {
    session.batch = false;
    session.readOptions = readOptions;
  }
  WindowJobSession(const WindowJobSession&) = delete;
  WindowJobSession& operator=(const WindowJobSession&) = delete;

  HeldSink sink;
  ImageDocument document;
  CommandSession session;
};

// Passes writes on to target until cancelled is set; from then on every write
// fails, so a writer stops soon and its file is never committed. Every
// kProgressBytes it says how far the file has got ("Written 12 MiB"), since
// a writer knows no total to count towards.
class CancellableSink final : public sys::ByteSink {
 public:
  static constexpr std::uint64_t kProgressBytes = std::uint64_t{1} << 20;

  CancellableSink(sys::ByteSink& target, const std::atomic<bool>& cancelled, sys::ProgressFn progress = {})
      : target_(target), cancelled_(cancelled), progress_(std::move(progress)) {}
  bool Write(const void* bytes, std::size_t count) override;
  bool IsOpen() const override { return target_.IsOpen(); }
  bool Failed() const override { return failed_ || target_.Failed(); }
  std::uint64_t Count() const { return count_; }

 private:
  sys::ByteSink& target_;
  const std::atomic<bool>& cancelled_;
  sys::ProgressFn progress_;
  std::uint64_t count_ = 0;
  bool failed_ = false;
};

struct CopySaveRequest {
  std::string path;
  int type = kOutputCBitmap;
  OutputSpec spec;  // FORMAT and NOPALETTE for TYPE 1 and 3
  OutputOptions options;
};

struct CopySaveResult {
  bool written = false;    // the file is written (held in the session's sink when it commits later)
  std::uint64_t bytes = 0;  // its size
};

// Saves image with the request's TYPE and FORMAT without changing it: the
// conversion the FORMAT needs (true colour, or a colour format its palette
// fits) and the GIF and PNG writers' own conversions work on copies. The
// bytes are those -saveas writes for the same picture. Reports, and the file
// once complete, go to the session's sink.
CopySaveResult SaveCopy(CommandSession& session, const Bitmap& image, const CopySaveRequest& request,
                        const std::atomic<bool>& cancelled);

// What the file at path really is, by its first bytes (DescribeContent): ""
// when they match nothing known or cannot be read.
std::string DescribeFileContent(const std::string& path);

}  // namespace rastra

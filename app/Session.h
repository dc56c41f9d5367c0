// The state one run of the commands works on: the image document, the read
// and output options in force, the parameter cursor of the running command, and where
// reports and finished files go. The command line makes one per image (so
// images can be converted side by side); the main window's actions use the
// process-wide one over GetDocument().
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/SaveRecord.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

struct SharedPaletteRun;

inline constexpr const char* kOutOfMemoryText = "Out of memory: the commands left were not run.";

// Where one session's reports and finished output files go.
class JobSink {
 public:
  virtual ~JobSink() = default;
  virtual void Add(ReportEntry entry) = 0;
  // Moves a completely written output over its target; onFailure is the
  // report when that fails. Returns false when it failed now; a sink that
  // keeps the output for later returns true.
  virtual bool Commit(sys::SafeOutputFile output, ReportEntry onFailure) = 0;

 protected:
  JobSink() = default;
  JobSink(const JobSink&) = default;
  JobSink& operator=(const JobSink&) = default;
};

// The report of a file that could not be written, with the system's reason
// ("No space left on device") on its echo and as its detail; the log keeps
// the text.
ReportEntry WithFailureReason(ReportEntry entry, const std::string& reason);

// Shows every report and commits every file at once.
class ImmediateSink final : public JobSink {
 public:
  void Add(ReportEntry entry) override { ShowReport(entry); }
  bool Commit(sys::SafeOutputFile output, ReportEntry onFailure) override;
};

// The characters of the running command's parameter text, read from the front.
struct ParameterCursor {
  std::string text;
  std::size_t position = 0;
  bool parseError = false;  // set by a reader that reported, cleared when one starts
};

// A conversion or edit command that ran, with its argument as given, so an
// animation save can run it again on every frame.
struct RanCommand {
  int id = 0;
  std::string parameter;
  std::string argument;
};

// What a report is about. A file stands in for the command argument that
// named it: "out.c: ..." rather than "-saveasout,1: out.c: ...".
enum class SubjectKind { kImage, kArgument, kFrame, kFile };

struct Subject {
  std::string text;
  SubjectKind kind = SubjectKind::kFile;
};

struct CommandSession {
  CommandSession(ImageDocument& document, JobSink& reports, const OutputOptions& outputOptions)
      : doc(document), sink(reports), options(outputOptions) {}

  ImageDocument& doc;
  JobSink& sink;
  OutputOptions options;
  // How the session reads its pictures: the job limits and the run's
  // choices of gamma, chroma and orientation.
  ReadOptions readOptions = JobReadOptions();
  // Reports of the command line go to the log; outside it a custom palette
  // is asked for with a dialog.
  bool batch = true;
  ParameterCursor cursor;
  // What the echo of a report names, outermost first: the image of a run
  // with several, the command argument, a frame, the file concerned.
  std::vector<Subject> subjects;
  std::string imageBaseName;  // what "%n" in a -saveas name stands for
  std::vector<RanCommand> history;
  std::vector<std::string> reads;  // every file the commands read
  bool exitRequested = false;
  // Something failed for want of memory (the allocator's failure, or a
  // reader or writer that ran out): converted beside other images, the image
  // is converted again alone.
  bool memoryShort = false;
  // The run's shared palette (-sharedpalette), its files written by the
  // session of the run's first image.
  const SharedPaletteRun* sharedPalette = nullptr;
  bool firstImage = true;
  // A run with a flash budget or a manifest keeps what each save wrote, and
  // the arguments that ran before it.
  bool recordSaves = false;
  std::string imagePath;  // the image argument
  std::vector<std::string> ran;
  std::vector<SaveRecord> saves;

  void Report(int number, const std::string& detail = {});
  void ReportText(const std::string& text, const std::string& detail = {});
  // What ctx recorded, in order; details[k] = {number, detail} adds a detail
  // to that numbered message.
  void ReportJob(sys::Context& ctx, const std::vector<std::pair<int, std::string>>& details = {});
  // Runs one piece of core work with a context of its own and reports what
  // it had to say right after it, so reports keep the order they arose in.
  template <class Work>
  auto RunJob(Work&& work) {
    sys::Context ctx = MakeJobContext();
    auto result = work(ctx);
    ReportJob(ctx);
    return result;
  }
  void ReportMessages(const std::vector<sys::Message>& messages,
                      const std::vector<std::pair<int, std::string>>& details = {});
  // Memory ran out where no allocator could say so (std::bad_alloc): the
  // commands left are not run. Reported as the allocator's failure is.
  void ReportOutOfMemory();
  // Brings text and detail into the echo form "SUBJECT: ...: TEXT (DETAIL)".
  ReportEntry WithSubjects(ReportEntry entry, const std::string& detail) const;
};

// A subject for the reports made while it lives.
class SubjectScope {
 public:
  SubjectScope(CommandSession& session, std::string text, SubjectKind kind = SubjectKind::kFile)
      : session_(session) {
    session_.subjects.push_back({std::move(text), kind});
  }
  ~SubjectScope() { session_.subjects.pop_back(); }
  SubjectScope(const SubjectScope&) = delete;
  SubjectScope& operator=(const SubjectScope&) = delete;

 private:
  CommandSession& session_;
};

// A session over the process-wide document, showing reports at once, with
// the stored settings' read and output options: what the main window's
// actions use.
CommandSession ProcessSession();

}  // namespace rastra

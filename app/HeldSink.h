// A job's reports and finished output files, held in the order they arose
// until the thread that shows them (the window's, or the run's in image
// order) replays them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Report.h"
#include "app/Session.h"
#include "sys/File.h"

namespace rastra {

class HeldSink final : public JobSink {
 public:
  void Add(ReportEntry entry) override;
  // The file is closed now, so that held outputs hold no descriptors; a
  // failure to close is remembered and shown when the file would replace its
  // target.
  bool Commit(sys::SafeOutputFile output, ReportEntry onFailure) override;
  // Shows the reports and moves the files over their targets, in order;
  // returns the targets that were replaced. Without commitFiles the files are
  // dropped (their temporary files with them) and only the reports are shown.
  std::vector<std::string> Replay(bool commitFiles = true);
  // The latest report, for a caller that can say more about it; null when
  // there is none.
  ReportEntry* LastReport();
  // A library's own words for a failure (a report starting with prefix)
  // that the next report names again: one report remains, the next, with
  // the library's words as its detail when it has none of its own.
  void FoldInto(const std::string& prefix);

 private:
  struct Event {
    ReportEntry entry;  // the report, or for a file the report of its failure
    std::optional<sys::SafeOutputFile> output;
    bool folded = false;  // said by the next report: not shown
  };
  std::vector<Event> events_;
};

}  // namespace rastra

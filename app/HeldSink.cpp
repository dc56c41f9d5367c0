#include "app/HeldSink.h"

#include <utility>

namespace rastra {

void HeldSink::Add(ReportEntry entry) { events_.push_back({std::move(entry), std::nullopt}); }

bool HeldSink::Commit(sys::SafeOutputFile output, ReportEntry onFailure) {
  output.Close();
  events_.push_back({std::move(onFailure), std::move(output)});
  return true;
}

std::vector<std::string> HeldSink::Replay(bool commitFiles) {
  std::vector<std::string> replaced;
  for (Event& event : events_) {
    if (event.folded || (event.output && !commitFiles)) continue;
    if (event.output && event.output->Commit()) {
      replaced.push_back(event.output->Target());
    } else if (event.output) {
      ShowReport(WithFailureReason(std::move(event.entry), event.output->FailureReason()));
    } else {
      ShowReport(event.entry);
    }
  }
  events_.clear();
  return replaced;
}

ReportEntry* HeldSink::LastReport() {
  for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
    if (!it->output && !it->folded) return &it->entry;
  }
  return nullptr;
}

void HeldSink::FoldInto(const std::string& prefix) {
  for (std::size_t i = 0; i + 1 < events_.size(); ++i) {
    Event& event = events_[i];
    Event& next = events_[i + 1];
    if (event.output || next.output || event.folded || !event.entry.text.starts_with(prefix)) continue;
    if (next.entry.detail.empty()) next.entry.detail = event.entry.text.substr(prefix.size());
    event.folded = true;
  }
}

}  // namespace rastra

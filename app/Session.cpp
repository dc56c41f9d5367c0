#include "app/Session.h"

#include "app/Settings.h"
#include "writers/ImageWriters.h"

namespace rastra {

namespace {
// An argument can hold 500 characters; an echo line stays readable.
constexpr std::size_t kMaxSubjectLength = 80;

std::string Shortened(const std::string& subject) {
  if (subject.size() <= kMaxSubjectLength) return subject;
  return subject.substr(0, kMaxSubjectLength - 3) + "...";
}
}  // namespace

ReportEntry WithFailureReason(ReportEntry entry, const std::string& reason) {
  if (reason.empty() || !entry.detail.empty()) return entry;
  entry.echo += " (" + reason + ")";
  entry.detail = reason;
  return entry;
}

bool ImmediateSink::Commit(sys::SafeOutputFile output, ReportEntry onFailure) {
  if (output.Commit()) return true;
  ShowReport(WithFailureReason(std::move(onFailure), output.FailureReason()));
  return false;
}

ReportEntry CommandSession::WithSubjects(ReportEntry entry, const std::string& detail) const {
  std::string echo;
  const std::string* named = nullptr;  // the last subject written: a file is named once
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    const bool namedByFile = subjects[i].kind == SubjectKind::kArgument && i + 1 < subjects.size() &&
                             subjects[i + 1].kind == SubjectKind::kFile;
    if (subjects[i].text.empty() || namedByFile || (named != nullptr && *named == subjects[i].text)) continue;
    echo += Shortened(subjects[i].text) + ": ";
    named = &subjects[i].text;
  }
  echo += entry.echo;
  if (!detail.empty()) echo += " (" + detail + ")";
  entry.echo = std::move(echo);
  if (!detail.empty()) entry.detail = detail;
  return entry;
}

void CommandSession::Report(int number, const std::string& detail) {
  sink.Add(WithSubjects(MessageEntry(number), detail));
}

void CommandSession::ReportText(const std::string& text, const std::string& detail) {
  sink.Add(WithSubjects(TextEntry(text), detail));
}

void CommandSession::ReportOutOfMemory() {
  memoryShort = true;
  ReportEntry entry = TextEntry(kOutOfMemoryText);
  entry.allocator = true;
  sink.Add(WithSubjects(std::move(entry), {}));
}

void CommandSession::ReportJob(sys::Context& ctx, const std::vector<std::pair<int, std::string>>& details) {
  ReportMessages(ctx.TakeMessages(), details);
}

void CommandSession::ReportMessages(const std::vector<sys::Message>& messages,
                                    const std::vector<std::pair<int, std::string>>& details) {
  for (const sys::Message& message : messages) {
    if (message.allocator || message.code == sys::Code::kOutOfMemory) memoryShort = true;
    if (message.number != 0) {
      std::string detail;
      for (const auto& [number, text] : details) {
        if (number == message.number) detail = text;
      }
      ReportEntry entry = WithSubjects(MessageEntry(message.number), detail);
      if (entry.detail.empty()) entry.detail = message.cause;  // for a message box only
      sink.Add(std::move(entry));
    } else {
      ReportEntry entry = TextEntry(message.text);
      entry.allocator = message.allocator;
      entry.detail = message.cause;  // for a message box; the echo keeps to the text
      sink.Add(WithSubjects(std::move(entry), {}));
    }
  }
}

CommandSession ProcessSession() {
  static ImmediateSink immediate;
  CommandSession session(GetDocument(), immediate, CurrentOutputOptions());
  session.readOptions = CurrentReadOptions();
  session.batch = GetRunState().batchActive;
  return session;
}

}  // namespace rastra

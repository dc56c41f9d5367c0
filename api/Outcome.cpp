#include "api/Outcome.h"

namespace rastra {

namespace {

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The words that say best why the job failed: the last cause a reader or
// writer gave, else the first failure of the job's own code (the others
// follow from it), else the last failure.
const sys::Message* MostSpecific(const std::vector<sys::Message>& messages, Code code) {
  const sys::Message* firstOfCode = nullptr;
  const sys::Message* last = nullptr;
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    if (it->warning) continue;
    if (!it->cause.empty()) return &*it;
    if (last == nullptr) last = &*it;
    if (it->code == code) firstOfCode = &*it;
  }
  return firstOfCode != nullptr ? firstOfCode : last;
}

}  // namespace

Status StatusOf(sys::Context& ctx, Code code) {
  Status status;
  status.code = code;
  const std::vector<sys::Message> messages = ctx.TakeMessages();
  if (code != Code::kOk) {
    const sys::Message* cause = MostSpecific(messages, code);
    status.text = CodeName(code);
    if (cause != nullptr) status.text += ": " + OneLine(cause->cause.empty() ? cause->text : cause->cause);
  }
  for (const sys::Message& message : messages) {
    status.messages.push_back({message.code, OneLine(message.cause.empty() ? message.text : message.cause),
                               message.warning});
  }
  return status;
}

Status Refuse(sys::Context& ctx, Code code, std::string text) {
  ctx.Fail(code, std::move(text));
  return StatusOf(ctx, code);
}

}  // namespace rastra

#include "sys/Context.h"

#include <algorithm>
#include <utility>

namespace rastra {

const char* CodeName(Code code) noexcept {
  switch (code) {
    case Code::kOk: return "ok";
    case Code::kOutOfMemory: return "out of memory";
    case Code::kLimit: return "limit";
    case Code::kTruncated: return "truncated";
    case Code::kCorrupt: return "corrupt";
    case Code::kUnsupported: return "unsupported";
    case Code::kNotRecognised: return "not recognised";
    case Code::kUnknownType: return "unknown type";
    case Code::kIo: return "input/output";
    case Code::kNoImage: return "no image";
    case Code::kBadFormat: return "bad format";
    case Code::kBadType: return "bad type";
    case Code::kBadName: return "bad name";
    case Code::kBadArgument: return "bad argument";
    case Code::kInternal: return "internal";
  }
  return "?";
}

namespace sys {

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // one break, one blank
    if (c == '\n' || c == '\r') {
      line += ' ';
    } else {
      line += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
  }
  return line;
}

void Context::Warn(Code code, std::string text, std::int64_t segment) {
  const bool seen = std::any_of(warned_.begin(), warned_.end(), [&](const WarningKey& key) {
    return key.code == code && key.segment == segment;
  });
  if (seen) return;
  warned_.push_back({code, segment});
  messages_.push_back({code, OneLine(std::move(text)), true, 0, false});
}

Code Context::Fail(Code code, std::string text, int number) {
  lastFailure_ = messages_.size();
  messages_.push_back({code, OneLine(std::move(text)), false, number, false});
  return code;
}

Code Context::FailBecause(Code code, std::string text, std::string cause, int number) {
  Fail(code, std::move(text), number);
  SetLastCause(std::move(cause));
  return code;
}

Code Context::FailAllocator(std::string text) {
  Fail(Code::kOutOfMemory, std::move(text));
  messages_.back().allocator = true;
  return Code::kOutOfMemory;
}

void Context::SetLastCause(std::string cause) {
  if (lastFailure_ < messages_.size()) messages_[lastFailure_].cause = std::move(cause);
}

std::vector<Message> Context::TakeMessages() {
  warned_.clear();
  lastFailure_ = SIZE_MAX;
  return std::exchange(messages_, {});
}

const std::string& Context::LastFailureText() const {
  static const std::string kNone;
  return lastFailure_ < messages_.size() ? messages_[lastFailure_].text : kNone;
}

const std::string& Context::LastFailureCause() const {
  static const std::string kNone;
  return lastFailure_ < messages_.size() ? messages_[lastFailure_].cause : kNone;
}

Code Context::LastFailure() const {
  return lastFailure_ < messages_.size() ? messages_[lastFailure_].code : Code::kOk;
}

}  // namespace sys

}  // namespace rastra

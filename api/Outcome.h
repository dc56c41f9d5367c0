// How the front end turns what a job recorded into the Status its caller
// gets, and the guard that keeps every exception inside the library.
#pragma once

#include <new>
#include <string>
#include <utility>

#include <rastra/status.h>

#include "sys/Context.h"

namespace rastra {

// The job's messages, and for a failure with code its text: the code's name
// and the most specific cause the job recorded ("truncated: the data ends in
// row 12 of 48").
Status StatusOf(sys::Context& ctx, Code code);
// A failure of the front end itself (a bad argument, say), recorded in ctx
// too so the two never disagree.
Status Refuse(sys::Context& ctx, Code code, std::string text);

template <class T>
Result<T> ResultOf(sys::Context& ctx, Code code, T value) {
  return Result<T>(StatusOf(ctx, code), code == Code::kOk ? std::move(value) : T{});
}

// Runs job, which returns a Status or a Result; an exception it lets out
// (memory running out inside a standard container, say) becomes a failure
// of that type instead of leaving the library.
template <class Job>
auto Guarded(Job&& job) noexcept -> decltype(job()) {
  using Outcome = decltype(job());
  const auto failure = [](Code code, const char* text) noexcept {
    Outcome outcome;
    try {
      outcome.code = code;
      outcome.text = std::string(CodeName(code)) + ": " + text;
      outcome.messages.push_back({code, text, false});
    } catch (...) {
      outcome.text.clear();  // no memory even for the words: the code says it
    }
    return outcome;
  };
  try {
    return job();
  } catch (const std::bad_alloc&) {
    return failure(Code::kOutOfMemory, "memory ran out");
  } catch (...) {
    return failure(Code::kInternal, "an unexpected failure inside the library");
  }
}

}  // namespace rastra

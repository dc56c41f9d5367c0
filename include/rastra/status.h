// How a call of the library ended: a code, the specific cause as one line of
// text, and everything the job met on the way.
//
// No exception leaves the library, not even when memory runs out: every call
// says how it ended in what it returns.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rastra {

// Why something failed, or what a warning is about. Compare codes in
// programs; the texts are for people.
enum class Code : std::uint8_t {
  kOk = 0,
  kOutOfMemory,    // memory ran out, or a block would pass the job's ceiling
  kLimit,          // the input passes a limit set for the job (size, frames, file size)
  kTruncated,      // the data ends before the picture does
  kCorrupt,        // the data contradicts itself or its format
  kUnsupported,    // a valid file of a kind that is not read
  kNotRecognised,  // the data is not of the format asked for
  kUnknownType,    // neither name nor content tells which reader to use
  kIo,             // a file could not be opened, read or written
  kNoImage,        // there is no image to work on
  kBadFormat,      // the FORMAT does not fit the writer or the image
  kBadType,        // an output TYPE the writers do not have
  kBadName,        // no C identifier can be made of the name
  kBadArgument,    // a value outside what the call takes
  kInternal,       // a precondition of the call was broken
};

// A short lower-case name of the code ("truncated").
const char* CodeName(Code code) noexcept;

// One thing a job had to say: a warning (the job went on) or a failure.
struct Message {
  Code code = Code::kOk;
  std::string text;
  bool warning = false;
};

// How a job ended. text is the specific cause of a failure, led by the code's
// name ("truncated: the data ends in row 12 of 48"); messages hold every
// warning and failure in the order they arose.
struct Status {
  Code code = Code::kOk;
  std::string text;
  std::vector<Message> messages;

  bool Ok() const noexcept { return code == Code::kOk; }
  explicit operator bool() const noexcept { return Ok(); }
};

// A status with the value the job made; the value is empty (a default
// object) unless the job succeeded.
template <class T>
struct Result : Status {
  T value{};

  Result() = default;
  Result(Status status, T made) : Status(std::move(status)), value(std::move(made)) {}
};

}  // namespace rastra

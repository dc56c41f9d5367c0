// What the reader tests share besides CoreTestSupport.h: a job context that
// also keeps the progress notes of its reads, and the check that a read which
// gave no image said why.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "readers/ReadOptions.h"
#include "sys/Context.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// The context of one test's reads: the messages they recorded, in order, and
// the progress notes they sent ("Loaded 24 bpp bitmap"). Clear() starts both
// afresh, warnings that were given once included.
class ReadRecorder {
 public:
  ReadRecorder() : ctx_([this](const std::string& text) { notes_.push_back(text); }) {}
  ReadRecorder(const ReadRecorder&) = delete;
  ReadRecorder& operator=(const ReadRecorder&) = delete;

  sys::Context& Ctx() { return ctx_; }
  const sys::Context& Ctx() const { return ctx_; }
  const std::vector<std::string>& Notes() const { return notes_; }
  std::vector<std::string> Texts() const { return TextsOf(ctx_); }
  bool Failed(sys::Code code) const { return Recorded(ctx_, code); }
  bool Warned(sys::Code code) const { return Recorded(ctx_, code, true); }
  void Clear() {
    ctx_.TakeMessages();
    notes_.clear();
  }

 private:
  std::vector<std::string> notes_;
  sys::Context ctx_;
};

// All the texts of a context on one line each, for failure output.
inline std::string AllTexts(const sys::Context& ctx) {
  std::string all;
  for (const std::string& text : TextsOf(ctx)) all += text + "\n";
  return all;
}

// A read without an image must say why: a failure code with its text in the
// result, and that failure recorded in the context.
inline ::testing::AssertionResult ExplainsFailure(const ReadResult& result, const sys::Context& ctx) {
  if (result.image) return ::testing::AssertionSuccess() << "gave an image";
  if (result.code == sys::Code::kOk) return ::testing::AssertionFailure() << "no image, yet code ok";
  if (result.text.empty()) {
    return ::testing::AssertionFailure() << "no image, code " << sys::CodeName(result.code) << " without a text";
  }
  if (!Recorded(ctx, result.code)) {
    return ::testing::AssertionFailure() << "no image, code " << sys::CodeName(result.code)
                                         << " not recorded in the context";
  }
  return ::testing::AssertionSuccess() << sys::CodeName(result.code) << ": " << result.text;
}

// A read that gave no image, failing with code (and, when given, exactly this
// text: one of the format's failure texts).
inline ::testing::AssertionResult FailsWith(const ReadResult& result, sys::Code code, const std::string& text = "") {
  if (result.image) return ::testing::AssertionFailure() << "gave an image";
  if (result.code != code) {
    return ::testing::AssertionFailure() << "code " << sys::CodeName(result.code) << " (" << result.text
                                         << "), expected " << sys::CodeName(code);
  }
  if (!text.empty() && result.text != text) {
    return ::testing::AssertionFailure() << "text \"" << result.text << "\", expected \"" << text << "\"";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testing_support

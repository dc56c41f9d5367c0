// Shared set-up of the harnesses: reports are kept quiet and in memory, and
// the pixel ceiling is small so that memory use reflects the input.
#pragma once

#include "app/Report.h"
#include "sys/Memory.h"

inline void QuietReports() {
  static bool done = false;
  if (done) return;
  done = true;
  sys::SetAllocFailureHandler([](const std::string&) {});
  sys::SetMaxBlockBytes(std::uint64_t{256} << 20);
  SetMessageBoxHook([](const std::string&, const std::string&) {});
}

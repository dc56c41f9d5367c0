#include "sys/Memory.h"

#include <cstdio>
#include <new>

namespace sys {
namespace {
AllocFailureHandler failureHandler = nullptr;
std::uint64_t maxBlockBytes = std::uint64_t{1} << 30;

void ReportFailure(std::uint64_t bytes) {
  const std::string text = AllocFailureText(bytes);
  if (failureHandler != nullptr) {
    failureHandler(text);
  } else {
    std::fprintf(stderr, "rastra: %s\n", text.c_str());
  }
}
}  // namespace

void SetAllocFailureHandler(AllocFailureHandler handler) { failureHandler = handler; }
void SetMaxBlockBytes(std::uint64_t bytes) { maxBlockBytes = bytes; }
std::uint64_t MaxBlockBytes() { return maxBlockBytes; }

std::string AllocFailureText(std::uint64_t bytes) {
  char text[64];
  // All digits of the request: a claim beyond 4 GiB must not show as a small one.
  std::snprintf(text, sizeof text, "Failed to allocate 0x%.8llX bytes of memory!",
                static_cast<unsigned long long>(bytes));
  return text;
}

bool AllocZeroed(std::vector<std::uint8_t>& block, std::uint64_t bytes) {
  block.clear();
  if (bytes > maxBlockBytes) {
    ReportFailure(bytes);
    return false;
  }
  try {
    block.assign(static_cast<std::size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    block = {};
    ReportFailure(bytes);
    return false;
  }
  return true;
}

}  // namespace sys

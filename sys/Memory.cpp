#include "sys/Memory.h"

#include <cstdio>
#include <new>

namespace rastra {

namespace sys {

std::string AllocFailureText(std::uint64_t bytes) {
  char text[64];
  // All digits of the request: a claim beyond 4 GiB must not show as a small one.
  std::snprintf(text, sizeof text, "Failed to allocate 0x%.8llX bytes of memory!",
                static_cast<unsigned long long>(bytes));
  return text;
}

Code FailAllocation(Context& ctx, std::uint64_t bytes) {
  ctx.FailAllocator(AllocFailureText(bytes));
  std::string cause = "a block of " + std::to_string(bytes) + " bytes ";
  cause += bytes > ctx.MaxBlockBytes() ? "passes the limit of " + std::to_string(ctx.MaxBlockBytes()) + " bytes"
                                       : "could not be had";
  ctx.SetLastCause(std::move(cause));
  return Code::kOutOfMemory;
}

bool AllocZeroed(std::vector<std::uint8_t>& block, std::uint64_t bytes, Context& ctx) {
  block.clear();
  if (bytes > ctx.MaxBlockBytes()) {
    FailAllocation(ctx, bytes);
    return false;
  }
  try {
    block.assign(static_cast<std::size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    block = {};
    FailAllocation(ctx, bytes);
    return false;
  }
  return true;
}

}  // namespace sys

}  // namespace rastra

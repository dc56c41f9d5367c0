#include "sys/Memory.h"

#include <cstdio>
#include <fstream>
#include <new>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#else
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

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

std::uint64_t PhysicalMemoryBytes() {
#ifdef _WIN32
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
#endif
}

std::uint64_t AddressSpaceLimitBytes() {
#ifdef _WIN32
  // A job object's memory limit on the process is what RLIMIT_AS is on POSIX.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
  if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr)) return 0;
  if ((job.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) == 0) return 0;
  return job.ProcessMemoryLimit;
#else
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  return static_cast<std::uint64_t>(limit.rlim_cur);
#endif
}

std::uint64_t AddressSpaceInUseBytes() {
#ifdef __linux__
  // The first number of statm is the address space in pages.
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (!(statm >> pages) || pageSize <= 0) return 0;
  return pages * static_cast<std::uint64_t>(pageSize);
#elif defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalVirtual - status.ullAvailVirtual;
#else
  return 0;
#endif
}

}  // namespace sys

}  // namespace rastra

// The one allocator behind every pixel and palette block.
//
// When memory runs out, or a block would pass the job's ceiling, it records
// "Failed to allocate 0x%.8X bytes of memory!" in the job's context and
// returns false instead of throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sys/Context.h"

namespace rastra {

namespace sys {

// Resizes block to exactly bytes zero-filled bytes. On failure the block is
// left empty, the failure is recorded and false is returned.
bool AllocZeroed(std::vector<std::uint8_t>& block, std::uint64_t bytes, Context& ctx);

// Records the allocator's failure for a request of bytes (code kOutOfMemory).
Code FailAllocation(Context& ctx, std::uint64_t bytes);

std::string AllocFailureText(std::uint64_t bytes);

// What the process may use, for callers that share it out among jobs:
// the machine's physical memory (0 when unknown), the address-space limit
// set on the process (RLIMIT_AS; 0 when there is none), and the address
// space it takes now (0 when unknown).
std::uint64_t PhysicalMemoryBytes();
std::uint64_t AddressSpaceLimitBytes();
std::uint64_t AddressSpaceInUseBytes();

}  // namespace sys

}  // namespace rastra

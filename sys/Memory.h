// The one allocator behind every pixel and palette block.
//
// When memory runs out it reports "Failed to allocate 0x%.8X bytes of memory!"
// through the installed handler and returns false instead of throwing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sys {

using AllocFailureHandler = void (*)(const std::string& text);

// Installed by the application: a message box once the window exists,
// otherwise the report path. Without a handler the text goes to stderr.
void SetAllocFailureHandler(AllocFailureHandler handler);

// Pixel data beyond this many bytes is refused as if memory had run out
// (default 1 GiB); a header can claim sizes no real picture needs.
void SetMaxBlockBytes(std::uint64_t bytes);
std::uint64_t MaxBlockBytes();

// Resizes block to exactly bytes zero-filled bytes. On failure the block is
// left empty, the failure is reported and false is returned.
bool AllocZeroed(std::vector<std::uint8_t>& block, std::uint64_t bytes);

std::string AllocFailureText(std::uint64_t bytes);

}  // namespace sys

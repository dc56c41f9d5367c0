// What a file's first bytes say it is, for the messages about files that
// cannot be read as pictures: a text file named ".png" gets "text", a zipped
// folder "a ZIP archive". The readers' own signature tests decide what is
// read; this only names what is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace rastra {

// The bytes DescribeContent looks at, at most.
inline constexpr std::size_t kContentHeadBytes = 512;

// A short phrase for the kind of data head (the first bytes of a file, of a
// file of totalBytes bytes) begins: "an empty file", "text", "an HTML page",
// "a ZIP archive", "a PDF document", "a WebP picture", "a TIFF picture", "a
// PNG picture", ... Empty when the bytes match nothing known.
std::string DescribeContent(std::span<const std::uint8_t> head, std::uint64_t totalBytes);

}  // namespace rastra

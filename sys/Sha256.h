// SHA-256 of byte strings and files, for manifests that tell which input made
// an output and whether an output is still the one a run wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace rastra {

namespace sys {

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* bytes, std::size_t size);
// Of a file's contents; nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace sys

}  // namespace rastra

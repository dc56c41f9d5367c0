// SHA-256 of byte strings and files, for manifests that tell which input made
// an output and whether an output is still the one a run wrote.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace rastra {

namespace sys {

// A digest taken piece by piece, so a file of any size is summed in a small
// buffer.
class Sha256 {
 public:
  Sha256();
  void Update(const void* bytes, std::size_t size);
  // The digest of everything given so far, as 64 lower-case hexadecimal digits.
  std::string Hex() const;

 private:
  static constexpr std::size_t kBlock = 64;
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, kBlock> block_{};
  std::size_t pending_ = 0;
  std::uint64_t total_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* bytes, std::size_t size);
// Of a file's contents, read a piece at a time; nothing when it cannot be
// read, with the system's reason in *reason when given.
std::optional<std::string> Sha256OfFile(const std::string& path, std::string* reason = nullptr);

}  // namespace sys

}  // namespace rastra

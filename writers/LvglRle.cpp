#include "writers/LvglRle.h"

#include <algorithm>
#include <cstring>

namespace rastra {

namespace {

// Runs shorter than this many blocks cost less as part of a literal.
constexpr std::size_t kRunThreshold = 16;
// The largest count a control byte holds (seven bits).
constexpr std::size_t kMaxCount = 127;

class Blocks {
 public:
  Blocks(const std::uint8_t* data, std::size_t blockSize, std::size_t count)
      : data_(data), size_(blockSize), count_(count) {}
  std::size_t Count() const { return count_; }
  bool Same(std::size_t a, std::size_t b) const { return std::memcmp(At(a), At(b), size_) == 0; }
  const std::uint8_t* At(std::size_t i) const { return data_ + i * size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t count_;
};

std::size_t RunLength(const Blocks& blocks, std::size_t start) {
  std::size_t run = 1;
  while (start + run < blocks.Count() && run < kMaxCount && blocks.Same(start, start + run)) ++run;
  return run;
}

// How many blocks from start go into one literal. A run of more than
// kRunThreshold repeats of a block ends it before that run; the block that
// starts the run is still part of the literal, which is how LVGL's converter
// counts, and what keeps its bytes.
std::size_t LiteralLength(const Blocks& blocks, std::size_t start) {
  std::size_t length = 0;
  std::size_t repeats = 0;
  std::size_t previous = start;
  for (std::size_t i = start; i < blocks.Count(); ++i) {
    if (blocks.Same(i, previous)) {
      if (++repeats > kRunThreshold) return length;
      continue;
    }
    previous = i;
    length += 1 + repeats;
    repeats = 0;
    if (length >= kMaxCount) return kMaxCount;
  }
  return std::min(length + repeats, kMaxCount);
}

}  // namespace

std::vector<std::uint8_t> LvglRleEncode(const std::vector<std::uint8_t>& data, std::size_t blockSize) {
  std::vector<std::uint8_t> padded;
  const std::uint8_t* bytes = data.data();
  std::size_t size = data.size();
  if (size % blockSize != 0) {
    padded = data;
    padded.resize(size + blockSize - size % blockSize, 0);
    bytes = padded.data();
    size = padded.size();
  }
  const Blocks blocks(bytes, blockSize, size / blockSize);
  std::vector<std::uint8_t> out;
  out.reserve(size + size / kMaxCount + 2);
  std::size_t at = 0;
  while (at < blocks.Count()) {
    const std::size_t run = RunLength(blocks, at);
    if (run >= kRunThreshold) {
      out.push_back(static_cast<std::uint8_t>(run));
      out.insert(out.end(), blocks.At(at), blocks.At(at) + blockSize);
      at += run;
      continue;
    }
    const std::size_t literal = LiteralLength(blocks, at);
    out.push_back(static_cast<std::uint8_t>(0x80 | literal));
    out.insert(out.end(), blocks.At(at), blocks.At(at + literal));
    at += literal;
  }
  return out;
}

bool LvglRleDecode(const std::vector<std::uint8_t>& packets, std::size_t blockSize, std::size_t expectedSize,
                   std::vector<std::uint8_t>& data) {
  data.clear();
  const std::size_t limit = expectedSize + blockSize;
  std::size_t at = 0;
  while (at < packets.size()) {
    const std::uint8_t control = packets[at++];
    const std::size_t count = control & 0x7F;
    const std::size_t payload = control & 0x80 ? count * blockSize : blockSize;
    if (count == 0 || payload > packets.size() - at || data.size() + count * blockSize > limit) return false;
    for (std::size_t i = 0; i < (control & 0x80 ? 1 : count); ++i) {
      data.insert(data.end(), packets.begin() + static_cast<std::ptrdiff_t>(at),
                  packets.begin() + static_cast<std::ptrdiff_t>(at + payload));
    }
    at += payload;
  }
  if (data.size() < expectedSize || data.size() - expectedSize >= blockSize) return false;
  data.resize(expectedSize);
  return true;
}

}  // namespace rastra

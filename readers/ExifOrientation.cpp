#include "readers/ExifOrientation.h"

namespace rastra {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr std::size_t kEntryBytes = 12;

// Reads TIFF numbers in the data's own byte order; false past the end.
class TiffCursor {
 public:
  TiffCursor(std::span<const std::uint8_t> data, bool bigEndian) : data_(data), bigEndian_(bigEndian) {}

  bool U16(std::size_t at, std::uint16_t& value) const {
    if (at > data_.size() || data_.size() - at < 2) return false;
    value = bigEndian_ ? static_cast<std::uint16_t>((data_[at] << 8) | data_[at + 1])
                       : static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
    return true;
  }
  bool U32(std::size_t at, std::uint32_t& value) const {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    if (!U16(at, first) || !U16(at + 2, second)) return false;
    value = bigEndian_ ? (std::uint32_t{first} << 16) | second : (std::uint32_t{second} << 16) | first;
    return true;
  }

 private:
  std::span<const std::uint8_t> data_;
  bool bigEndian_;
};

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> tiff) {
  if (tiff.size() < 8) return 1;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  const bool big = tiff[0] == 'M' && tiff[1] == 'M';
  if (!little && !big) return 1;
  const TiffCursor cursor(tiff, big);
  std::uint16_t magic = 0;
  std::uint32_t directory = 0;
  std::uint16_t entries = 0;
  if (!cursor.U16(2, magic) || magic != 42 || !cursor.U32(4, directory) || !cursor.U16(directory, entries)) return 1;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + i * kEntryBytes;
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint16_t value = 0;
    if (!cursor.U16(entry, tag)) return 1;
    if (tag != kOrientationTag) continue;
    // A short value of one element lies in the entry's value field itself.
    if (!cursor.U16(entry + 2, type) || !cursor.U32(entry + 4, count) || !cursor.U16(entry + 8, value)) return 1;
    if (type != kShortType || count != 1 || value < 1 || value > 8) return 1;
    return value;
  }
  return 1;
}

}  // namespace rastra

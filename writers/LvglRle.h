// LVGL's own run-length code for image data: packets of a control byte and
// blocks of one pixel's bytes. 0x01 to 0x7F: the next block repeated that
// many times; 0x81 to 0xFF: (control & 0x7F) blocks follow as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rastra {

// The packets for data cut into blocks of blockSize bytes (1 to 4); data
// whose length is not a multiple of it is coded as if zero bytes completed
// the last block, as LVGL's decoder expects. The choice between runs and
// literals is the one LVGL's converter makes, so the bytes match it; where
// that converter lets a literal at the end of the data pass 127 blocks (a
// count its control byte cannot hold), the literal is cut at 127 here and
// the rest follows in packets of its own.
std::vector<std::uint8_t> LvglRleEncode(const std::vector<std::uint8_t>& data, std::size_t blockSize);

// The decoder's view, for tests and checks: false when the packets are
// damaged or do not give exactly expectedSize bytes (the padding of the last
// block aside).
bool LvglRleDecode(const std::vector<std::uint8_t>& packets, std::size_t blockSize, std::size_t expectedSize,
                   std::vector<std::uint8_t>& data);

}  // namespace rastra

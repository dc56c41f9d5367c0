// LZ4's block format (no frame, no size, no checksum), as LVGL's decoder
// reads it with LZ4_decompress_safe. Builds without liblz4 (the Windows
// cross build) have no LZ4 and say so.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rastra {

bool Lz4Available();

// The compressed block, made with a fresh stream state and acceleration 1:
// the call sequence of the python-lz4 binding LVGL's converter uses, whose
// bytes differ from LZ4_compress_default's. Empty optional without liblz4
// or when the data is too large for one block.
std::optional<std::vector<std::uint8_t>> Lz4CompressBlock(const std::vector<std::uint8_t>& data);

// False when the block is damaged or does not give exactly expectedSize bytes.
bool Lz4DecompressBlock(const std::vector<std::uint8_t>& block, std::size_t expectedSize,
                        std::vector<std::uint8_t>& data);

}  // namespace rastra

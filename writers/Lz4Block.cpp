#include "writers/Lz4Block.h"

#include <limits>
#include <memory>

#if defined(RASTRA_HAVE_LZ4)
#include <lz4.h>
#endif

namespace rastra {

#if defined(RASTRA_HAVE_LZ4)

bool Lz4Available() { return true; }

std::optional<std::vector<std::uint8_t>> Lz4CompressBlock(const std::vector<std::uint8_t>& data) {
  if (data.size() > static_cast<std::size_t>(LZ4_MAX_INPUT_SIZE)) return std::nullopt;
  const int size = static_cast<int>(data.size());
  // The state is 16 KiB: on the heap, not the stack.
  auto stream = std::make_unique<LZ4_stream_t>();
  if (LZ4_initStream(stream.get(), sizeof(LZ4_stream_t)) == nullptr) return std::nullopt;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(LZ4_compressBound(size)));
  const int written = LZ4_compress_fast_continue(stream.get(), reinterpret_cast<const char*>(data.data()),
                                                 reinterpret_cast<char*>(block.data()), size,
                                                 static_cast<int>(block.size()), 1);
  if (written <= 0 && size > 0) return std::nullopt;
  block.resize(static_cast<std::size_t>(written));
  return block;
}

bool Lz4DecompressBlock(const std::vector<std::uint8_t>& block, std::size_t expectedSize,
                        std::vector<std::uint8_t>& data) {
  if (block.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      expectedSize > static_cast<std::size_t>(LZ4_MAX_INPUT_SIZE)) {
    return false;
  }
  data.assign(expectedSize, 0);
  const int got = LZ4_decompress_safe(reinterpret_cast<const char*>(block.data()), reinterpret_cast<char*>(data.data()),
                                      static_cast<int>(block.size()), static_cast<int>(expectedSize));
  return got >= 0 && static_cast<std::size_t>(got) == expectedSize;
}

#else

bool Lz4Available() { return false; }
std::optional<std::vector<std::uint8_t>> Lz4CompressBlock(const std::vector<std::uint8_t>&) { return std::nullopt; }
bool Lz4DecompressBlock(const std::vector<std::uint8_t>&, std::size_t, std::vector<std::uint8_t>&) { return false; }

#endif

}  // namespace rastra

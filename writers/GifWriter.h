// GIF89a file writer (output type 4) and its LZW compressor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/Bitmap.h"
#include "image/OutputOptions.h"
#include "sys/Context.h"
#include "sys/File.h"

namespace rastra {

// Where the compressed bytes go; false when they could not be written.
using GifByteSink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

// Variable-length-code LZW compressor in the GIF89a form: codes packed least
// significant bit first into sub-blocks of at most 255 bytes. When the table
// is full it always sends a clear code; it never goes on with a frozen table.
class GifLzwEncoder {
 public:
  GifLzwEncoder(int minCodeSize, GifByteSink sink);

  // Writes the minimum code size byte and the first clear code.
  bool Begin();
  // Feeds pixel indices; indices at or above the clear code are cut to its bits.
  bool Add(const std::uint8_t* indices, std::size_t count);
  // Sends the pending string and the end code and writes the last sub-block.
  // The block terminator is the caller's.
  bool Finish();

  // Begin, every row of a palette image from the top, Finish.
  bool EncodeImage(const Bitmap& image);

 private:
  static constexpr int kHashSlots = 5021;
  static constexpr int kMaxCodeWidth = 12;

  struct Slot {
    std::int16_t code = -1;  // -1: empty
    std::uint16_t prefix = 0;
    std::uint8_t index = 0;
  };

  void ClearTable();
  int Lookup(int prefix, int index) const;
  void PutCode(int code);
  void PutByte(std::uint8_t byte);
  void WriteSubBlock();

  int minCodeSize_;
  int clearCode_;
  int endCode_;
  int nextCode_ = 0;
  int width_ = 0;
  int prefix_ = -1;  // -1 until the first pixel
  std::uint8_t indexMask_;
  GifByteSink sink_;
  bool failed_ = false;
  std::uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;
  std::array<std::uint8_t, 256> block_{};  // count byte, then up to 255 data bytes
  std::array<Slot, kHashSlots> slots_{};
};

// Converts bitmap to its best palette of at most 256 colours and writes the
// result as a single-image GIF89a straight to sink. Transparency is carried
// pixel by pixel: the pixels of a palette image's transparent entry, or the
// fully transparent pixels of a true-colour image with HasAlpha, and no
// others, take the file's transparent index. The converted image comes
// back in written to replace the caller's (also when writing then failed).
// Returns kOk, or why not (recorded as "Error writing GIF: %s").
sys::Code WriteGifFile(const Bitmap* bitmap, sys::ByteSink& sink, BitmapPtr& written, const OutputOptions& options,
                       sys::Context& ctx);

}  // namespace rastra

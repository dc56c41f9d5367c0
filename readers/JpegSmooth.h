// Output of YCbCr frames whose chroma has half the luma's resolution across
// (4:2:2), down (4:4:0) or both (4:2:0), with the chroma interpolated between
// its samples instead of repeated: the triangle filter of the IJG decoder's
// default ("fancy") upsampling, with its rounding. Each output chroma sample
// weighs the nearest stored sample 3 and the next nearest 1 along each halved
// direction; samples past the picture's edge repeat the last real one.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Bitmap.h"

namespace rastra {

class JpegSmoothOutput {
 public:
  // h x v: the luma's sampling factors against the chroma's 1 x 1 (2 x 1,
  // 1 x 2 or 2 x 2); width and height of the picture; MCUs per MCU row.
  JpegSmoothOutput(int h, int v, int width, int height, int mcusPerRow);

  // Whether the layout is one this output interpolates. Chroma of at most two
  // samples across is repeated, as the IJG decoder does.
  static bool Interpolates(int h, int v, int width);

  // Converts MCU row mcuRow (its samples as JpegConvertMcuRow takes them:
  // per MCU the luma blocks, then Cb, then Cr) into the bitmap's rows. With
  // halved vertical chroma, the last line of an MCU row needs the next MCU
  // row's first chroma row and is written with it; MCU rows come in order.
  void OutputMcuRow(const std::uint8_t* samples, int mcuRow, Bitmap& bitmap);

 private:
  struct ChromaRow {
    std::vector<std::uint8_t> cb;  // one guard sample at each end
    std::vector<std::uint8_t> cr;
  };

  void GatherChroma(const std::uint8_t* samples, int row, ChromaRow& out) const;
  void GatherLuma(const std::uint8_t* samples, int line, std::uint8_t* out) const;
  // One picture line from its luma and the chroma rows it lies on (cur) and
  // next to (near; the same row where it has none).
  void ConvertLine(const std::uint8_t* luma, const ChromaRow& cur, const ChromaRow& near, bool upper,
                   std::uint8_t* out);
  void Upsample(const std::uint8_t* cur, const std::uint8_t* near, bool upper, std::uint8_t* out);

  int h_;
  int v_;
  int width_;
  int height_;
  int mcusPerRow_;
  int chromaWidth_;   // chroma samples across that cover the picture
  int chromaHeight_;  // and down
  std::size_t mcuBytes_;
  std::vector<ChromaRow> rows_;  // this MCU row's chroma rows (8)
  ChromaRow previous_;           // the last chroma row of the MCU row before
  std::vector<std::uint16_t> sums_;
  std::vector<std::uint8_t> luma_;
  std::vector<std::uint8_t> cb_;
  std::vector<std::uint8_t> cr_;
  // The line that waits for the next MCU row's first chroma row.
  int pendingLine_ = -1;
  std::vector<std::uint8_t> pendingLuma_;
};

}  // namespace rastra

#include "readers/JpegSmooth.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readers/JpegInternal.h"

namespace rastra {

namespace {

constexpr int kBlockRows = 8;

#if defined(__SSE2__)

// The filters of Upsample on eight samples at a time; each returns how many
// samples it did (whole groups of eight that lie within n), the caller does
// the rest. Reading one sample past the group is safe: the rows have guards
// and room up to whole MCUs.

inline __m128i LoadWords(const std::uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// Even outputs and odd ones, narrowed and interleaved into 16 bytes.
inline void StorePairs(std::uint8_t* out, __m128i even, __m128i odd) {
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_unpacklo_epi8(_mm_packus_epi16(even, zero), _mm_packus_epi16(odd, zero)));
}

int UpsampleRowsSse2(const std::uint8_t* cur, const std::uint8_t* near, int bias, int n, std::uint8_t* out) {
  const __m128i round = _mm_set1_epi16(static_cast<short>(bias));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i c = LoadWords(cur + i);
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c, c), c), LoadWords(near + i));
    const __m128i result = _mm_srli_epi16(_mm_add_epi16(sum, round), 2);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(result, result));
  }
  return i;
}

int UpsampleAcrossSse2(const std::uint8_t* cur, int n, std::uint8_t* out) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i two = _mm_set1_epi16(2);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i c = LoadWords(cur + i);
    const __m128i three = _mm_add_epi16(_mm_add_epi16(c, c), c);
    const __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, LoadWords(cur + i - 1)), one), 2);
    const __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, LoadWords(cur + i + 1)), two), 2);
    StorePairs(out + 2 * i, even, odd);
  }
  return i;
}

int UpsampleBothSse2(const std::uint16_t* sums, int n, std::uint8_t* out) {
  const __m128i eight = _mm_set1_epi16(8);
  const __m128i seven = _mm_set1_epi16(7);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i));
    const __m128i three = _mm_add_epi16(_mm_add_epi16(s, s), s);
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i - 1));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i + 1));
    const __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, before), eight), 4);
    const __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, after), seven), 4);
    StorePairs(out + 2 * i, even, odd);
  }
  return i;
}

#endif  // __SSE2__

}  // namespace

JpegSmoothOutput::JpegSmoothOutput(int h, int v, int width, int height, int mcusPerRow)
    : h_(h),
      v_(v),
      width_(width),
      height_(height),
      mcusPerRow_(mcusPerRow),
      chromaWidth_((width + h - 1) / h),
      chromaHeight_((height + v - 1) / v),
      mcuBytes_(static_cast<std::size_t>(h * v + 2) * kJpegBlockSize),
      rows_(kBlockRows) {
  const std::size_t across = static_cast<std::size_t>(mcusPerRow) * 8 + 2;
  for (ChromaRow& row : rows_) {
    row.cb.resize(across);
    row.cr.resize(across);
  }
  previous_.cb.resize(across);
  previous_.cr.resize(across);
  sums_.resize(across * 2);
  // Whole MCUs of output, so that the conversion may run over the picture's width.
  const std::size_t line = static_cast<std::size_t>(mcusPerRow) * 8 * h + 16;
  luma_.resize(line);
  cb_.resize(line);
  cr_.resize(line);
  pendingLuma_.resize(line);
}

bool JpegSmoothOutput::Interpolates(int h, int v, int width) {
  if (h == 2 && (v == 1 || v == 2)) return (width + 1) / 2 > 2;
  return h == 1 && v == 2;
}

// Chroma row `row` of the MCU row (0 to 7), with the guards: the first real
// sample repeated before it and the last real one after it.
void JpegSmoothOutput::GatherChroma(const std::uint8_t* samples, int row, ChromaRow& out) const {
  const std::uint8_t* cb = samples + static_cast<std::size_t>(h_ * v_) * kJpegBlockSize + row * 8;
  for (int m = 0; m < mcusPerRow_; ++m, cb += mcuBytes_) {
    std::memcpy(out.cb.data() + 1 + 8 * m, cb, 8);
    std::memcpy(out.cr.data() + 1 + 8 * m, cb + kJpegBlockSize, 8);
  }
  out.cb[0] = out.cb[1];
  out.cr[0] = out.cr[1];
  out.cb[static_cast<std::size_t>(chromaWidth_) + 1] = out.cb[static_cast<std::size_t>(chromaWidth_)];
  out.cr[static_cast<std::size_t>(chromaWidth_) + 1] = out.cr[static_cast<std::size_t>(chromaWidth_)];
}

// Luma line `line` of the MCU row (0 to 8 v - 1), all MCUs.
void JpegSmoothOutput::GatherLuma(const std::uint8_t* samples, int line, std::uint8_t* out) const {
  const std::uint8_t* first = samples + static_cast<std::size_t>((line / 8) * h_) * kJpegBlockSize + (line % 8) * 8;
  for (int m = 0; m < mcusPerRow_; ++m, first += mcuBytes_) {
    for (int b = 0; b < h_; ++b, out += 8) std::memcpy(out, first + b * kJpegBlockSize, 8);
  }
}

// The filter of one chroma component along one line. cur and near point at
// the first real sample (their guards lie before and after). Across, output
// sample 2i weighs sample i by 3 and i - 1 by 1, 2i + 1 weighs i by 3 and
// i + 1 by 1, rounded with 1 and 2 out of 4 in turn; down, the same with the
// near row, rounded with 8 and 7 out of 16 when both directions are halved,
// with 1 (upper line) or 2 (lower line) out of 4 when only the rows are.
void JpegSmoothOutput::Upsample(const std::uint8_t* cur, const std::uint8_t* near, bool upper, std::uint8_t* out) {
  const int n = chromaWidth_;
  int i = 0;
  if (h_ == 1) {
    const int bias = upper ? 1 : 2;
#if defined(__SSE2__)
    i = UpsampleRowsSse2(cur, near, bias, n, out);
#endif
    for (; i < n; ++i) out[i] = static_cast<std::uint8_t>((3 * cur[i] + near[i] + bias) >> 2);
    return;
  }
  if (v_ == 1) {
#if defined(__SSE2__)
    i = UpsampleAcrossSse2(cur, n, out);
#endif
    for (; i < n; ++i) {
      const int three = 3 * cur[i];
      out[2 * i] = static_cast<std::uint8_t>((three + cur[i - 1] + 1) >> 2);
      out[2 * i + 1] = static_cast<std::uint8_t>((three + cur[i + 1] + 2) >> 2);
    }
    return;
  }
  std::uint16_t* sums = sums_.data() + 1;
  for (int k = -1; k <= n; ++k) sums[k] = static_cast<std::uint16_t>(3 * cur[k] + near[k]);
#if defined(__SSE2__)
  i = UpsampleBothSse2(sums, n, out);
#endif
  for (; i < n; ++i) {
    const int three = 3 * sums[i];
    out[2 * i] = static_cast<std::uint8_t>((three + sums[i - 1] + 8) >> 4);
    out[2 * i + 1] = static_cast<std::uint8_t>((three + sums[i + 1] + 7) >> 4);
  }
}

void JpegSmoothOutput::ConvertLine(const std::uint8_t* luma, const ChromaRow& cur, const ChromaRow& near, bool upper,
                                   std::uint8_t* out) {
  Upsample(cur.cb.data() + 1, near.cb.data() + 1, upper, cb_.data());
  Upsample(cur.cr.data() + 1, near.cr.data() + 1, upper, cr_.data());
  JpegConvertLine(luma, cb_.data(), cr_.data(), width_, out);
}

void JpegSmoothOutput::OutputMcuRow(const std::uint8_t* samples, int mcuRow, Bitmap& bitmap) {
  const int mcuHeight = 8 * v_;
  const int firstLine = mcuRow * mcuHeight;
  const int firstChroma = mcuRow * kBlockRows;
  const int lines = std::min(mcuHeight, height_ - firstLine);
  const int chromaRows = v_ == 2 ? (lines + 1) / 2 : lines;
  for (int r = 0; r < chromaRows; ++r) GatherChroma(samples, r, rows_[static_cast<std::size_t>(r)]);
  if (pendingLine_ >= 0) {
    ConvertLine(pendingLuma_.data(), previous_, rows_[0], false, bitmap.Row(pendingLine_));
    pendingLine_ = -1;
  }
  for (int l = 0; l < lines; ++l) {
    const int y = firstLine + l;
    GatherLuma(samples, l, luma_.data());
    if (v_ == 1) {
      ConvertLine(luma_.data(), rows_[static_cast<std::size_t>(l)], rows_[static_cast<std::size_t>(l)], true,
                  bitmap.Row(y));
      continue;
    }
    const bool upper = l % 2 == 0;
    const int c = firstChroma + l / 2;
    const int near = std::clamp(upper ? c - 1 : c + 1, 0, chromaHeight_ - 1);
    const ChromaRow& cur = rows_[static_cast<std::size_t>(l / 2)];
    if (near < firstChroma) {
      ConvertLine(luma_.data(), cur, previous_, upper, bitmap.Row(y));
    } else if (near < firstChroma + kBlockRows) {
      ConvertLine(luma_.data(), cur, rows_[static_cast<std::size_t>(near - firstChroma)], upper, bitmap.Row(y));
    } else {
      std::swap(pendingLuma_, luma_);
      pendingLine_ = y;
    }
  }
  if (v_ == 2) std::swap(previous_, rows_[kBlockRows - 1]);
}

}  // namespace rastra

// Differential harness of the GIF reader. The input chooses an animation:
// the logical screen, a global table or none, and per frame its rectangle,
// local table, interlacing, graphic control (delay, transparent index,
// disposal) and pixels. giflib encodes it; then giflib and our one-pass frame
// reader (raw mode: the file's indices on a canvas of the screen's size)
// decode every frame. Any difference in a frame's rectangle, pixels, table,
// delay or transparent index, or in the scan's frame count and playing time,
// is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "FuzzSupport.h"
#include "readers/GifDecoder.h"
#include "tests/GifTestFiles.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

using gif_test::OracleFrame;
using gif_test::OracleGif;
using gif_test::Rgb;

constexpr int kMaxScreenSide = 96;
constexpr int kMaxFrames = 8;
constexpr Color kTransparentEntry = 0xFFFFFFFF;

std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

std::vector<Rgb> MakeTable(FuzzedDataProvider& input, std::uint32_t& state) {
  const int bits = input.ConsumeIntegralInRange(1, 8);
  std::vector<Rgb> table(std::size_t{1} << bits);
  for (Rgb& colour : table) colour = NextRandom(state) & 0xFFFFFF;
  return table;
}

// Noise, runs of one index (which the LZW tables grow on) or the input's own
// bytes, always within the table.
std::vector<std::uint8_t> MakePixels(FuzzedDataProvider& input, std::uint32_t& state, int count, int tableSize) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(count));
  const int kind = input.ConsumeIntegralInRange(0, 2);
  if (kind == 0) {
    for (std::uint8_t& p : pixels) p = static_cast<std::uint8_t>(NextRandom(state) % tableSize);
  } else if (kind == 1) {
    std::size_t i = 0;
    while (i < pixels.size()) {
      const std::size_t run = 1 + NextRandom(state) % 64;
      const auto index = static_cast<std::uint8_t>(NextRandom(state) % tableSize);
      for (std::size_t end = std::min(pixels.size(), i + run); i < end; ++i) pixels[i] = index;
    }
  } else {
    const auto bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(1, 1024));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = static_cast<std::uint8_t>((bytes.empty() ? 0 : bytes[i % bytes.size()]) % tableSize);
    }
  }
  return pixels;
}

OracleGif MakeAnimation(FuzzedDataProvider& input) {
  std::uint32_t state = input.ConsumeIntegral<std::uint32_t>();
  OracleGif gif;
  gif.width = input.ConsumeIntegralInRange(1, kMaxScreenSide);
  gif.height = input.ConsumeIntegralInRange(1, kMaxScreenSide);
  if (input.ConsumeBool()) gif.globalTable = MakeTable(input, state);
  const int frames = input.ConsumeIntegralInRange(1, kMaxFrames);
  for (int i = 0; i < frames; ++i) {
    OracleFrame frame;
    frame.left = input.ConsumeIntegralInRange(0, gif.width - 1);
    frame.top = input.ConsumeIntegralInRange(0, gif.height - 1);
    frame.width = input.ConsumeIntegralInRange(1, gif.width - frame.left);
    frame.height = input.ConsumeIntegralInRange(1, gif.height - frame.top);
    frame.interlaced = input.ConsumeBool();
    if (gif.globalTable.empty() || input.ConsumeBool()) frame.localTable = MakeTable(input, state);
    if (input.ConsumeBool()) {
      frame.delayCs = input.ConsumeIntegral<std::uint16_t>();
      frame.transIndex = input.ConsumeBool() ? input.ConsumeIntegral<std::uint8_t>() : -1;
      frame.disposal = input.ConsumeIntegralInRange(0, 7);
    }
    const int tableSize = static_cast<int>((frame.localTable.empty() ? gif.globalTable : frame.localTable).size());
    frame.pixels = MakePixels(input, state, frame.width * frame.height, tableSize);
    gif.frames.push_back(std::move(frame));
  }
  return gif;
}

// What a frame carries over from the graphic controls before it: the delay of
// the last one and the transparent index of the last one that set one.
struct Carried {
  std::uint32_t delayMs = 0;
  int transIndex = -1;
  std::uint32_t totalMs = 0;
};

std::uint32_t DelayMs(int stored) { return stored == 0 ? 100 : ((10u * static_cast<std::uint32_t>(stored)) & 0xFFFF); }

[[noreturn]] void Finding(int frame, const char* what) {
  std::fprintf(stderr, "GIF finding in frame %d: %s\n", frame, what);
  __builtin_trap();
}

void CompareFrame(int number, const GifFrame& ours, const OracleFrame& theirs, const std::vector<Rgb>& table,
                  const Carried& carried, const OracleGif& gif) {
  if (ours.XPos != theirs.left || ours.YPos != theirs.top || ours.XSize != theirs.width ||
      ours.YSize != theirs.height) {
    Finding(number, "the rectangle differs");
  }
  if (((ours.ImageFlags & 0x40) != 0) != theirs.interlaced) Finding(number, "the interlace flag differs");
  if (ours.Delay != carried.delayMs) Finding(number, "the delay differs");
  const int size = static_cast<int>(table.size());
  const int trans = carried.transIndex < size ? carried.transIndex : -1;
  if (ours.TransIndex != trans) Finding(number, "the transparent index differs");
  if (ours.ColorTable.size() != 3 * table.size()) Finding(number, "the colour table differs in size");
  const Bitmap& canvas = *ours.pBitmap;
  if (canvas.XSize != gif.width || canvas.YSize != gif.height || canvas.NumColors != size) {
    Finding(number, "the canvas or its palette differs in size");
  }
  for (int i = 0; i < size; ++i) {
    const Rgb rgb = table[static_cast<std::size_t>(i)];
    const std::uint8_t* copy = ours.ColorTable.data() + 3 * i;
    if (copy[0] != (rgb & 0xFF) || copy[1] != ((rgb >> 8) & 0xFF) || copy[2] != (rgb >> 16)) {
      Finding(number, "the copied colour table differs");
    }
    const Color expected = i == trans ? kTransparentEntry : rgb;
    if (Bitmap_GetPalColor(canvas, i) != expected) Finding(number, "a palette entry differs");
  }
  for (int y = 0; y < theirs.height; ++y) {
    const std::uint8_t* row = canvas.Row(theirs.top + y) + theirs.left;
    const std::uint8_t* want = theirs.pixels.data() + static_cast<std::size_t>(y) * theirs.width;
    for (int x = 0; x < theirs.width; ++x) {
      if (row[x] != want[x]) Finding(number, "a pixel differs");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const OracleGif animation = MakeAnimation(input);
  const std::optional<gif_test::Bytes> file = gif_test::EncodeWithGiflib(animation);
  if (!file) return 0;
  const std::optional<OracleGif> theirs = gif_test::DecodeWithGiflib(*file);
  if (!theirs) return 0;  // giflib refusing its own file is not ours to judge
  if (theirs->frames.size() != animation.frames.size()) return 0;

  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(file->size());
  sys::Context ctx = FuzzContext();
  const ReadLimits limits = FuzzReadLimits();
  if (ParseGif(*file, info, nullptr, 0, ctx, limits) != 0) Finding(-1, "the scan fails");

  info.FirstGlobalFrame = -1;
  GifFrameReader reader(*file, info, limits, ctx);
  if (!reader.ReadScreen()) Finding(-1, "the screen cannot be read");
  Carried carried;
  for (std::size_t i = 0; i < animation.frames.size(); ++i) {
    // The graphic control as written (giflib's view of it has the same values).
    const OracleFrame& written = animation.frames[i];
    if (written.delayCs >= 0 || written.transIndex >= 0) {
      carried.delayMs = DelayMs(written.delayCs);
      carried.totalMs += carried.delayMs;
      if (written.transIndex >= 0) carried.transIndex = written.transIndex;
    }
    GifFrame frame;
    if (reader.Next(frame, GifFrameReader::Mode::kRaw) != GifFrameReader::Step::kFrame || !frame.pBitmap) {
      Finding(static_cast<int>(i), "ours does not decode it");
    }
    const OracleFrame& decoded = theirs->frames[i];
    const std::vector<Rgb>& table = decoded.localTable.empty() ? theirs->globalTable : decoded.localTable;
    CompareFrame(static_cast<int>(i), frame, decoded, table, carried, *theirs);
  }
  GifFrame end;
  if (reader.Next(end, GifFrameReader::Mode::kRaw) != GifFrameReader::Step::kEnd) Finding(-1, "no end after the frames");
  if (info.NumFrames != animation.frames.size()) Finding(-1, "the frame count differs");
  if (info.TotalDelay != carried.totalMs) Finding(-1, "the playing time differs");
  return 0;
}

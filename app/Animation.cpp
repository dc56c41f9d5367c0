#include "app/Animation.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "app/Report.h"
#include "app/Settings.h"
#include "readers/GifDecoder.h"
#include "sys/File.h"
#include "writers/AnimWriter.h"

namespace {

constexpr std::size_t kMaxOutputPath = 255;
constexpr const char* kReadFailure = "Image could not be read";

std::optional<std::vector<std::uint8_t>> ReadGifData(const std::string& gifPath, const ReadLimits& limits) {
  auto file = sys::File::OpenRead(gifPath);
  if (!file) {
    ReportMessage(20);  // "File not found."
    return std::nullopt;
  }
  const std::int64_t size = file->Size();
  if (size > 0 && static_cast<std::uint64_t>(size) > limits.maxFileBytes) {
    ReportText("File too long");
    return std::nullopt;
  }
  auto data = file->ReadAll();
  if (!data || static_cast<std::int64_t>(data->size()) != size) {
    ReportMessage(21);  // "Error opening file."
    return std::nullopt;
  }
  return data;
}

// The frame count and playing time, which the file's banner names before the
// first frame; false after reporting why there is no animation.
bool ScanGif(const std::vector<std::uint8_t>& data, GifInfo& info, const ReadLimits& limits) {
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  sys::Context ctx = MakeJobContext();
  const bool scanned = ParseGif(data, info, nullptr, 0, ctx, limits) == 0;
  ReportJob(ctx);
  if (scanned && info.NumFrames == 0) ReportText(kReadFailure);
  return scanned && info.NumFrames != 0;
}

// Decodes every frame in one pass and hands each to the animation writer.
bool WriteFrames(const std::vector<std::uint8_t>& data, GifInfo& info, const ReadLimits& limits, sys::ByteSink& sink,
                 const std::string& path, int type, sys::Context& ctx) {
  const auto count = static_cast<int>(info.NumFrames);
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  const OutputSpec spec{5, 0};
  const OutputOptions options = CurrentOutputOptions();
  OutBuffer out(sink);
  AnimWriterState state;
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(data, info, limits, ctx);
  if (!reader.ReadScreen()) return false;
  for (int i = 0; i < count; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (reader.Next(frame, GifFrameReader::Mode::kDecode) != GifFrameReader::Step::kFrame || !frame.pBitmap) {
      return false;
    }
    if (WriteAnimFile(state, out, spec, info, path, count - i - 1, &frames, type, options, ctx) != 0) return false;
    // Only the delay and the table number are needed from here on.
    frame.pBitmap.reset();
    frame.ColorTable = {};
  }
  return true;
}

}  // namespace

bool CheckGifForAnimation(const std::string& path, const ReadLimits& limits) {
  const auto data = ReadGifData(path, limits);
  if (!data) return false;
  GifInfo info;
  return ScanGif(*data, info, limits);
}

bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type, const ReadLimits& limits) {
  const auto data = ReadGifData(gifPath, limits);
  if (!data) return false;
  GifInfo info;
  if (!ScanGif(*data, info, limits)) return false;

  const std::string path = outPath.substr(0, kMaxOutputPath);
  // Written beside the target and moved over it only when every frame was
  // written, so a failed run keeps an existing file.
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    ReportMessage(21);  // "Error opening file."
    return false;
  }
  sys::Context ctx = MakeJobContext();
  bool written = WriteFrames(*data, info, limits, output->Output(), path, type, ctx);
  ReportJob(ctx);
  if (written && !output->Commit()) {
    ReportText("Could not write file " + path);
    written = false;
  }
  return written;
}

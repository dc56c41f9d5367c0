#include "app/Animation.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "app/Report.h"
#include "app/Session.h"
#include "readers/GifDecoder.h"
#include "sys/File.h"
#include "writers/AnimWriter.h"

namespace rastra {

namespace {

constexpr std::size_t kMaxOutputPath = 255;
constexpr const char* kReadFailure = "Image could not be read";
constexpr int kNotAGifMessage = 28;
constexpr int kNotAnimatedMessage = 29;

std::optional<std::vector<std::uint8_t>> ReadGifData(CommandSession& session, const std::string& gifPath,
                                                     const ReadLimits& limits) {
  auto file = sys::File::OpenRead(gifPath);
  if (!file) {
    session.Report(20);  // "File not found."
    return std::nullopt;
  }
  const std::int64_t size = file->Size();
  if (size > 0 && static_cast<std::uint64_t>(size) > limits.maxFileBytes) {
    session.ReportText("File too long");
    return std::nullopt;
  }
  auto data = file->ReadAll();
  if (!data || static_cast<std::int64_t>(data->size()) != size) {
    session.Report(21);  // "Error opening file."
    return std::nullopt;
  }
  return data;
}

bool HasGifSignature(const std::vector<std::uint8_t>& data) {
  return data.size() >= 6 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8' &&
         (data[4] == '7' || data[4] == '9') && data[5] == 'a';
}

// The frame count and playing time, which the file's banner names before the
// first frame; false after reporting why there is no animation.
bool ScanGif(CommandSession& session, const std::vector<std::uint8_t>& data, GifInfo& info,
             const ReadLimits& limits) {
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  sys::Context ctx = MakeJobContext();
  const bool scanned = ParseGif(data, info, nullptr, 0, ctx, limits) == 0;
  session.ReportJob(ctx);
  if (scanned && info.NumFrames == 0) session.ReportText(kReadFailure);
  return scanned && info.NumFrames != 0;
}

// The GIF's bytes when it can be written as an animation; reported when not.
std::optional<std::vector<std::uint8_t>> ReadAnimation(CommandSession& session, const std::string& gifPath,
                                                       const ReadLimits& limits, bool requireAnimation,
                                                       GifInfo& info) {
  const SubjectScope subject(session, gifPath);
  auto data = ReadGifData(session, gifPath, limits);
  if (!data) return std::nullopt;
  if (requireAnimation && !HasGifSignature(*data)) {
    session.Report(kNotAGifMessage, "TYPE 6 and 7 write the frames of an animated GIF");
    return std::nullopt;
  }
  if (!ScanGif(session, *data, info, limits)) return std::nullopt;
  if (requireAnimation && info.NumFrames < 2) {
    session.Report(kNotAnimatedMessage, "it holds one image; save it with TYPE 1");
    return std::nullopt;
  }
  return data;
}

// Decodes every frame in one pass and hands each to the animation writer.
// What the walk and the writer record is shown at the end, as one job (a
// warning is said once for the whole file); the preparation of a frame shows
// its reports as they come.
bool WriteFrames(CommandSession& session, const AnimationRequest& request, const std::vector<std::uint8_t>& data,
                 GifInfo& info, sys::ByteSink& sink, const std::string& path, sys::Context& ctx) {
  const auto count = static_cast<int>(info.NumFrames);
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  OutBuffer out(sink);
  AnimWriterState state;
  info.FirstGlobalFrame = -1;
  GifFrameReader reader(data, info, request.limits, ctx);
  if (!reader.ReadScreen()) return false;
  for (int i = 0; i < count; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (reader.Next(frame, GifFrameReader::Mode::kDecode) != GifFrameReader::Step::kFrame || !frame.pBitmap) {
      return false;
    }
    if (request.prepare) {
      frame.pBitmap = request.prepare(std::move(frame.pBitmap), i);
      if (!frame.pBitmap) return false;
    }
    if (WriteAnimFile(state, out, request.spec, info, path, count - i - 1, &frames, request.type, session.options,
                      ctx) != 0) {
      return false;
    }
    // Only the delay and the table number are needed from here on.
    frame.pBitmap.reset();
    frame.ColorTable = {};
  }
  return true;
}

}  // namespace

bool SaveAnimation(CommandSession& session, const AnimationRequest& request) {
  GifInfo info;
  const auto data = ReadAnimation(session, request.gifPath, request.limits, request.requireAnimation, info);
  if (!data) return false;

  const std::string path = request.outPath.substr(0, kMaxOutputPath);
  const SubjectScope subject(session, path);
  // Written beside the target and moved over it only when every frame was
  // written, so a failed run keeps an existing file.
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    session.Report(21);  // "Error opening file."
    return false;
  }
  sys::Context ctx = MakeJobContext();
  const bool written = WriteFrames(session, request, *data, info, output->Output(), path, ctx);
  session.ReportJob(ctx);
  if (!written) return false;
  return session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry("Could not write file " + path), {}));
}

bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type, const ReadLimits& limits) {
  CommandSession session = ProcessSession();
  AnimationRequest request{gifPath, outPath, type};
  request.limits = limits;
  return SaveAnimation(session, request);
}

bool CheckGifForAnimation(const std::string& path, const ReadLimits& limits) {
  CommandSession session = ProcessSession();
  GifInfo info;
  return ReadAnimation(session, path, limits, false, info).has_value();
}

}  // namespace rastra

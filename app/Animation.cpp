#include "app/Animation.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/Report.h"
#include "app/Session.h"
#include "sys/File.h"

namespace rastra {

namespace {

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

// The frame count and playing time, which the file's banner names before the
// first frame; false after reporting why there is no animation.
bool ScanGif(CommandSession& session, std::span<const std::uint8_t> data, GifInfo& info,
             const ReadLimits& limits, bool requireAnimation) {
  sys::Context ctx = MakeJobContext();
  const AnimationScan scan = ScanAnimation(data, info, limits, ctx);
  session.ReportJob(ctx);
  if (scan == AnimationScan::kUnreadable) return false;
  if (requireAnimation && scan == AnimationScan::kSingleImage) {
    session.Report(kNotAnimatedMessage, "it holds one image; save it with TYPE 1");
    return false;
  }
  return true;
}

// Whether data can be written as an animation; reported when not.
bool CheckAnimation(CommandSession& session, std::span<const std::uint8_t> data, const ReadLimits& limits,
                    bool requireAnimation, GifInfo& info) {
  if (requireAnimation && !HasGifSignature(data)) {
    session.Report(kNotAGifMessage, "TYPE 6 and 7 write the frames of an animated GIF");
    return false;
  }
  return ScanGif(session, data, info, limits, requireAnimation);
}

// The GIF's bytes when it can be written as an animation; reported when not.
std::optional<std::vector<std::uint8_t>> ReadAnimation(CommandSession& session, const std::string& gifPath,
                                                       const ReadLimits& limits, bool requireAnimation,
                                                       GifInfo& info) {
  const SubjectScope subject(session, gifPath);
  auto data = ReadGifData(session, gifPath, limits);
  if (!data || !CheckAnimation(session, *data, limits, requireAnimation, info)) return std::nullopt;
  return data;
}

// The bytes the frames come from: those of the opened image, or the file's.
std::shared_ptr<const std::vector<std::uint8_t>> AnimationBytes(CommandSession& session,
                                                                const AnimationRequest& request, GifInfo& info) {
  if (!request.fromOpenedImage) {
    auto data = ReadAnimation(session, request.gifPath, session.readOptions.limits, request.requireAnimation, info);
    if (!data) return nullptr;
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(*data));
  }
  const SubjectScope subject(session, request.gifPath);
  static const std::vector<std::uint8_t> kNoGif;
  const std::vector<std::uint8_t>& data = request.gifBytes ? *request.gifBytes : kNoGif;
  if (!CheckAnimation(session, data, session.readOptions.limits, true, info)) return nullptr;
  return request.gifBytes;
}

}  // namespace

bool SaveAnimation(CommandSession& session, const AnimationRequest& request) {
  GifInfo info;
  const ReadLimits& limits = session.readOptions.limits;
  const auto data = AnimationBytes(session, request, info);
  if (!data) return false;

  const std::string& path = request.outPath;
  const SubjectScope subject(session, path);
  // Written beside the target and moved over it only when every frame was
  // written, so a failed run keeps an existing file.
  std::string reason;
  auto output = sys::SafeOutputFile::Create(path, &reason);
  if (!output) {
    session.Report(21, reason);  // "Error opening file."
    return false;
  }
  AnimationJob job;
  job.type = request.type;
  job.spec = request.spec;
  job.identifierSource = path;
  job.options = session.options;
  job.limits = limits;
  job.prepare = request.prepare;
  sys::Context ctx = MakeJobContext();
  const bool written = WriteGifAnimation(*data, info, job, output->Output(), ctx);
  session.ReportJob(ctx);
  if (!written) return false;
  return session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry("Could not write file " + path), {}));
}

bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type, const ReadLimits& limits) {
  CommandSession session = ProcessSession();
  session.readOptions.limits = limits;
  return SaveAnimation(session, AnimationRequest{gifPath, outPath, type});
}

bool CheckGifForAnimation(const std::string& path, const ReadLimits& limits) {
  CommandSession session = ProcessSession();
  GifInfo info;
  return ReadAnimation(session, path, limits, false, info).has_value();
}

bool CheckGifIsAnimation(CommandSession& session, const std::string& path) {
  GifInfo info;
  return ReadAnimation(session, path, session.readOptions.limits, true, info).has_value();
}

}  // namespace rastra

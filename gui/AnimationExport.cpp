#include "gui/AnimationExport.h"

#include <cstdint>

#include "app/Report.h"
#include "readers/GifDecoder.h"
#include "sys/File.h"

namespace {
constexpr std::int64_t kMaxAnimationGifBytes = 8000000;
}

bool CheckGifForAnimation(const std::string& path) {
  auto file = sys::File::OpenRead(path);
  if (!file) {
    ReportMessage(20);  // "File not found."
    return false;
  }
  if (file->Size() > kMaxAnimationGifBytes) {
    ReportText("File too long");
    return false;
  }
  const auto data = file->ReadAll();
  if (!data) {
    ReportMessage(21);  // "Error opening file."
    return false;
  }
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data->size());
  if (ParseGif(*data, info, nullptr, 0) != 0 || info.NumFrames == 0) {
    ReportText("Image could not be read");
    return false;
  }
  return true;
}

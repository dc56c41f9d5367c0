#include "app/Animation.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "app/Report.h"
#include "app/Settings.h"
#include "readers/GifDecoder.h"

namespace {

constexpr std::int64_t kMaxGifFileSize = 8000000;
constexpr std::size_t kMaxOutputPath = 255;

std::optional<std::vector<std::uint8_t>> ReadGifData(const std::string& gifPath) {
  auto file = sys::File::OpenRead(gifPath);
  if (!file) {
    ReportMessage(20);  // "File not found."
    return std::nullopt;
  }
  const std::int64_t size = file->Size();
  if (size > kMaxGifFileSize) {
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

}  // namespace

bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type, AnimFrameWriter writer) {
  const auto data = ReadGifData(gifPath);
  if (!data) return false;
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(data->size());
  if (ParseGif(*data, info, nullptr, 0) != 0 || info.NumFrames == 0) {
    ReportText("Image could not be read");
    return false;
  }

  const std::string path = outPath.substr(0, kMaxOutputPath);
  // Written beside the target and moved over it only when every frame was
  // written, so a failed run keeps an existing file.
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    ReportMessage(21);  // "Error opening file."
    return false;
  }
  sys::File* file = &output->Output();
  const int count = info.NumFrames;
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  const OutputSpec spec{5, 0};
  const bool bigEndian = GetSettings().BigEndianMode != 0;
  info.FirstGlobalFrame = -1;
  // The writer takes each frame from the records; the image handed to the
  // save call stands for frame 0 and comes back from it unless the frame
  // could not be written.
  BitmapPtr first;
  bool written = true;
  for (int i = 0; i < count && written; ++i) {
    GifFrame& frame = frames[static_cast<std::size_t>(i)];
    if (ParseGif(*data, info, &frame, i) != 0 || !frame.pBitmap) {
      written = false;
      break;
    }
    if (i == 0) first = Bitmap_Copy(*frame.pBitmap);
    const AnimArgs anim{count - i - 1, &info, &frames};
    first = writer(std::move(first), *file, path, spec, type, bigEndian, anim);
    written = first != nullptr;
    frame.pBitmap.reset();  // only its delay and table are needed from here on
  }
  if (written && !output->Commit()) {
    ReportText("Could not write file " + path);
    written = false;
  }
  return written;
}

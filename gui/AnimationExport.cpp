#include "gui/AnimationExport.h"

#include "app/Report.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

std::optional<GifSource> ReadGifForAnimation(const std::string& path) {
  auto file = sys::File::OpenRead(path);
  if (!file) {
    ReportMessage(20);  // "File not found."
    return std::nullopt;
  }
  if (file->Size() > kMaxAnimationGifBytes) {
    ReportText("File too long");
    return std::nullopt;
  }
  auto data = file->ReadAll();
  if (!data) return std::nullopt;
  GifSource gif;
  gif.data = std::move(*data);
  gif.info.DataSize = static_cast<std::uint32_t>(gif.data.size());
  if (ParseGif(gif.data, gif.info, nullptr, 0) != 0) return std::nullopt;
  return gif;
}

bool WriteGifAnimation(const GifSource& gif, const std::string& outputPath, int type, bool bigEndian) {
  GifInfo info = gif.info;
  info.FirstGlobalFrame = -1;
  const int count = info.NumFrames;
  if (count <= 0) return false;
  sys::DeleteFile(outputPath);
  auto file = sys::File::Create(outputPath);
  if (!file) {
    ReportText("Could not create file " + outputPath);
    return false;
  }
  std::vector<GifFrame> frames(static_cast<std::size_t>(count));
  OutputSpec spec;
  spec.Format = 5;
  for (int i = 0; i < count; ++i) {
    if (ParseGif(gif.data, info, &frames[static_cast<std::size_t>(i)], i) != 0 || !frames[0].pBitmap) {
      file->Close();
      return false;
    }
    AnimArgs anim;
    anim.framesToFollow = count - i - 1;
    anim.info = &info;
    anim.frames = &frames;
    // The writer takes the frame to write from the records; the image handed
    // over only stands for the animation, so frame 0 stays in its record.
    BitmapPtr written = WriteImageFile(Bitmap_Copy(*frames[0].pBitmap), *file, outputPath, spec, type, bigEndian, anim);
    if (!written) {
      file->Close();
      return false;
    }
  }
  if (!file->Close()) {
    ReportText("Could not write file " + outputPath);
    return false;
  }
  return true;
}

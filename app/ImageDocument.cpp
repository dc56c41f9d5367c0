#include "app/ImageDocument.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "app/Report.h"
#include "readers/GifDecoder.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace {
ImageDocument document;
constexpr std::size_t kMaxSourcePath = 255;

// Frames of a GIF file; a file that does not scan to its end counts as one
// picture, since the reader showed only its first anyway.
std::uint32_t CountGifFrames(std::span<const std::uint8_t> data) {
  GifInfo info;
  info.DataSize = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  sys::Context scan;  // what the scan meets was said by the read already, or concerns later frames
  if (ParseGif(data, info, nullptr, 0, scan, JobLimits()) != 0) return 1;
  return std::max<std::uint32_t>(info.NumFrames, 1);
}

void StartNewHistory() {
  for (int i = 0; i < kUndoSlots; ++i) {
    document.undo[i].reset();
    document.undoStates[i] = ImageState{};
  }
}
}  // namespace

ImageDocument& GetDocument() { return document; }

void ResetDocument() { document = ImageDocument{}; }

void PushUndo() {
  if (!document.current) return;
  sys::Context ctx = MakeJobContext();
  BitmapPtr copy = Bitmap_Copy(*document.current, ctx);
  ReportJob(ctx);
  // A copy is a fresh image elsewhere; an undo state is this very picture,
  // whose transparent entry must come back with it.
  if (copy) copy->HasTrans = document.current->HasTrans;
  PushUndoImage(std::move(copy));
}

void PushUndoImage(BitmapPtr image) {
  if (!image) return;
  for (int i = kUndoSlots - 1; i > 0; --i) {
    document.undo[i] = std::move(document.undo[i - 1]);
    document.undoStates[i] = document.undoStates[i - 1];
  }
  document.undo[0] = std::move(image);
  document.undoStates[0] = document.state;
}

void PopUndo() {
  if (!document.undo[0]) return;
  document.current = std::move(document.undo[0]);
  document.state = document.undoStates[0];
  for (int i = 0; i < kUndoSlots - 1; ++i) {
    document.undo[i] = std::move(document.undo[i + 1]);
    document.undoStates[i] = document.undoStates[i + 1];
  }
  document.undoStates[kUndoSlots - 1] = ImageState{};
}

bool CanUndo() { return document.undo[0] != nullptr; }

void MarkChanged() { document.state.revision = ++document.lastRevision; }

void MarkSaved() { document.savedRevision = document.state.revision; }

bool HasUnsavedChanges() { return document.current && document.state.revision != document.savedRevision; }

Bitmap* OpenImageFile(const std::string& path) {
  auto file = sys::File::OpenRead(path);
  if (!file) {
    ReportMessage(20);  // "File not found."
    return nullptr;
  }
  sys::Context ctx = MakeJobContext();
  const ReadOptions options = JobReadOptions();
  ReadResult result;
  std::uint32_t frames = 1;
  const std::int64_t size = file->Size();
  if (size >= 0 && static_cast<std::uint64_t>(size) > options.limits.maxFileBytes) {
    result = ReadResult::Failure(ctx, sys::Code::kLimit, "File too long");
  } else if (auto bytes = file->ReadAll()) {
    const int type = ChooseFileType(FileTypeFromExtension(path), *bytes);
    result = LoadImageData(*bytes, type, options, ctx);
    if (result.image && type == kFileTypeGif) frames = CountGifFrames(*bytes);
  } else {
    result = ReadResult::Failure(ctx, sys::Code::kIo, "File could not be read");
  }
  ReportJob(ctx);
  if (!result.image) return nullptr;

  StartNewHistory();
  document.current = std::move(result.image);
  document.sourcePath = path.substr(0, kMaxSourcePath);
  document.sourceFrames = frames;
  document.state = ImageState{ImageOrigin::kFile, ++document.lastRevision};
  document.savedRevision = document.state.revision;
  return document.current.get();
}

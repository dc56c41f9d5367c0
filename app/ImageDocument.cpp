#include "app/ImageDocument.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "app/Report.h"
#include "app/Session.h"
#include "readers/GifDecoder.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace rastra {

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

void StartNewHistory(ImageDocument& doc) {
  for (int i = 0; i < kUndoSlots; ++i) {
    doc.undo[i].reset();
    doc.undoStates[i] = ImageState{};
  }
}
}  // namespace

ImageDocument& GetDocument() { return document; }

void ResetDocument() { document = ImageDocument{}; }

void PushUndo() {
  CommandSession session = ProcessSession();
  PushUndo(session);
}

void PushUndo(CommandSession& session) {
  ImageDocument& doc = session.doc;
  if (!doc.current) return;
  sys::Context ctx = MakeJobContext();
  BitmapPtr copy = Bitmap_Copy(*doc.current, ctx);
  session.ReportJob(ctx);
  // A copy is a fresh image elsewhere; an undo state is this very picture,
  // whose transparent entry must come back with it.
  if (copy) copy->HasTrans = doc.current->HasTrans;
  PushUndoImage(doc, std::move(copy));
}

void PushUndoImage(BitmapPtr image) { PushUndoImage(document, std::move(image)); }

void PushUndoImage(ImageDocument& doc, BitmapPtr image) {
  if (!image) return;
  for (int i = kUndoSlots - 1; i > 0; --i) {
    doc.undo[i] = std::move(doc.undo[i - 1]);
    doc.undoStates[i] = doc.undoStates[i - 1];
  }
  doc.undo[0] = std::move(image);
  doc.undoStates[0] = doc.state;
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
  CommandSession session = ProcessSession();
  return OpenImageFile(session, path);
}

Bitmap* OpenImageFile(CommandSession& session, const std::string& path) {
  ImageDocument& doc = session.doc;
  const SubjectScope subject(session, path);
  session.reads.push_back(path);
  auto file = sys::File::OpenRead(path);
  if (!file) {
    session.Report(20);  // "File not found."
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
  session.ReportJob(ctx);
  if (!result.image) return nullptr;

  StartNewHistory(doc);
  doc.current = std::move(result.image);
  doc.sourcePath = path.substr(0, kMaxSourcePath);
  doc.sourceFrames = frames;
  doc.state = ImageState{ImageOrigin::kFile, ++doc.lastRevision};
  doc.savedRevision = doc.state.revision;
  return doc.current.get();
}

}  // namespace rastra

#include "app/ImageDocument.h"

#include <utility>

#include "app/Report.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace {
ImageDocument document;
constexpr std::size_t kMaxSourcePath = 255;
}  // namespace

ImageDocument& GetDocument() { return document; }

void ResetDocument() { document = ImageDocument{}; }

void PushUndo() {
  if (!document.current) return;
  sys::Context ctx = MakeJobContext();
  BitmapPtr copy = Bitmap_Copy(*document.current, ctx);
  ReportJob(ctx);
  PushUndoImage(std::move(copy));
}

void PushUndoImage(BitmapPtr image) {
  if (!image) return;
  for (int i = kUndoSlots - 1; i > 0; --i) document.undo[i] = std::move(document.undo[i - 1]);
  document.undo[0] = std::move(image);
}

void PopUndo() {
  if (!document.undo[0]) return;
  document.current = std::move(document.undo[0]);
  for (int i = 0; i < kUndoSlots - 1; ++i) document.undo[i] = std::move(document.undo[i + 1]);
}

bool CanUndo() { return document.undo[0] != nullptr; }

Bitmap* OpenImageFile(const std::string& path) {
  auto file = sys::File::OpenRead(path);
  if (!file) {
    ReportMessage(20);  // "File not found."
    document.current.reset();
    return nullptr;
  }
  sys::Context ctx = MakeJobContext();
  document.current = LoadImageFile(*file, FileTypeFromExtension(path), JobReadOptions(), ctx).image;
  ReportJob(ctx);
  if (document.current) document.sourcePath = path.substr(0, kMaxSourcePath);
  return document.current.get();
}

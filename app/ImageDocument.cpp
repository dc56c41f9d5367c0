#include "app/ImageDocument.h"

#include <utility>

#include "app/Report.h"
#include "app/Session.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace {
ImageDocument document;
constexpr std::size_t kMaxSourcePath = 255;
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
  PushUndoImage(doc, std::move(copy));
}

void PushUndoImage(BitmapPtr image) { PushUndoImage(document, std::move(image)); }

void PushUndoImage(ImageDocument& doc, BitmapPtr image) {
  if (!image) return;
  for (int i = kUndoSlots - 1; i > 0; --i) doc.undo[i] = std::move(doc.undo[i - 1]);
  doc.undo[0] = std::move(image);
}

void PopUndo() {
  if (!document.undo[0]) return;
  document.current = std::move(document.undo[0]);
  for (int i = 0; i < kUndoSlots - 1; ++i) document.undo[i] = std::move(document.undo[i + 1]);
}

bool CanUndo() { return document.undo[0] != nullptr; }

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
    doc.current.reset();
    return nullptr;
  }
  sys::Context ctx = MakeJobContext();
  doc.current = LoadImageFile(*file, FileTypeFromExtension(path), JobReadOptions(), ctx).image;
  session.ReportJob(ctx);
  if (doc.current) doc.sourcePath = path.substr(0, kMaxSourcePath);
  return doc.current.get();
}

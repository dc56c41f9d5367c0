#include "app/DocumentActions.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Session.h"
#include "readers/ImageReaders.h"
#include "writers/ImageWriters.h"

namespace rastra {

namespace {

// The output TYPE that writes a file of the reader's type again; 0 for the
// types no writer makes.
int OutputTypeOfFile(int fileType) {
  switch (fileType) {
    case kFileTypeBmp: return kOutputBmp;
    case kFileTypeGif: return kOutputGif;
    case kFileTypePng: return kOutputPng;
    default: return 0;
  }
}
}  // namespace

void PushUndo() {
  CommandSession session = ProcessSession();
  PushUndo(session);
}

void PushUndo(CommandSession& session) {
  ImageDocument& doc = session.doc;
  if (!doc.current) return;
  sys::Context ctx = MakeJobContext();
  // An undo state is this very picture, whose transparent entry must come
  // back with it.
  BitmapPtr copy = Bitmap_Clone(*doc.current, ctx);
  session.ReportJob(ctx);
  PushUndoImage(doc, std::move(copy));
}

Bitmap* OpenImageFile(const std::string& path) {
  CommandSession session = ProcessSession();
  return OpenImageFile(session, path);
}

Bitmap* OpenImageFile(CommandSession& session, const std::string& path) {
  return AdoptOpenedImage(session.doc, ReadImageFile(session, path), path);
}

OpenedImage ReadImageFile(CommandSession& session, const std::string& path) {
  const SubjectScope subject(session, path);
  session.reads.push_back(path);
  sys::Context ctx = MakeJobContext();
  PathRead file;
  ReadResult result = LoadImagePath(path, session.readOptions, ctx, file);
  // "File not found." says all for a missing file; a name the system
  // refuses (too long, a folder, not readable) is told why.
  std::vector<std::pair<int, std::string>> details;
  if (!file.openFailure.empty() && file.openFailure != std::strerror(ENOENT)) {
    details.emplace_back(kFileNotFoundMessage, file.openFailure);
  }
  session.ReportJob(ctx, details);
  OpenedImage opened{std::move(result.image), result.frames, result.fileType,
                     result.orientationApplied ? 1 : result.orientation, nullptr};
  if (opened.image && opened.fileType == kFileTypeGif) {
    opened.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(file.bytes));
  }
  return opened;
}

Bitmap* AdoptOpenedImage(ImageDocument& doc, OpenedImage opened, const std::string& path) {
  if (!opened.image) return nullptr;
  StartNewHistory(doc);
  doc.current = std::move(opened.image);
  doc.sourcePath = path;
  doc.sourceFrames = opened.frames;
  doc.sourceOrientation = opened.storedOrientation;
  doc.sourceBytes = std::move(opened.bytes);
  doc.state = ImageState{ImageOrigin::kFile, ++doc.lastRevision};
  doc.savedRevision = doc.state.revision;
  doc.saveTarget = SaveTarget{doc.sourcePath, OutputTypeOfFile(opened.fileType), 0, 0};
  return doc.current.get();
}

}  // namespace rastra

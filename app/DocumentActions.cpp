#include "app/DocumentActions.h"

#include <utility>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Session.h"
#include "readers/ImageReaders.h"

namespace rastra {

namespace {
constexpr std::size_t kMaxSourcePath = 255;
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
  ImageDocument& doc = session.doc;
  const SubjectScope subject(session, path);
  session.reads.push_back(path);
  sys::Context ctx = MakeJobContext();
  ReadResult result = LoadImagePath(path, JobReadOptions(), ctx);
  session.ReportJob(ctx);
  if (!result.image) return nullptr;

  StartNewHistory(doc);
  doc.current = std::move(result.image);
  doc.sourcePath = path.substr(0, kMaxSourcePath);
  doc.sourceFrames = result.frames;
  doc.state = ImageState{ImageOrigin::kFile, ++doc.lastRevision};
  doc.savedRevision = doc.state.revision;
  return doc.current.get();
}

}  // namespace rastra

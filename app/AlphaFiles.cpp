#include "app/AlphaFiles.h"

#include <vector>

#include "app/Report.h"
#include "app/Session.h"
#include "image/Alpha.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace rastra {

namespace {

// The pictures are read as the session reads any, but never turned: they
// must lie over each other (and over the current picture) pixel for pixel.
BitmapPtr LoadAsWindowsBitmap(const CommandSession& session, const std::string& path, sys::Context& ctx) {
  auto file = sys::File::OpenRead(path);
  if (!file) return nullptr;
  ReadOptions options = session.readOptions;
  options.applyOrientation = false;
  return LoadImageFile(*file, kFileTypeBmp, options, ctx).image;
}

// Pictures of different sizes are pointed out in a message box; a batch run
// shows nothing for them.
void ReportAlphaJob(CommandSession& session, sys::Context& ctx) {
  std::vector<sys::Message> messages = ctx.TakeMessages();
  if (session.batch) {
    std::erase_if(messages, [](const sys::Message& m) { return m.code == sys::Code::kBadArgument; });
  }
  session.ReportMessages(messages);
}

bool AllExist(CommandSession& session, std::initializer_list<const std::string*> paths) {
  for (const std::string* path : paths) {
    if (!sys::FileExists(*path)) {
      ReportEntry entry = session.WithSubjects(MessageEntry(20), {});  // "File not found."
      entry.detail = *path + " does not exist";                          // for the message box
      session.sink.Add(std::move(entry));
      return false;
    }
  }
  return true;
}

}  // namespace

BitmapPtr CreateAlphaFromFiles(const std::string& overBlack, const std::string& overWhite) {
  CommandSession session = ProcessSession();
  return CreateAlphaFromFiles(session, overBlack, overWhite);
}

BitmapPtr LoadAlphaMaskFile(const Bitmap& current, const std::string& mask) {
  CommandSession session = ProcessSession();
  return LoadAlphaMaskFile(session, current, mask);
}

BitmapPtr CreateAlphaFromFiles(CommandSession& session, const std::string& overBlack, const std::string& overWhite) {
  if (!AllExist(session, {&overBlack, &overWhite})) return nullptr;
  sys::Context ctx = MakeJobContext();
  BitmapPtr black = LoadAsWindowsBitmap(session, overBlack, ctx);
  BitmapPtr white = black ? LoadAsWindowsBitmap(session, overWhite, ctx) : nullptr;
  BitmapPtr result = black && white ? CreateAlphaFromImages(*black, *white, ctx) : nullptr;
  ReportAlphaJob(session, ctx);
  return result;
}

BitmapPtr LoadAlphaMaskFile(CommandSession& session, const Bitmap& current, const std::string& mask) {
  if (!AllExist(session, {&mask})) return nullptr;
  sys::Context ctx = MakeJobContext();
  BitmapPtr maskImage = LoadAsWindowsBitmap(session, mask, ctx);
  BitmapPtr result = maskImage ? ApplyAlphaMask(current, *maskImage, ctx) : nullptr;
  ReportAlphaJob(session, ctx);
  return result;
}

}  // namespace rastra

#include "app/AlphaFiles.h"

#include <vector>

#include "app/Report.h"
#include "image/Alpha.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"

namespace rastra {

namespace {

BitmapPtr LoadAsWindowsBitmap(const std::string& path, sys::Context& ctx) {
  auto file = sys::File::OpenRead(path);
  if (!file) return nullptr;
  return LoadImageFile(*file, kFileTypeBmp, JobReadOptions(), ctx).image;
}

// Pictures of different sizes are pointed out in a message box; a batch run
// shows nothing for them.
void ReportAlphaJob(sys::Context& ctx) {
  std::vector<sys::Message> messages = ctx.TakeMessages();
  if (GetRunState().batchActive) {
    std::erase_if(messages, [](const sys::Message& m) { return m.code == sys::Code::kBadArgument; });
  }
  ReportMessages(messages);
}

bool AllExist(std::initializer_list<const std::string*> paths) {
  for (const std::string* path : paths) {
    if (!sys::FileExists(*path)) {
      ReportMessage(20);  // "File not found."
      return false;
    }
  }
  return true;
}

}  // namespace

BitmapPtr CreateAlphaFromFiles(const std::string& overBlack, const std::string& overWhite) {
  if (!AllExist({&overBlack, &overWhite})) return nullptr;
  sys::Context ctx = MakeJobContext();
  BitmapPtr black = LoadAsWindowsBitmap(overBlack, ctx);
  BitmapPtr white = black ? LoadAsWindowsBitmap(overWhite, ctx) : nullptr;
  BitmapPtr result = black && white ? CreateAlphaFromImages(*black, *white, ctx) : nullptr;
  ReportAlphaJob(ctx);
  return result;
}

BitmapPtr LoadAlphaMaskFile(const Bitmap& current, const std::string& mask) {
  if (!AllExist({&mask})) return nullptr;
  sys::Context ctx = MakeJobContext();
  BitmapPtr maskImage = LoadAsWindowsBitmap(mask, ctx);
  BitmapPtr result = maskImage ? ApplyAlphaMask(current, *maskImage, ctx) : nullptr;
  ReportAlphaJob(ctx);
  return result;
}

}  // namespace rastra

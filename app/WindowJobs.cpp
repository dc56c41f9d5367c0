#include "app/WindowJobs.h"

#include <fstream>
#include <utility>

#include "app/Commands.h"
#include "readers/ContentDescription.h"
#include "sys/Platform.h"
#include "writers/FormatRules.h"

namespace rastra {

bool CancellableSink::Write(const void* bytes, std::size_t count) {
  if (failed_ || cancelled_.load(std::memory_order_relaxed)) {
    failed_ = true;
    return false;
  }
  if (!target_.Write(bytes, count)) return false;
  const std::uint64_t before = count_ / kProgressBytes;
  count_ += count;
  if (progress_ && count_ / kProgressBytes != before) {
    progress_("Written " + std::to_string(count_ / kProgressBytes) + " MiB");
  }
  return true;
}

CopySaveResult SaveCopy(CommandSession& session, const Bitmap& image, const CopySaveRequest& request,
                        const std::atomic<bool>& cancelled) {
  const SubjectScope subject(session, request.path);
  CopySaveResult result;
  BitmapPtr converted;
  const Bitmap* toWrite = &image;
  if (TypeTakesFormat(request.type)) {
    sys::Context ctx = MakeJobContext();
    toWrite = ImageForFormat(image, request.spec.Format, request.options, converted, ctx);
    session.ReportJob(ctx);
    if (toWrite == nullptr || cancelled) return result;
  }
  std::string reason;
  auto output = sys::SafeOutputFile::Create(request.path, &reason);
  if (!output) {
    session.ReportText("Could not create file " + request.path, reason);
    return result;
  }
  sys::Context ctx = MakeJobContext();
  CancellableSink sink(output->Output(), cancelled, [&ctx](const std::string& text) { ctx.Progress(text); });
  // The writer's own conversion (GIF, PNG) comes back as its replacement,
  // which stays here: the picture in the window is not the file's business.
  const WriteResult written =
      WriteImageFile(toWrite, sink, request.path, request.spec, request.type, request.options, ctx);
  if (cancelled) return result;  // what failed did so because the user gave up
  session.ReportJob(ctx, FormatMismatchDetails(request.type, request.spec.Format, toWrite->NumColors));
  if (!written.Ok()) return result;
  result.bytes = sink.Count();
  result.written =
      session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry(CouldNotWriteText(request.path)), {}));
  return result;
}

std::string DescribeFileContent(const std::string& path) {
  std::ifstream file(sys::PathFromUtf8(path), std::ios::binary | std::ios::ate);
  if (!file) return {};
  const std::streamoff size = file.tellg();
  if (size < 0) return {};
  file.seekg(0);
  std::vector<std::uint8_t> head(kContentHeadBytes);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return DescribeContent(head, static_cast<std::uint64_t>(size));
}

}  // namespace rastra

#include "app/SharedPaletteRun.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <span>
#include <thread>

#include "app/Commands.h"
#include "app/DocumentActions.h"
#include "app/MemoryEstimate.h"
#include "app/MemoryGate.h"
#include "app/Parameters.h"
#include "app/Report.h"
#include "app/Session.h"
#include "image/ColorConvert.h"
#include "readers/PaletteFile.h"
#include "sys/File.h"
#include "sys/Path.h"
#include "writers/PaletteWriter.h"
#include "writers/SizeReport.h"
#include "writers/TextOutput.h"

namespace rastra {

namespace {

constexpr const char* kPaletteExtension = "GUIPal";

// The first pass shows no report and keeps no file: the images' jobs run the
// same commands again and show what they have to say.
class DiscardSink final : public JobSink {
 public:
  void Add(ReportEntry) override {}
  // The temporary file is removed with the output.
  bool Commit(sys::SafeOutputFile, ReportEntry) override { return true; }
};

// The size report prints, and leaving changes nothing.
bool MattersToTheImage(int id) { return id != kCmdSizeReport && id != kCmdExit && id != kCmdSharedPalette; }

struct ImageTally {
  std::optional<ColorTally> tally;  // none for an image that cannot be read
  bool memoryShort = false;
  bool company = false;  // another image was tallied beside it
};

ImageTally TallyImage(const std::string& image, const std::vector<QueuedCommand>& queue, std::size_t commandIndex,
                      const OutputOptions& options, const ReadOptions& readOptions) {
  DiscardSink sink;
  ImageDocument doc;
  CommandSession session(doc, sink, options);
  session.readOptions = readOptions;
  session.imageBaseName = sys::SplitPath(image).name;
  ImageTally result;
  try {
    OpenImageFile(session, image);
    for (std::size_t i = 0; i < commandIndex && doc.current; ++i) {
      if (!MattersToTheImage(queue[i].entry->id)) continue;
      session.cursor = ParameterCursor{queue[i].parameter};
      ExecuteCommand(session, queue[i].entry->id);
    }
    if (doc.current) result.tally = TallyColors(*doc.current);
  } catch (const std::bad_alloc&) {
    session.memoryShort = true;
    result.tally.reset();
  }
  result.memoryShort = session.memoryShort;
  return result;
}

// In image order, whatever order the workers finish in; images that cannot be
// read are left out. The images share memory as the run's jobs do (see
// RunImageJobs), so the palette is the one tallying them one after the
// other gives.
std::vector<ColorTally> TallyImages(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                                    std::size_t commandIndex, const OutputOptions& options,
                                    const ReadOptions& readOptions, unsigned workers) {
  MemoryGate gate(MemoryBudgetBytes());
  const std::span<const QueuedCommand> before(queue.data(), commandIndex);
  const auto tallyAdmitted = [&](std::size_t i, bool alone) {
    const MemoryGate::Pass pass =
        alone ? gate.EnterAlone(i) : gate.Enter(i, EstimateImageJob(images[i], before, readOptions));
    ImageTally result = TallyImage(images[i], queue, commandIndex, options, readOptions);
    result.company = gate.Leave(pass);
    return result;
  };
  std::vector<ImageTally> tallies(images.size());
  std::atomic<std::size_t> next{0};
  {
    const std::size_t threads = std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(images.size(), 1));
    std::vector<std::jthread> pool;
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i = next++; i < images.size(); i = next++) tallies[i] = tallyAdmitted(i, false);
      });
    }
  }
  std::vector<ColorTally> read;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (tallies[i].memoryShort && tallies[i].company) tallies[i] = tallyAdmitted(i, true);
    if (tallies[i].tally) read.push_back(std::move(*tallies[i].tally));
  }
  return read;
}

// As -convertintocustompalette reads it.
std::optional<PaletteRef> LoadPaletteFile(CommandSession& session, const std::string& name) {
  const SubjectScope subject(session, name);
  std::optional<sys::File> file = OpenPaletteFile(session, name);
  if (!file) return std::nullopt;
  PaletteRef palette;
  sys::Context ctx = MakeJobContext();
  const int failed = LoadPaletteFrom(*file, palette, ctx);
  session.ReportJob(ctx);
  if (failed != 0) return std::nullopt;
  return palette;
}

bool IsDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A name without directory lands beside sourcePath's image; P adds ".c", G
// ".GUIPal" to a name without extension.
std::string PaletteOutputPath(const std::string& name, char type, const std::string& sourcePath) {
  const std::string expanded = ExpandBaseName(name, sys::SplitPath(sourcePath).name);
  if (Upper(type) == 'P') return CompleteOutputPath(expanded, kOutputCBitmap, sourcePath);
  std::string path = CompleteOutputPath(expanded, 0, sourcePath);
  if (sys::SplitPath(path).extension.empty()) path += std::string(".") + kPaletteExtension;
  return path;
}

// The identifier of the first palette C file the queue writes, or "" when it
// writes none (or its name makes no identifier; that save then says why).
std::string PaletteFileIdentifier(const std::vector<QueuedCommand>& queue, const std::string& firstImage) {
  for (const QueuedCommand& command : queue) {
    if (command.entry->id != kCmdSaveAs) continue;
    DiscardSink sink;
    ImageDocument doc;
    CommandSession scratch(doc, sink, OutputOptions{});
    scratch.cursor = ParameterCursor{command.parameter};
    const std::string name = ReadString(scratch, kMaxSaveName, "");
    if (ReadChar(scratch) != ',' || Upper(ReadChar(scratch)) != 'P') continue;
    std::string identifier;
    sys::Context ctx;
    if (MakeIdentifier(PaletteOutputPath(name, 'P', firstImage), identifier, ctx) != 0) return "";
    return identifier;
  }
  return "";
}

SaveRecord PaletteSaveRecord(const CommandSession& session, const std::string& path, char type, int entries) {
  SaveRecord record;
  record.output = path;
  record.input = session.sharedPalette != nullptr ? "" : session.imagePath;
  record.commands = session.ran;
  record.type = std::string(1, type);
  record.palette = session.sharedPalette != nullptr ? "shared" : "own";
  if (type == 'P') {
    record.pixelBytes = 0;
    record.paletteBytes = std::int64_t{entries} * kPaletteEntryBytes;
    record.flashBytes = *record.paletteBytes + kLogPaletteBytes;
  }
  return record;
}

}  // namespace

std::optional<SharedPaletteRequest> ParseSharedPaletteParameter(const std::string& parameter) {
  SharedPaletteRequest request;
  if (parameter.empty()) return request;
  if (!IsDigits(parameter)) {
    request.paletteFile = parameter;
    return request;
  }
  if (parameter.size() > 3 || std::stoi(parameter) < 2 || std::stoi(parameter) > 256) return std::nullopt;
  request.maxColors = std::stoi(parameter);
  return request;
}

SharedPaletteRun PrepareSharedPalette(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                                      std::size_t commandIndex, const OutputOptions& options,
                                      const ReadOptions& readOptions, unsigned workers) {
  SharedPaletteRun run;
  run.firstImage = images.empty() ? std::string() : images.front();
  const QueuedCommand& command = queue[commandIndex];
  const std::optional<SharedPaletteRequest> request = ParseSharedPaletteParameter(command.parameter);
  if (!request) return run;  // refused while parsing
  run.maxColors = request->maxColors;
  run.paletteFile = request->paletteFile;

  ImmediateSink immediate;
  ImageDocument scratch;
  CommandSession session(scratch, immediate, options);
  const SubjectScope subject(session, command.argument, SubjectKind::kArgument);
  std::optional<PaletteRef> filePalette;
  if (!run.paletteFile.empty()) {
    filePalette = LoadPaletteFile(session, run.paletteFile);
    if (!filePalette) return run;
  }
  // A palette file needs the images only to know whether preserving
  // transparency marks any of them.
  const bool fileKeepsTransparency = filePalette && filePalette->colours[0] >> 24 == 0xFF;
  const bool needTallies = !filePalette || (options.preserveTrans && !fileKeepsTransparency);
  const std::vector<ColorTally> tallies =
      needTallies ? TallyImages(images, queue, commandIndex, options, readOptions, workers) : std::vector<ColorTally>{};
  if (filePalette) {
    run.palette = SharedPaletteFromFile(*filePalette, tallies, options.preserveTrans);
  } else {
    run.palette = BuildSharedPalette(tallies, run.maxColors, options.preserveTrans);
    if (!run.palette) session.ReportText("No image of the run has a pixel to build the shared palette of.");
  }
  if (run.palette) {
    run.reference.identifier = PaletteFileIdentifier(queue, run.firstImage);
    run.reference.palette = run.palette->palette;
    run.reference.hasTrans = run.palette->hasTrans;
  }
  return run;
}

bool IsPaletteSaveType(char type) { return Upper(type) == 'P' || Upper(type) == 'G'; }

void SavePaletteCommand(CommandSession& session, const std::string& name, char type) {
  type = Upper(type);
  PaletteRef palette;
  bool hasTrans = false;
  std::string sourcePath;
  if (session.sharedPalette != nullptr) {
    // Written once for the run, whatever became of the first image.
    if (!session.firstImage || !session.sharedPalette->palette) return;
    palette = session.sharedPalette->palette->palette;
    hasTrans = session.sharedPalette->palette->hasTrans;
    sourcePath = session.sharedPalette->firstImage;
  } else {
    const Bitmap* image = session.doc.current.get();
    if (image == nullptr) return;
    if (image->NumColors == 0) {
      session.ReportText("The image has no palette to save.", "convert it into a palette first");
      return;
    }
    palette = Bitmap_GetPalette(*image);
    hasTrans = image->HasTrans != 0;
    sourcePath = session.doc.sourcePath;
  }
  const std::string path = PaletteOutputPath(name, type, sourcePath);
  const SubjectScope subject(session, path);
  std::string reason;
  auto output = sys::SafeOutputFile::Create(path, &reason);
  if (!output) {
    session.ReportText("Could not create file " + path, reason);
    return;
  }
  sys::Context ctx = MakeJobContext();
  sys::Code code = sys::Code::kOk;
  if (type == 'P') {
    OutBuffer out(output->Output());
    code = WriteCPaletteFile(out, palette, hasTrans, path, session.options, ctx);
    if (code == sys::Code::kOk && !OutComplete(out)) code = sys::Code::kIo;
  } else {
    code = SavePaletteFile(palette, output->Output());
  }
  if (code == sys::Code::kIo) ctx.Fail(code, CouldNotWriteText(path));
  session.ReportJob(ctx);
  const bool complete = code == sys::Code::kOk;
  if (!complete) return;
  if (!session.sink.Commit(std::move(*output), session.WithSubjects(TextEntry(CouldNotWriteText(path)), {}))) return;
  if (session.recordSaves) session.saves.push_back(PaletteSaveRecord(session, path, type, palette.count));
}

void SharedPaletteCommand(CommandSession& session) {
  ImageDocument& doc = session.doc;
  sys::Context ctx = MakeJobContext();
  if (!doc.current) {
    // Only a run without images gets here: their jobs' images were opened.
    if (session.sharedPalette == nullptr) ctx.Fail(sys::Code::kNoImage, kNoOriginalBitmapText);
    session.ReportJob(ctx);
    return;
  }
  if (session.sharedPalette == nullptr || !session.sharedPalette->palette) return;  // why was said once
  BitmapPtr result = MapToSharedPalette(*doc.current, *session.sharedPalette->palette, session.options, ctx);
  session.ReportJob(ctx);
  if (result) doc.current = std::move(result);
}

}  // namespace rastra

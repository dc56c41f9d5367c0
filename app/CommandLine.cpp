#include "app/CommandLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "app/Commands.h"
#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "app/ImageJobs.h"
#include "app/LvglSave.h"
#include "app/Manifest.h"
#include "app/Report.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "app/SharedPaletteRun.h"
#include "image/Dither.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace rastra {


namespace {

constexpr int kSettingValueMessage = 27;
constexpr int kParseErrorMessage = 2;

// What the arguments ask for, gathered before anything runs.
struct RunPlan {
  std::vector<std::string> images;
  std::vector<QueuedCommand> queue;
  bool defaultSettings = false;
  std::optional<bool> useArgb, bigEndian, preserveTrans;  // the last one given wins
  std::optional<bool> pngGamma, smoothChroma, autoOrient;   // so here
  std::optional<std::size_t> sharedPaletteAt;             // the queue place of -sharedpalette
  FlashBudget budget;                                     // the last one given wins
  std::optional<std::uint64_t> maxOutput;                 // the last one given wins
  std::optional<DitherMethod> dither;                     // the last one given wins
  std::string manifest;
  std::vector<std::string> failedCommands;
  std::vector<std::string> misplacedImages;

  // Runs that use none of these run exactly as they always did.
  bool NeedsRunExtras() const { return sharedPaletteAt || budget.IsSet() || !manifest.empty(); }
};

// The composed text keeps the CR LF the dialog shows; on a text stream "\n"
// becomes the platform's line end.
void PrintHelp(const std::string& text) {
  std::string lines = text;
  std::erase(lines, '\r');
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  std::fflush(stdout);
}

HelpDisplay helpDisplay = PrintHelp;






bool QueueCommand(CommandSession& session, RunPlan& plan, const CommandEntry& entry, std::string parameter,
                  const std::string& argument) {
  const SubjectScope subject(session, argument, SubjectKind::kArgument);
  if (parameter.size() > kMaxParameterText) {
    session.ReportText("\"-" + std::string(entry.keyword) + "\": the parameter text is longer than 499 characters !");
    return false;
  }
  if (plan.queue.size() >= kQueueSlots) {
    session.ReportText("\"-" + std::string(entry.keyword) + "\": no more than 20 commands can be given !");
    return false;
  }
  plan.queue.push_back({&entry, std::move(parameter), argument});
  return true;
}

// The settings of a run (-useargb, -pnggamma and the like) take exactly "0"
// or "1".
bool ParseSetting(CommandSession& session, RunPlan& plan, const CommandEntry& entry, const std::string& parameter,
                  const std::string& argument) {
  if (parameter != "0" && parameter != "1") {
    const SubjectScope subject(session, argument, SubjectKind::kArgument);
    const std::string word = std::string("-") + entry.keyword;
    session.Report(kSettingValueMessage, word + "0 or " + word + "1");
    return false;
  }
  const bool on = parameter == "1";
  if (entry.id == kCmdUseArgb) plan.useArgb = on;
  if (entry.id == kCmdBigEndian) plan.bigEndian = on;
  if (entry.id == kCmdPreserveTrans) plan.preserveTrans = on;
  if (entry.id == kCmdPngGamma) plan.pngGamma = on;
  if (entry.id == kCmdSmoothChroma) plan.smoothChroma = on;
  if (entry.id == kCmdAutoOrient) plan.autoOrient = on;
  return true;
}

// One shared palette per run: its first pass sees every image at one place
// of the queue.
bool ParseSharedPalette(CommandSession& session, RunPlan& plan, const CommandEntry& entry,
                        const std::string& parameter, const std::string& argument) {
  const SubjectScope subject(session, argument, SubjectKind::kArgument);
  if (plan.sharedPaletteAt) {
    session.ReportText("Only one shared palette can be made in a run.", "give -sharedpalette once");
    return false;
  }
  if (!ParseSharedPaletteParameter(parameter)) {
    session.Report(kSharedPaletteColorsMessage, "2 to 256");
    return false;
  }
  plan.sharedPaletteAt = plan.queue.size();
  return QueueCommand(session, plan, entry, parameter, argument);
}

bool ParseRunOutputSetting(CommandSession& session, RunPlan& plan, const CommandEntry& entry,
                           const std::string& parameter, const std::string& argument) {
  const SubjectScope subject(session, argument, SubjectKind::kArgument);
  if (entry.id == kCmdManifest) {
    if (parameter.empty()) {
      session.ReportText("The manifest has no file name.", "-manifestFNAME");
      return false;
    }
    plan.manifest = parameter;
    return true;
  }
  const std::optional<FlashBudget> budget = ParseFlashBudget(parameter);
  if (!budget) {
    session.ReportText("A flash budget is a number of bytes.", "-flashbudgetBYTES, -flashbudget,TOTAL or both");
    return false;
  }
  plan.budget = *budget;
  return true;
}

// -maxoutput<BYTES>: the largest file any save of the run may write.
bool ParseMaxOutput(CommandSession& session, RunPlan& plan, const std::string& parameter,
                    const std::string& argument) {
  constexpr std::size_t kMaxDigits = 18;  // stays inside a 64-bit count
  const bool digits = !parameter.empty() && parameter.size() <= kMaxDigits &&
                      std::all_of(parameter.begin(), parameter.end(), [](char c) { return c >= '0' && c <= '9'; });
  const std::uint64_t bytes = digits ? std::stoull(parameter) : 0;
  if (bytes == 0) {
    const SubjectScope subject(session, argument, SubjectKind::kArgument);
    session.ReportText("The output limit is a number of bytes.", "-maxoutputBYTES, 1 to 18 digits, not 0");
    return false;
  }
  plan.maxOutput = bytes;
  return true;
}

// -dither[<METHOD>]: the dithering of every colour reduction of the run;
// the word alone is Floyd-Steinberg.
bool ParseDither(CommandSession& session, RunPlan& plan, const std::string& parameter, const std::string& argument) {
  DitherMethod method = DitherMethod::kFloydSteinberg;
  if (!parameter.empty() && !ParseDitherMethod(parameter, method)) {
    const SubjectScope subject(session, argument, SubjectKind::kArgument);
    session.ReportText("Unknown dithering method \"" + parameter + "\".",
                       "-dither, -ditherfs, -ditherserpentine, -ditherbayer4, -ditherbayer8 or -dithernone");
    return false;
  }
  plan.dither = method;
  return true;
}

// Help, -hide and the per-run settings act at once; the rest is queued.
bool ParseCommand(CommandSession& session, RunPlan& plan, const std::string& argument) {
  const std::string word = argument.substr(1);
  const CommandEntry* entry = LookupCommand(word);
  if (entry == nullptr) {
    const SubjectScope subject(session, argument, SubjectKind::kArgument);
    session.ReportText("\"" + word + "\" is not a valid command !", "rastra -help lists the commands");
    return false;
  }
  const std::string parameter = word.substr(std::strlen(entry->keyword));
  switch (entry->id) {
    case 0:
      helpDisplay(ComposeHelpText());
      return true;
    case kCmdHide:
      // No window will show, so the run ends as one with exit does, and the
      // reports from here on set the exit code the same way.
      GetRunState().windowHidden = true;
      GetRunState().exitQueued = true;
      return true;
    case kCmdUseArgb:
    case kCmdBigEndian:
    case kCmdPreserveTrans:
    case kCmdPngGamma:
    case kCmdSmoothChroma:
    case kCmdAutoOrient:
      return ParseSetting(session, plan, *entry, parameter, argument);
    case kCmdDefaultSettings:
      plan.defaultSettings = true;
      return true;
    case kCmdSharedPalette:
      return ParseSharedPalette(session, plan, *entry, parameter, argument);
    case kCmdFlashBudget:
    case kCmdManifest:
      return ParseRunOutputSetting(session, plan, *entry, parameter, argument);
    case kCmdMaxOutput:
      return ParseMaxOutput(session, plan, parameter, argument);
    case kCmdDither:
      return ParseDither(session, plan, parameter, argument);
    default:
      return QueueCommand(session, plan, *entry, parameter, argument);
  }
}

// A script that gives -exit or -hide must never be left waiting on a window,
// whatever else on its line fails to parse (a 21st command, a parameter too
// long, a misplaced image name): the arguments are looked at for them before
// any is parsed, and the reports of the run set the exit code from the start.
bool AsksForNoWindow(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
    if (arg.empty() || arg[0] != '-') return false;
    const CommandEntry* entry = LookupCommand(std::string_view(arg).substr(1));
    return entry != nullptr && (entry->id == kCmdExit || entry->id == kCmdHide);
  });
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) joined += (joined.empty() ? "" : " ") + argument;
  return joined;
}

// All leading arguments without "-" are images; one after the first command
// is a parsing failure. Empty arguments before the first command are no images.
RunPlan ParseArguments(CommandSession& session, const std::vector<std::string>& args) {
  RunPlan plan;
  bool commandSeen = false;
  for (const std::string& arg : args) {
    if (!arg.empty() && arg[0] == '-') {
      commandSeen = true;
      if (!ParseCommand(session, plan, arg)) plan.failedCommands.push_back(arg);
    } else if (commandSeen) {
      plan.misplacedImages.push_back(arg);
    } else if (!arg.empty()) {
      plan.images.push_back(arg);
    }
  }
  return plan;
}

void ReportParseFailure(CommandSession& session, const RunPlan& plan) {
  if (!plan.misplacedImages.empty()) {
    const SubjectScope subject(session, JoinArguments(plan.misplacedImages), SubjectKind::kArgument);
    session.Report(kParseErrorMessage, "image names come before the first command; nothing was run");
  } else {
    const SubjectScope subject(session, JoinArguments(plan.failedCommands), SubjectKind::kArgument);
    session.Report(kParseErrorMessage, "nothing was run");
  }
}

// Conversions and saves: the commands whose results depend on the output
// settings.
bool UsesOutputOptions(int id) {
  return id == 1203 || (id >= 1502 && id <= 1521) || id == 1711 || id == 1815 || id == kCmdSharedPalette ||
         id == kCmdConvertFinePalette;
}

// The stored settings, or the defaults, with the run's own on top. Nothing
// here is saved: the window, when it opens, works with the stored settings.
// The store is only opened when a command depends on a setting the run does
// not give itself, so such runs never load it.
OutputOptions RunOutputOptions(const RunPlan& plan) {
  const bool ownSettings = plan.defaultSettings || (plan.useArgb && plan.bigEndian && plan.preserveTrans);
  const bool needed = std::any_of(plan.queue.begin(), plan.queue.end(),
                                  [](const QueuedCommand& c) { return UsesOutputOptions(c.entry->id); });
  OutputOptions options = ownSettings || !needed ? OutputOptions{} : CurrentOutputOptions();
  if (plan.useArgb) options.useArgb = *plan.useArgb;
  if (plan.bigEndian) options.bigEndian = *plan.bigEndian;
  if (plan.preserveTrans) options.preserveTrans = *plan.preserveTrans;
  if (plan.maxOutput) options.maxOutputBytes = *plan.maxOutput;
  if (plan.dither) options.dither = *plan.dither;
  return options;
}

// LVGL's converter rounds 16-bit samples; a run that writes LVGL images
// reads its PNG files as that converter does.
bool IsLvglSave(const QueuedCommand& command) {
  if (command.entry->id != kCmdSaveAs) return false;
  const std::size_t comma = command.parameter.find(',', 1);
  return comma != std::string::npos && comma + 1 < command.parameter.size() &&
         IsLvglType(command.parameter[comma + 1] - '0');
}

// The same for reading the images: the stored settings are needed only when
// an image is read and the run does not give both of its own. No setting
// stores the orientation (the window asks per file), so it is off unless
// the run turns it on.
ReadOptions RunReadOptions(const RunPlan& plan) {
  const bool ownSettings = plan.defaultSettings || (plan.pngGamma && plan.smoothChroma);
  ReadOptions options = ownSettings || plan.images.empty() ? ReadOptionsFrom(Settings{}) : CurrentReadOptions();
  if (plan.pngGamma) options.applyGamma = *plan.pngGamma;
  if (plan.smoothChroma) options.smoothChroma = *plan.smoothChroma;
  options.applyOrientation = plan.autoOrient.value_or(false);
  options.roundSixteenBit = std::any_of(plan.queue.begin(), plan.queue.end(), IsLvglSave);
  return options;
}

std::string BaseName(const std::string& path) { return sys::SplitPath(path).name; }

void RunSingleImage(const RunPlan& plan, const OutputOptions& options, const ReadOptions& readOptions,
                    bool onlyImage) {
  ImmediateSink immediate;
  CommandSession session(GetDocument(), immediate, options);
  session.readOptions = readOptions;
  try {
    if (!plan.images.empty()) {
      session.imageBaseName = BaseName(plan.images[0]);
      OpenImageFile(session, plan.images[0]);
      if (onlyImage) GetRunState().batchActive = false;
    }
    if (GetRunState().batchActive) RunCommands(session, plan.queue);
  } catch (const std::bad_alloc&) {
    session.ReportOutOfMemory();
  }
  if (session.exitRequested) GetRunState().exitRequested = true;
}

// What the run's extras show after its images: why the saves were refused
// (then nothing, or nothing from the image that went over on, was written),
// or the manifest.
void FinishRunExtras(const RunPlan& plan, const OutputOptions& options, const SharedPaletteRun* shared,
                     const ImageJobsResult& result) {
  ImmediateSink immediate;
  ImageDocument scratch;
  CommandSession session(scratch, immediate, options);
  if (result.savesRefused) {
    // The last text says what was not written; an image that went over on
    // its second conversion says it for itself.
    const std::size_t shown = result.refusedFrom != 0 && !result.refusals.empty() ? result.refusals.size() - 1
                                                                                    : result.refusals.size();
    for (std::size_t i = 0; i < shown; ++i) session.ReportText(result.refusals[i]);
    if (result.refusedFrom != 0) {
      const SubjectScope subject(session, plan.images[result.refusedFrom], SubjectKind::kImage);
      session.ReportText("This image read an earlier image's output and went over when converted again: nothing "
                         "was written from it on.");
    }
    return;
  }
  if (plan.manifest.empty()) return;
  const SubjectScope subject(session, plan.manifest);
  std::string reason;
  auto output = sys::SafeOutputFile::Create(plan.manifest, &reason);
  if (!output) {
    session.ReportText("Could not create file " + plan.manifest, reason);
    return;
  }
  std::vector<std::string> unread;
  const std::string json = ManifestJson({options, plan.budget, shared}, result.saves, &unread);
  for (const std::string& text : unread) session.ReportText(text);
  if (!output->Output().Write(json.data(), json.size()) || !output->Commit()) {
    session.ReportText("Could not write file " + plan.manifest, output->FailureReason());
  }
}

// A manifest that would replace a file the run reads, or one of its outputs,
// would leave the run's record pointing at files that are gone.
std::vector<std::string> ManifestCollisions(const RunPlan& plan, const std::vector<std::string>& inputs,
                                            const std::vector<SaveRecord>& saves) {
  std::vector<std::string> texts;
  if (plan.manifest.empty()) return texts;
  const std::string manifest = sys::SameFileKey(plan.manifest);
  for (const std::string& input : inputs) {
    if (sys::SameFileKey(input) == manifest) {
      texts.push_back("The manifest " + plan.manifest + " would replace " + input + ", which the run reads.");
      texts.emplace_back("Nothing was written: give the manifest a name of its own.");
      return texts;
    }
  }
  for (const SaveRecord& save : saves) {
    if (sys::SameFileKey(save.output) == manifest) {
      texts.push_back("The manifest " + plan.manifest + " would replace " + save.output + ", an output of the run.");
      texts.emplace_back("Nothing was written: give the manifest a name of its own.");
      return texts;
    }
  }
  return texts;
}

// The files a run reads before it writes anything: its images and the
// palette file of its -sharedpalette.
std::vector<std::string> RunInputs(const RunPlan& plan) {
  std::vector<std::string> inputs = plan.images;
  if (plan.sharedPaletteAt) {
    const std::string& parameter = plan.queue[*plan.sharedPaletteAt].parameter;
    const std::optional<SharedPaletteRequest> request = ParseSharedPaletteParameter(parameter);
    if (request && !request->paletteFile.empty()) inputs.push_back(request->paletteFile);
  }
  return inputs;
}

// A run stopped before its images ran still ends as its -exit asks.
ImageJobsResult RefusedRun(const RunPlan& plan, std::vector<std::string> refusals) {
  ImageJobsResult refused;
  refused.savesRefused = true;
  refused.refusals = std::move(refusals);
  refused.exitRequested = std::any_of(plan.queue.begin(), plan.queue.end(),
                                      [](const QueuedCommand& c) { return c.entry->id == kCmdExit; });
  return refused;
}

// A run with a shared palette, a flash budget or a manifest: every image,
// even a single one, runs as a job whose saves are kept, the shared palette
// is made first, and the budget and the manifest approve the saves before
// any is written. A shared palette that cannot be made stops the run before
// it writes anything.
ImageJobsResult RunWithExtras(const RunPlan& plan, const OutputOptions& options, const ReadOptions& readOptions,
                              bool runCommands) {
  const std::vector<std::string> inputs = RunInputs(plan);
  if (std::vector<std::string> clash = ManifestCollisions(plan, inputs, {}); !clash.empty()) {
    ImageJobsResult refused = RefusedRun(plan, std::move(clash));
    FinishRunExtras(plan, options, nullptr, refused);
    return refused;
  }
  std::optional<SharedPaletteRun> shared;
  if (plan.sharedPaletteAt) {
    shared = PrepareSharedPalette(plan.images, plan.queue, *plan.sharedPaletteAt, options, readOptions,
                                  ImageJobWorkers());
    if (!shared->palette) {
      ImageJobsResult refused = RefusedRun(plan, {"Nothing was written: the shared palette could not be made."});
      FinishRunExtras(plan, options, nullptr, refused);
      return refused;
    }
  }
  ImageJobsExtras extras;
  extras.sharedPalette = shared ? &*shared : nullptr;
  extras.recordSaves = plan.budget.IsSet() || !plan.manifest.empty();
  extras.nameImages = plan.images.size() > 1;
  if (extras.recordSaves) {
    extras.approveSaves = [&](const std::vector<SaveRecord>& saves) {
      std::vector<std::string> texts = ManifestCollisions(plan, inputs, saves);
      if (!texts.empty()) return texts;
      texts = BudgetOverruns(plan.budget, saves);
      if (!texts.empty()) texts.emplace_back("Nothing was written: the C files are over the flash budget.");
      return texts;
    };
  }
  ImageJobsResult result =
      RunImageJobs(plan.images, plan.queue, options, readOptions, runCommands, ImageJobWorkers(), extras);
  FinishRunExtras(plan, options, extras.sharedPalette, result);
  return result;
}

}  // namespace

void SetHelpDisplay(HelpDisplay display) { helpDisplay = display != nullptr ? display : PrintHelp; }

bool ProcessCommandLine(const std::string& appName, const std::string& logFileName,
                        const std::vector<std::string>& args) {
  static_cast<void>(appName);  // the log's name says whose it is
  RunState& state = GetRunState();
  state.logFileName = logFileName;
  if (!args.empty()) state.batchActive = true;
  if (AsksForNoWindow(args)) state.exitQueued = true;

  ImmediateSink immediate;
  CommandSession parsing(GetDocument(), immediate, OutputOptions{});
  const RunPlan plan = ParseArguments(parsing, args);
  if (!plan.failedCommands.empty() || !plan.misplacedImages.empty()) {
    ReportParseFailure(parsing, plan);
    return false;
  }
  const OutputOptions options = RunOutputOptions(plan);
  const ReadOptions readOptions = RunReadOptions(plan);
  const bool onlyImages = args.size() == plan.images.size();
  if (plan.NeedsRunExtras() && !plan.images.empty()) {
    ImageJobsResult result = RunWithExtras(plan, options, readOptions, !onlyImages);
    GetDocument() = std::move(result.lastDocument);
    if (result.exitRequested) state.exitRequested = true;
  } else if (plan.images.size() <= 1) {
    RunSingleImage(plan, options, readOptions, onlyImages);
    if (plan.NeedsRunExtras()) FinishRunExtras(plan, options, nullptr, ImageJobsResult{});
  } else {
    ImageJobsResult result =
        RunImageJobs(plan.images, plan.queue, options, readOptions, !onlyImages, ImageJobWorkers());
    GetDocument() = std::move(result.lastDocument);
    if (result.exitRequested) state.exitRequested = true;
  }
  // The window asks whether to turn a picture its tag says is turned only
  // when the picture is as opened; commands decided what it is otherwise.
  if (!onlyImages) GetDocument().sourceOrientation = 1;
  state.batchActive = false;
  return true;
}

bool WindowHidden() { return GetRunState().windowHidden; }

}  // namespace rastra

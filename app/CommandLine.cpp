#include "app/CommandLine.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/ImageJobs.h"
#include "app/Report.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace rastra {

const std::array<CommandEntry, kCommandCount> CommandTable = {{
    {"convertintobw", 1502, "\t\tConverts image into BW"},
    {"convertintogray4", 1503, "\tConverts image into Gray4"},
    {"convertintogray16", 1504, "\tConverts image into Gray16"},
    {"convertintogray64", 1505, "\tConverts image into Gray64"},
    {"convertintogray256", 1506, "\tConverts image into Gray256"},
    {"convertinto111", 1507, "\t\tConverts image into 111"},
    {"convertinto222", 1508, "\t\tConverts image into 222"},
    {"convertinto233", 1509, "\t\tConverts image into 233"},
    {"convertinto323", 1510, "\t\tConverts image into 323"},
    {"convertinto332", 1511, "\t\tConverts image into 332"},
    {"convertinto8666", 1513, "\tConverts image into 8666"},
    {"convertinto444", 1514, "\t\tConverts image into 444"},
    {"convertinto555", 1515, "\t\tConverts image into 555"},
    {"convertinto565", 1516, "\t\tConverts image into 565"},
    {"convertintorgb", 1518, "\t\tConverts image into RGB"},
    {"convertintobestpalette", 1519, "\tConverts image into best palette"},
    {"convertintotranspalette", 1520, "\tConverts image into best palette + transparency"},
    {"convertintocustompalette", 1521,
     "\t<FNAME>\r\n\t\tConverts image into custom palette\r\n\t\t- FNAME:\r\n\t\tName of palette file to be used"},
    {"fliph", 1700, "\t\tFlips image horizontally"},
    {"flipv", 1701, "\t\tFlips image vertically"},
    {"hide", 1810, "\t\tHides the application window"},
    {"rotate90cw", 1702, "\t\tRotates image by 90 degrees CW"},
    {"rotate90ccw", 1703, "\t\tRotates image by 90 degrees CCW"},
    {"rotate180", 1704, "\t\tRotates image by 180 degrees"},
    {"invertindices", 1705, "\t\tInverts indices"},
    {"invertpalette", 1706, "\t\tInverts palette entries"},
    {"saveas", 1203,
     "\t\t<FNAME>,<TYPE>[,<FORMAT>[,<NOPALETTE>]]\r\n\t\tSave image file\r\n\t\t- FNAME:\r\n\t\tFilename to be "
     "used\r\n\t\t %n \t - Name of the image without extension\r\n\t\t- TYPE:\r\n\t\t 1  \t- C-bitmap "
     "file\r\n\t\t 2  \t- Windows Bitmap file\r\n\t\t 3  \t- C-stream\r\n\t\t 4  \t- GIF file\r\n\t\t 5  \t- "
     "PNG file\r\n\t\t 6  \t- Animated sprite (from a GIF)\r\n\t\t 7  \t- Animated cursor (from a GIF)\r\n\t\t- "
     "FORMAT: [C, C-stream or animation: 1, 2, 4, 5]\r\n\t\t 1  \t- "
     "1bpp\r\n\t\t 2  \t- 2bpp\r\n\t\t 4  \t- 4bpp\r\n\t\t 5  \t- 8bpp\r\n\t\t 6  \t- RLE4 compression\r\n\t\t 7  "
     "\t- RLE8 compression\r\n\t\t 8  \t- High color (565)\r\n\t\t 9  \t- High color (565), RB swap\r\n\t\t 10 "
     "\t- High color (555)\r\n\t\t 11 \t- High color (555), RB swap\r\n\t\t 12 \t- High color (565), "
     "compressed\r\n\t\t 13 \t- High color (565), RB swap, compr.\r\n\t\t 15 \t- True color with alpha, "
     "compr.\r\n\t\t 16 \t- True color with alpha\r\n\t\t 18 \t- Alpha channel, compr.\r\n\t\t 19 \t- 16bpp "
     "(444_12)\r\n\t\t 20 \t- 16bpp (444_12), RB swap\r\n\t\t 21 \t- 16bpp (444_12_1)\r\n\t\t 22 \t- 16bpp "
     "(444_12_1), RB swap\r\n\t\t 23 \t- 16bpp (444_16)\r\n\t\t 24 \t- 16bpp (444_16), RB swap\r\n\t\t 25 \t- High "
     "color with alpha (555)\r\n\t\t 26 \t- High color with alpha (555), RB swap\r\n\t\t 27 \t- High color with "
     "alpha (565)\r\n\t\t 28 \t- High color with alpha (565), RB swap\r\n\t\t 29 \t- True color with alpha, RB "
     "swap, alpha inverted\r\n\t\t 99 \t- True color with alpha, both variants\r\n\t\t- NOPALETTE:\r\n\t\t 0  \t - "
     "Save with palette (default)\r\n\t\t 1  \t - Save without palette"},
    {"scale", 1713,
     "\t\t<WIDTH[%]>,<HEIGHT[%]>\r\n\t\tScale image to desired size\r\n\t\t- WIDTH/HEIGHT:\r\n\t\tSize in pixels to "
     "be used\r\n\t\t [%] \t - Size in percent"},
    {"reducecolors", 1711,
     "\t\t<NUM_COLORS>\r\n\t\tReduce number of colors\r\n\t\t- NUM_COLORS:\r\n\t\tNumber of colors to be used"},
    {"transparency", 1501,
     "\t\t<COLOR>\r\n\t\tSets image transparency\r\n\t\t- COLOR:\r\n\t\tColor to be used as transparent color"},
    {"exit", 1210, "\t\tTerminates the Rastra"},
    {"help", 0, "\t\tDisplays this box"},
    {"?", 0, "\t\tDisplays this box"},
    {"useargb", 1811,
     "\t\t<0|1>\r\n\t\tSets ARGB palettes for this run\r\n\t\t 0  \t - Palette entries as ABGR\r\n\t\t 1  \t - "
     "Palette entries as ARGB"},
    {"bigendian", 1812,
     "\t<0|1>\r\n\t\tSets the byte order of C-streams for this run\r\n\t\t 0  \t - Little endian\r\n\t\t 1  \t - "
     "Big endian"},
    {"preservetrans", 1813,
     "\t<0|1>\r\n\t\tSets preserve transparency for this run\r\n\t\t 0  \t - Off\r\n\t\t 1  \t - Transparent "
     "pixels keep index 0"},
    {"defaultsettings", 1814, "\tIgnores the stored settings in this run"},
    {"sizereport", 1815,
     "\t\t[csv]\r\n\t\tPrints the bytes each FORMAT takes for the image\r\n\t\t- csv:\r\n\t\tComma-separated "
     "values instead of a table"},
}};

namespace {

constexpr int kHideId = 1810;
constexpr int kExitId = 1210;
constexpr int kSizeReportId = 1815;
constexpr int kUseArgbId = 1811;
constexpr int kBigEndianId = 1812;
constexpr int kPreserveTransId = 1813;
constexpr int kDefaultSettingsId = 1814;
constexpr int kSettingValueMessage = 27;
constexpr int kParseErrorMessage = 2;

// What the arguments ask for, gathered before anything runs.
struct RunPlan {
  std::vector<std::string> images;
  std::vector<QueuedCommand> queue;
  bool defaultSettings = false;
  std::optional<bool> useArgb, bigEndian, preserveTrans;  // the last one given wins
  std::vector<std::string> failedCommands;
  std::vector<std::string> misplacedImages;
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

bool IsOneOf(char c, const char* set) { return c != 0 && std::strchr(set, c) != nullptr; }

// Copies characters of the set; stoppers end the value once something is copied.
// Returns nullopt after reporting a character outside the set.
std::optional<std::string> CopyWhile(CommandSession& session, const char* set, const char* stoppers,
                                     int notInSetMessage, const std::string& usage) {
  std::string copied;
  for (char c = GetParameterChar(session); c != 0; c = GetParameterChar(session)) {
    if (!IsOneOf(c, set)) {
      session.cursor.parseError = true;
      session.Report(notInSetMessage, usage);
      return std::nullopt;
    }
    if (!copied.empty() && IsOneOf(c, stoppers)) break;
    copied += ReadChar(session);
  }
  return copied;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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
  if (entry.id == kExitId) GetRunState().exitQueued = true;
  return true;
}

// -useargb, -bigendian and -preservetrans take exactly "0" or "1".
bool ParseSetting(CommandSession& session, RunPlan& plan, const CommandEntry& entry, const std::string& parameter,
                  const std::string& argument) {
  if (parameter != "0" && parameter != "1") {
    const SubjectScope subject(session, argument, SubjectKind::kArgument);
    const std::string word = std::string("-") + entry.keyword;
    session.Report(kSettingValueMessage, word + "0 or " + word + "1");
    return false;
  }
  const bool on = parameter == "1";
  if (entry.id == kUseArgbId) plan.useArgb = on;
  if (entry.id == kBigEndianId) plan.bigEndian = on;
  if (entry.id == kPreserveTransId) plan.preserveTrans = on;
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
    case kHideId:
      // No window will show, so the run ends as one with exit does, and the
      // reports from here on set the exit code the same way.
      GetRunState().windowHidden = true;
      GetRunState().exitQueued = true;
      return true;
    case kUseArgbId:
    case kBigEndianId:
    case kPreserveTransId:
      return ParseSetting(session, plan, *entry, parameter, argument);
    case kDefaultSettingsId:
      plan.defaultSettings = true;
      return true;
    default:
      return QueueCommand(session, plan, *entry, parameter, argument);
  }
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
bool UsesOutputOptions(int id) { return id == 1203 || (id >= 1502 && id <= 1521) || id == 1711 || id == 1815; }

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
  return options;
}

// Conversions and edits: what an animation save repeats on every frame.
bool IsFrameCommand(int id) { return (id >= 1501 && id <= 1521) || (id >= 1700 && id <= 1713); }

std::string BaseName(const std::string& path) { return sys::SplitPath(path).name; }

void RunSingleImage(const RunPlan& plan, const OutputOptions& options, bool onlyImage) {
  ImmediateSink immediate;
  CommandSession session(GetDocument(), immediate, options);
  if (!plan.images.empty()) {
    session.imageBaseName = BaseName(plan.images[0]);
    OpenImageFile(session, plan.images[0]);
    if (onlyImage) GetRunState().batchActive = false;
  }
  if (GetRunState().batchActive) RunCommands(session, plan.queue);
  if (session.exitRequested) GetRunState().exitRequested = true;
}

}  // namespace

const CommandEntry* LookupCommand(std::string_view word) {
  for (const CommandEntry& entry : CommandTable) {
    if (word.starts_with(entry.keyword)) return &entry;
  }
  return nullptr;
}

std::string ComposeHelpText() {
  std::string text;
  for (const CommandEntry& entry : CommandTable) {
    text += "-";
    text += entry.keyword;
    text += entry.help;
    text += "\r\n";
  }
  return text;
}

void SetHelpDisplay(HelpDisplay display) { helpDisplay = display != nullptr ? display : PrintHelp; }

bool ProcessCommandLine(const std::string& appName, const std::string& logFileName,
                        const std::vector<std::string>& args) {
  static_cast<void>(appName);  // the log's name says whose it is
  RunState& state = GetRunState();
  state.logFileName = logFileName;
  if (!args.empty()) state.batchActive = true;

  ImmediateSink immediate;
  CommandSession parsing(GetDocument(), immediate, OutputOptions{});
  const RunPlan plan = ParseArguments(parsing, args);
  if (!plan.failedCommands.empty() || !plan.misplacedImages.empty()) {
    ReportParseFailure(parsing, plan);
    return false;
  }
  const OutputOptions options = RunOutputOptions(plan);
  const bool onlyImages = args.size() == plan.images.size();
  if (plan.images.size() <= 1) {
    RunSingleImage(plan, options, onlyImages);
  } else {
    ImageJobsResult result = RunImageJobs(plan.images, plan.queue, options, !onlyImages, ImageJobWorkers());
    GetDocument() = std::move(result.lastDocument);
    if (result.exitRequested) state.exitRequested = true;
  }
  state.batchActive = false;
  return true;
}

void RunCommands(CommandSession& session, const std::vector<QueuedCommand>& queue) {
  for (const QueuedCommand& command : queue) {
    const SubjectScope subject(session, command.argument, SubjectKind::kArgument);
    session.cursor = ParameterCursor{command.parameter};
    ExecuteCommand(session, command.entry->id);
    if (IsFrameCommand(command.entry->id)) {
      session.history.push_back({command.entry->id, command.parameter, command.argument});
    }
  }
}

bool ParseErrorFlag(const CommandSession& session) { return session.cursor.parseError; }

bool WindowHidden() { return GetRunState().windowHidden; }

char GetParameterChar(const CommandSession& session) {
  const ParameterCursor& cursor = session.cursor;
  return cursor.position < cursor.text.size() ? cursor.text[cursor.position] : '\0';
}

char ReadChar(CommandSession& session) {
  const char c = GetParameterChar(session);
  if (c != 0) ++session.cursor.position;
  return c;
}

std::string ReadString(CommandSession& session, std::size_t maximum, const std::string& usage) {
  session.cursor.parseError = false;
  std::string copied;
  for (char c = GetParameterChar(session); c != 0; c = GetParameterChar(session)) {
    if (c == ',' && !copied.empty()) break;
    if (copied.size() >= maximum) {
      session.cursor.parseError = true;
      session.Report(5, "at most " + std::to_string(maximum) + " characters");
      return copied;
    }
    copied += ReadChar(session);
  }
  if (copied.empty()) {
    session.cursor.parseError = true;
    session.Report(6, usage);
  }
  return copied;
}

long ReadDecimal(CommandSession& session, const std::string& usage) {
  session.cursor.parseError = false;
  const auto copied = CopyWhile(session, "01234567890-,%", "%,-", 23, usage);
  if (!copied) return -1;
  if (copied->empty()) {
    session.cursor.parseError = true;
    session.Report(24, usage);
    return 0;
  }
  return std::strtol(copied->c_str(), nullptr, 10);
}

long ReadHex(CommandSession& session, const std::string& usage) {
  session.cursor.parseError = false;
  const auto copied = CopyWhile(session, "01234567890abcdefABCDEF-,", "-,", 3, usage);
  if (!copied) return -1;
  if (copied->empty()) {
    session.cursor.parseError = true;
    session.Report(4, usage);
    return 0;
  }
  std::size_t i = 0;
  const bool negative = (*copied)[0] == '-';
  if (negative) i = 1;
  long value = 0;
  for (; i < copied->size(); ++i) {
    const int digit = HexDigit((*copied)[i]);
    if (digit < 0) {
      session.cursor.parseError = true;
      session.Report(3, usage);
      return 0;
    }
    if (value > (0x7FFFFFFFL - digit) / 16) {  // more digits than any colour has
      session.cursor.parseError = true;
      session.Report(18);
      return -1;
    }
    value = value * 16 + digit;
  }
  return negative ? -value : value;
}

std::string CompleteOutputPath(const std::string& path, std::size_t capacity, int type,
                               const std::string& sourcePath) {
  static const char* const kExtensions[] = {"", "c", "bmp", "dta", "gif", "", "c", "c"};
  sys::PathParts parts = sys::SplitPath(path);
  const sys::PathParts source = sys::SplitPath(sourcePath);
  if (parts.drive.empty()) parts.drive = source.drive;
  if (parts.directory.empty()) parts.directory = source.directory;
  if (parts.name.empty()) parts.name = source.name;
  if (parts.extension.empty() && type >= 1 && type <= 7) parts.extension = kExtensions[type];
  std::string joined = sys::JoinPath(parts);
  return joined.size() > capacity ? path : joined;
}

void ExecuteCommand(CommandSession& session, int id) {
  if (id == 1203) {
    SaveAsCommand(session);
  } else if (id == kExitId) {
    session.exitRequested = true;
  } else if (id >= 1502 && id <= 1511) {
    RunConversion(session, id - 1502);
  } else if (id == 1513) {
    RunConversion(session, 10);
  } else if (id >= 1514 && id <= 1516) {
    RunConversion(session, id - 1514 + 11);
  } else if (id >= 1518 && id <= 1521) {
    RunConversion(session, id - 1518 + 14);
  } else if (id == kSizeReportId) {
    SizeReportCommand(session);
  } else {
    RunImageCommand(session, id);
  }
}

}  // namespace rastra

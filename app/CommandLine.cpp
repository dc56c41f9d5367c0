#include "app/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/Commands.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "sys/File.h"
#include "sys/Path.h"

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
     "used\r\n\t\t- TYPE:\r\n\t\t 1  \t- C-bitmap file\r\n\t\t 2  \t- Windows Bitmap file\r\n\t\t 3  \t- "
     "C-stream\r\n\t\t 4  \t- GIF file\r\n\t\t 5  \t- PNG file\r\n\t\t- FORMAT: [C or C-stream]\r\n\t\t 1  \t- "
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
    {"sizereport", 1815,
     "\t\t[csv]\r\n\t\tPrints the bytes each FORMAT takes for the image\r\n\t\t- csv:\r\n\t\tComma-separated "
     "values instead of a table"},
}};

namespace {

constexpr int kHideId = 1810;
constexpr int kExitId = 1210;
constexpr int kSizeReportId = 1815;

struct QueuedCommand {
  const CommandEntry* entry = nullptr;
  std::string parameter;
};

struct ProcessorState {
  std::vector<QueuedCommand> queue;
  std::string parameter;  // text of the running command
  std::size_t position = 0;
  bool parseError = false;
  bool hidden = false;
  std::string appName;
};

ProcessorState processor;

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

char PeekChar() { return processor.position < processor.parameter.size() ? processor.parameter[processor.position] : '\0'; }

// Copies characters of the set; stoppers end the value once something is copied.
// Returns nullopt after reporting a character outside the set.
std::optional<std::string> CopyWhile(const char* set, const char* stoppers, int notInSetMessage) {
  std::string copied;
  for (char c = PeekChar(); c != 0; c = PeekChar()) {
    if (!IsOneOf(c, set)) {
      processor.parseError = true;
      ReportMessage(notInSetMessage);
      return std::nullopt;
    }
    if (!copied.empty() && IsOneOf(c, stoppers)) break;
    copied += ReadChar();
  }
  return copied;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class ParseOutcome { Ok, Failed };

ParseOutcome QueueCommand(const CommandEntry& entry, std::string parameter) {
  if (parameter.size() > kMaxParameterText) {
    ReportText("\"-" + std::string(entry.keyword) + "\": the parameter text is longer than 499 characters !");
    return ParseOutcome::Failed;
  }
  if (processor.queue.size() >= kQueueSlots) {
    ReportText("\"-" + std::string(entry.keyword) + "\": no more than 20 commands can be given !");
    return ParseOutcome::Failed;
  }
  processor.queue.push_back({&entry, std::move(parameter)});
  if (entry.id == kExitId) GetRunState().exitQueued = true;
  return ParseOutcome::Ok;
}

ParseOutcome ParseCommand(const std::string& word) {
  const CommandEntry* entry = LookupCommand(word);
  if (entry == nullptr) {
    ReportText("\"" + word + "\" is not a valid command !");
    return ParseOutcome::Failed;
  }
  if (entry->id == 0) {
    helpDisplay(ComposeHelpText());
    return ParseOutcome::Ok;
  }
  if (entry->id == kHideId) {
    // No window will show, so the run ends as one with exit does, and the
    // reports from here on set the exit code the same way.
    processor.hidden = true;
    GetRunState().exitQueued = true;
    return ParseOutcome::Ok;
  }
  return QueueCommand(*entry, word.substr(std::strlen(entry->keyword)));
}

void RunQueue() {
  RunState& state = GetRunState();
  for (const QueuedCommand& command : processor.queue) {
    if (!state.batchActive) break;
    SetParameterText(command.parameter);
    ExecuteCommand(command.entry->id);
  }
  state.batchActive = false;
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
  RunState& state = GetRunState();
  processor = ProcessorState{};
  processor.appName = appName;
  state.logFileName = logFileName;
  if (!args.empty()) state.batchActive = true;

  std::string fileName;
  bool failed = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.empty() && arg[0] == '-') {
      failed |= ParseCommand(arg.substr(1)) == ParseOutcome::Failed;
    } else if (i == 0) {
      fileName = arg;
    } else {
      failed = true;
    }
  }
  if (failed) {
    ReportMessage(2);
    return false;
  }
  if (!fileName.empty()) {
    OpenImageFile(fileName);
    if (args.size() == 1) state.batchActive = false;
  }
  RunQueue();
  return true;
}

void SetParameterText(std::string text) {
  processor.parameter = std::move(text);
  processor.position = 0;
}

bool ParseErrorFlag() { return processor.parseError; }

bool WindowHidden() { return processor.hidden; }

char GetParameterChar() { return PeekChar(); }

char ReadChar() {
  const char c = PeekChar();
  if (c != 0) ++processor.position;
  return c;
}

std::string ReadString(std::size_t maximum) {
  processor.parseError = false;
  std::string copied;
  for (char c = PeekChar(); c != 0; c = PeekChar()) {
    if (c == ',' && !copied.empty()) break;
    if (copied.size() >= maximum) {
      processor.parseError = true;
      ReportMessage(5);
      return copied;
    }
    copied += ReadChar();
  }
  if (copied.empty()) {
    processor.parseError = true;
    ReportMessage(6);
  }
  return copied;
}

long ReadDecimal() {
  processor.parseError = false;
  const auto copied = CopyWhile("01234567890-,%", "%,-", 23);
  if (!copied) return -1;
  if (copied->empty()) {
    processor.parseError = true;
    ReportMessage(24);
    return 0;
  }
  return std::strtol(copied->c_str(), nullptr, 10);
}

long ReadHex() {
  processor.parseError = false;
  const auto copied = CopyWhile("01234567890abcdefABCDEF-,", "-,", 3);
  if (!copied) return -1;
  if (copied->empty()) {
    processor.parseError = true;
    ReportMessage(4);
    return 0;
  }
  std::size_t i = 0;
  const bool negative = (*copied)[0] == '-';
  if (negative) i = 1;
  long value = 0;
  for (; i < copied->size(); ++i) {
    const int digit = HexDigit((*copied)[i]);
    if (digit < 0) {
      processor.parseError = true;
      ReportMessage(3);
      return 0;
    }
    if (value > (0x7FFFFFFFL - digit) / 16) {  // more digits than any colour has
      processor.parseError = true;
      ReportMessage(18);
      return -1;
    }
    value = value * 16 + digit;
  }
  return negative ? -value : value;
}

std::string CompleteOutputPath(const std::string& path, std::size_t capacity, int type) {
  static const char* const kExtensions[] = {"", "c", "bmp", "dta", "gif", ""};
  sys::PathParts parts = sys::SplitPath(path);
  const sys::PathParts source = sys::SplitPath(GetDocument().sourcePath);
  if (parts.drive.empty()) parts.drive = source.drive;
  if (parts.directory.empty()) parts.directory = source.directory;
  if (parts.name.empty()) parts.name = source.name;
  if (parts.extension.empty() && type >= 1 && type <= 5) parts.extension = kExtensions[type];
  std::string joined = sys::JoinPath(parts);
  return joined.size() > capacity ? path : joined;
}

void ExecuteCommand(int id) {
  if (id == 1203) {
    SaveAsCommand();
  } else if (id == kExitId) {
    GetRunState().exitRequested = true;
  } else if (id >= 1502 && id <= 1511) {
    RunConversion(id - 1502);
  } else if (id == 1513) {
    RunConversion(10);
  } else if (id >= 1514 && id <= 1516) {
    RunConversion(id - 1514 + 11);
  } else if (id >= 1518 && id <= 1521) {
    RunConversion(id - 1518 + 14);
  } else if (id == kSizeReportId) {
    SizeReportCommand();
  } else {
    RunImageCommand(id);
  }
}

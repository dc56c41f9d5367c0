#include "app/Report.h"

#include <utility>

#include "sys/File.h"

namespace rastra {

namespace {
// The log was always written in binary, so its line end is spelled out: the
// platform's text line end, as a text file there has it.
#ifdef _WIN32
constexpr char kLogLineEnd[] = "\r\n";
#else
constexpr char kLogLineEnd[] = "\n";
#endif

RunState runState;
MessageBoxHook messageBoxHook = nullptr;
DetailedMessageBoxHook detailedMessageBoxHook = nullptr;
sys::ProgressFn progressHook;
thread_local sys::ProgressFn threadProgressHook;
ReadLimits jobLimits;

void ShowBox(const std::string& title, const std::string& text, const std::string& detail) {
  if (detailedMessageBoxHook != nullptr) {
    detailedMessageBoxHook(title, text, detail);
  } else if (messageBoxHook != nullptr) {
    messageBoxHook(title, text);
  } else {
    std::fprintf(stderr, "rastra: %s\n", sys::OneLine(text).c_str());
  }
}

void Report(const ReportEntry& entry) {
  RunState& state = runState;
  if (!state.batchActive) {
    ShowBox(entry.allocator ? "Error" : "Rastra", entry.text, entry.detail);
    return;
  }
  if (state.logFileName.empty()) return;
  // One line per report in both places, whatever a file name or a library
  // put into the text: a line break inside becomes a blank, so nothing of it
  // is lost, and no report runs into the next.
  if (state.echoToStderr) std::fprintf(stderr, "rastra: %s\n", sys::OneLine(entry.echo).c_str());
  if (state.log == nullptr) state.log = sys::OpenLogFile(state.logFileName);
  if (state.log != nullptr) {
    const std::string line = sys::OneLine(entry.text) + kLogLineEnd;
    std::fwrite(line.data(), 1, line.size(), state.log);
    std::fflush(state.log);
  }
  state.exitCode = state.exitQueued ? entry.codeWhenExitQueued : 0;
}
}  // namespace

const char* const MessageTable[kMessageCount] = {
    "Unknown error.",
    "Illegal FORMAT parameter.",
    "Error during command line parsing.",
    "The passed parameter is not a hex value.",
    "Hex value missing.",
    "String too long.",
    "String missing.",
    "The images are not of the same size.",
    "An image needs to be opened before it can be saved.",
    "Invalid separator.",
    "Illegal TYPE parameter.",
    "FORMAT does not match image.",
    "Illegal NOPALETTE parameter.",
    "Parameter NOPALETTE must be set to 1.",
    "Parameter NOPALETTE is invalid.",
    "Palettes are supported with up to 256 entries only.",
    "Invalid file handle.",
    "No palette. Transparency can not be create.",
    "Color needs to be of a value between 0x000000 and 0xFFFFFF.",
    "Color could not be found in the image.",
    "File not found.",
    "Error opening file.",
    "Can not retrieve DIB data from Clipboard.",
    "Not a decimal value.",
    "Missing value.",
    "Illegal size.",
    "Illegal number of colors.",
    "Setting must be 0 or 1.",
    "Animation needs a GIF file.",
    "GIF file is not animated.",
};

RunState& GetRunState() { return runState; }

void ResetRunState() {
  if (runState.log != nullptr) std::fclose(runState.log);
  runState = RunState{};
}

ReportEntry MessageEntry(int number) {
  if (number < 0 || number >= kMessageCount) number = 0;
  return {MessageTable[number], number + 1, MessageTable[number]};
}

ReportEntry TextEntry(const std::string& text) { return {text, 1, text}; }

void ShowReport(const ReportEntry& entry) { Report(entry); }

void ReportMessage(int number) { Report(MessageEntry(number)); }

void ReportText(const std::string& text) { Report(TextEntry(text)); }

void SetMessageBoxHook(MessageBoxHook hook) { messageBoxHook = hook; }
MessageBoxHook GetMessageBoxHook() { return messageBoxHook; }
void SetDetailedMessageBoxHook(DetailedMessageBoxHook hook) { detailedMessageBoxHook = hook; }

void ReportAllocationFailure(const std::string& text) {
  ReportEntry entry = TextEntry(text);
  entry.allocator = true;
  Report(entry);
}

sys::Context MakeJobContext() {
  sys::Context ctx(threadProgressHook ? threadProgressHook : progressHook);
  ctx.SetMaxBlockBytes(jobLimits.maxPixelBytes);
  return ctx;
}

void SetJobLimits(const ReadLimits& limits) { jobLimits = limits; }
const ReadLimits& JobLimits() { return jobLimits; }

void SetProgressHook(sys::ProgressFn hook) { progressHook = std::move(hook); }
void SetThreadProgressHook(sys::ProgressFn hook) { threadProgressHook = std::move(hook); }

void ReportJob(sys::Context& ctx) { ReportMessages(ctx.TakeMessages()); }

void ReportMessages(const std::vector<sys::Message>& messages) {
  for (const sys::Message& message : messages) {
    if (message.number != 0) {
      ReportMessage(message.number);
    } else if (message.allocator) {
      ReportAllocationFailure(message.text);
    } else {
      ReportText(message.text);
    }
  }
}

}  // namespace rastra

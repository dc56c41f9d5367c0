// The command-line processor: parses every argument, queues the commands,
// opens the image arguments and runs the queue on each before any window
// exists.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace rastra {

struct CommandSession;

struct CommandEntry {
  const char* keyword;
  int id;  // 0 marks the help commands
  const char* help;
};

inline constexpr int kCommandCount = 38;
extern const std::array<CommandEntry, kCommandCount> CommandTable;

inline constexpr int kQueueSlots = 20;
inline constexpr std::size_t kMaxParameterText = 499;

// The first row whose keyword is a prefix of word (case-sensitive), or null.
const CommandEntry* LookupCommand(std::string_view word);
std::string ComposeHelpText();

// A command as queued: its row, the text after its keyword, and the
// argument as given (reports name it).
struct QueuedCommand {
  const CommandEntry* entry = nullptr;
  std::string parameter;
  std::string argument;
};

// args excludes the program name. Returns false after a parsing error (then
// nothing was opened and no command ran).
bool ProcessCommandLine(const std::string& appName, const std::string& logFileName,
                        const std::vector<std::string>& args);
// Runs the queue on the session's document, in order; conversions and edits
// are remembered in the session's history for animation saves.
void RunCommands(CommandSession& session, const std::vector<QueuedCommand>& queue);
void ExecuteCommand(CommandSession& session, int id);
// True after -hide: the run shows no window and ends after its commands.
bool WindowHidden();

// The readers over the session's parameter cursor. Those that report take
// the usage they name in the report's detail.
bool ParseErrorFlag(const CommandSession& session);
char ReadChar(CommandSession& session);
// The next character without consuming it (0 at the end).
char GetParameterChar(const CommandSession& session);
// Copies up to a "," that follows at least one copied character.
std::string ReadString(CommandSession& session, std::size_t maximum, const std::string& usage);
long ReadDecimal(CommandSession& session, const std::string& usage);
long ReadHex(CommandSession& session, const std::string& usage);

// Fills in drive, directory and name from sourcePath (the document's) and
// the default extension of the output type; unchanged when the result would
// be longer than capacity.
std::string CompleteOutputPath(const std::string& path, std::size_t capacity, int type,
                               const std::string& sourcePath);

// Shows the composed help text; prints it to stdout unless a host replaces it.
using HelpDisplay = void (*)(const std::string& text);
void SetHelpDisplay(HelpDisplay display);

}  // namespace rastra

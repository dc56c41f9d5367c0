// The command-line processor: parses every argument, queues the commands,
// opens the file argument and runs the queue before any window exists.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

struct CommandEntry {
  const char* keyword;
  int id;  // 0 marks the help commands
  const char* help;
};

inline constexpr int kCommandCount = 34;
extern const std::array<CommandEntry, kCommandCount> CommandTable;

inline constexpr int kQueueSlots = 20;
inline constexpr std::size_t kMaxParameterText = 499;

// The first row whose keyword is a prefix of word (case-sensitive), or null.
const CommandEntry* LookupCommand(std::string_view word);
std::string ComposeHelpText();

// args excludes the program name. Returns false after a parsing error (then
// nothing was opened and no command ran).
bool ProcessCommandLine(const std::string& appName, const std::string& logFileName,
                        const std::vector<std::string>& args);
void ExecuteCommand(int id);
// True after -hide: the run shows no window and ends after its commands.
bool WindowHidden();

// The readers over the parameter text of the running command.
void SetParameterText(std::string text);
bool ParseErrorFlag();
char ReadChar();
// The next character without consuming it (0 at the end).
char GetParameterChar();
// Copies up to a "," that follows at least one copied character.
std::string ReadString(std::size_t maximum);
long ReadDecimal();
long ReadHex();

// Fills in drive, directory and name from the document's source path and the
// default extension of the output type; unchanged when the result would be
// longer than capacity.
std::string CompleteOutputPath(const std::string& path, std::size_t capacity, int type);

// Shows the composed help text; prints it to stdout unless a host replaces it.
using HelpDisplay = void (*)(const std::string& text);
void SetHelpDisplay(HelpDisplay display);


// Reading a command's parameter text from the front, the way every command
// of the command line takes its parameters. Readers that report name the
// usage in the report's detail.
#pragma once

#include <cstddef>
#include <string>

namespace rastra {

struct CommandSession;

bool ParseErrorFlag(const CommandSession& session);
char ReadChar(CommandSession& session);
// The next character without consuming it (0 at the end).
char GetParameterChar(const CommandSession& session);
// Copies up to a "," that follows at least one copied character.
std::string ReadString(CommandSession& session, std::size_t maximum, const std::string& usage);
long ReadDecimal(CommandSession& session, const std::string& usage);
long ReadHex(CommandSession& session, const std::string& usage);

}  // namespace rastra

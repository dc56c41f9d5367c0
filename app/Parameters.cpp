#include "app/Parameters.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/Session.h"

namespace rastra {

namespace {

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

}  // namespace

bool ParseErrorFlag(const CommandSession& session) { return session.cursor.parseError; }

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

}  // namespace rastra

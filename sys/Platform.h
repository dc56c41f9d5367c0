// What differs between the systems below the file calls: the program's
// arguments, the console, and paths, which are UTF-8 everywhere inside the
// program. On Windows they are turned into the wide form the system's file
// calls take, with the long form (\\?\) where a path passes MAX_PATH; on POSIX
// systems they are passed through as they are.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace rastra {

namespace sys {

// The arguments after the program's name, in UTF-8. On Windows they are read
// from the wide command line, so names in any language reach the program
// whole; elsewhere they are argv's own bytes.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Sets the console up for UTF-8 output (Windows); nothing elsewhere.
void PrepareConsole();

// A UTF-8 path as the standard library's path, and back.
std::filesystem::path PathFromUtf8(const std::string& path);
std::string Utf8FromPath(const std::filesystem::path& path);

// fopen on a UTF-8 path.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);

#ifdef _WIN32
// The UTF-16 form of a UTF-8 text, and back.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// The form of path the wide file calls take: made absolute and given the
// \\?\ (or \\?\UNC\) prefix when it is too long for the plain form.
std::wstring SystemPath(const std::string& path);
// The system's text for a Windows error code, without its line end.
std::string WindowsErrorText(unsigned long error);
#endif

}  // namespace sys

}  // namespace rastra

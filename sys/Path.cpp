#include "sys/Path.h"

#include "sys/Platform.h"

#include <filesystem>
#include <system_error>

namespace rastra {

namespace sys {
namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  std::string rest = path;
#ifdef _WIN32
  if (rest.size() >= 2 && rest[1] == ':') {
    parts.drive = rest.substr(0, 2);
    rest.erase(0, 2);
  }
#endif
  std::size_t nameStart = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (IsSeparator(rest[i])) nameStart = i + 1;
  }
  parts.directory = rest.substr(0, nameStart);
  const std::string file = rest.substr(nameStart);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    parts.name = file;
  } else {
    parts.name = file.substr(0, dot);
    parts.extension = file.substr(dot + 1);
  }
  return parts;
}

std::string JoinPath(const PathParts& parts) {
  std::string path = parts.drive + parts.directory + parts.name;
  if (!parts.extension.empty()) path += "." + parts.extension;
  return path;
}

std::string SameFileKey(const std::string& path) {
#ifdef __EMSCRIPTEN__
  // The page's module has no file system to ask: the files it names exist
  // only in the page, so their names are compared as written, tidied.
  return std::filesystem::path(path).lexically_normal().generic_string();
#else
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(PathFromUtf8(path), ec);
  return ec ? path : Utf8FromPath(canonical);
#endif
}

}  // namespace sys

}  // namespace rastra

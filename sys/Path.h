// Splitting paths into drive, directory, file name and extension and joining
// them again. On POSIX systems the drive part is always empty.
#pragma once

#include <string>

namespace rastra {

namespace sys {

struct PathParts {
  std::string drive;      // "C:" on Windows, empty elsewhere
  std::string directory;  // with its trailing separator, or empty
  std::string name;       // file name without extension
  std::string extension;  // without the dot, or empty
};

PathParts SplitPath(const std::string& path);
std::string JoinPath(const PathParts& parts);
// One spelling for every name of the same file ("./a.c", "a.c", a link to
// it), so names can be compared; the path as given when it cannot be made.
std::string SameFileKey(const std::string& path);

}  // namespace sys

}  // namespace rastra

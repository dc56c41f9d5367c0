// The program's name and version: the banner of generated files carries them,
// as do the window title and the about box.
#pragma once

#include <string>

namespace rastra {

namespace sys {

// "5.50", formed once from the major and minor numbers.
const std::string& VersionText();
const char* DisplayName();

}  // namespace sys

}  // namespace rastra

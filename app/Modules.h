// Modules the program loads on demand, so that a batch run does not pay for
// Qt: they live beside the program in the build tree, and in the library
// folder's "rastra" directory when installed.
#pragma once

#include <string>

namespace rastra {

// The entry symbol of module name (without prefix or suffix), or null with
// why in error.
void* LoadModuleEntry(const char* name, const char* symbol, std::string& error);

}  // namespace rastra

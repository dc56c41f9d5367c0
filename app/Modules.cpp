#include "app/Modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <system_error>

namespace rastra {

namespace {

namespace fs = std::filesystem;

// Where the running program is, from the kernel's link to it.
fs::path ProgramDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

}  // namespace

void* LoadModuleEntry(const char* name, const char* symbol, std::string& error) {
  const fs::path program = ProgramDirectory();
  const std::string file = std::string("lib") + name + ".so";
  const std::array<fs::path, 2> candidates = {program / file, program / RASTRA_MODULE_DIR_FROM_PROGRAM / file};
  error = "no module " + file + " beside " + program.string() + " or in " +
          (program / RASTRA_MODULE_DIR_FROM_PROGRAM).lexically_normal().string();
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (!fs::exists(candidate, ec)) continue;
    void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* reason = dlerror();
      error = reason != nullptr ? reason : "the module could not be loaded";
      return nullptr;
    }
    void* entry = dlsym(module, symbol);
    if (entry == nullptr) error = std::string(symbol) + " missing from " + candidate.string();
    // The module stays loaded for the rest of the run.
    return entry;
  }
  return nullptr;
}

}  // namespace rastra

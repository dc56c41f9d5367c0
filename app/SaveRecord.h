// What one save of a command-line run wrote, kept when the run checks a flash
// budget or writes a manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rastra {

struct SaveRecord {
  std::string output;                 // the file's path as completed
  std::string input;                  // the image argument; "" for the files of a shared palette
  std::vector<std::string> commands;  // the arguments run on the image, up to this save
  std::string type;                   // the -saveas TYPE: "1" to "7", "P" or "G"
  int format = 0;                     // FORMAT of C files and streams, else 0
  std::string palette = "none";       // "own", "shared" (declared from the palette's C file) or "none"
  // As the size report gives them, for C files and streams; flash only for
  // C files, which a flash budget counts.
  std::optional<std::int64_t> pixelBytes;
  std::optional<std::int64_t> paletteBytes;
  std::optional<std::int64_t> flashBytes;
  std::optional<std::int64_t> dtaBytes;
};

}  // namespace rastra

// Runs an argument vector made from the input through the command-line
// processor, in-process, as a batch run ending in -exit. The input is split
// at newlines and NUL bytes into at most 24 arguments. Every file the run
// touches lies in one private directory: the harness works there and refuses
// arguments that could name a file elsewhere.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "app/CommandLine.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "sys/File.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

constexpr std::size_t kMaxArguments = 24;

const std::vector<std::uint8_t>& SampleImage() {
  static const std::vector<std::uint8_t> bytes = [] {
    auto read = sys::ReadWholeFile(RASTRA_SOURCE_DIR "/samples/logo.bmp");
    if (!read) std::abort();
    return *read;
  }();
  return bytes;
}

// A palette file of eight colours for -convertintocustompalette.
std::vector<std::uint8_t> SamplePalette() {
  std::vector<std::uint8_t> bytes = {'L', 'u', 'm', 'a', 'r', 'P', 'a', 'l', 8, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) {
    const std::uint8_t colour[4] = {static_cast<std::uint8_t>((i & 1) * 255), static_cast<std::uint8_t>((i & 2) * 127),
                                    static_cast<std::uint8_t>((i & 4) * 63), 0};
    bytes.insert(bytes.end(), colour, colour + 4);
  }
  return bytes;
}

void WriteFile(const char* name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Empties the working directory and puts the sample files back, so that every
// run starts from the same files whatever the previous one saved.
void PrepareWorkDir() {
  static bool entered = false;
  if (!entered) {
    entered = true;
    SampleImage();
    if (chdir(FuzzTempDir().c_str()) != 0) std::abort();
  }
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) std::filesystem::remove_all(entry.path(), ec);
  WriteFile("logo.bmp", SampleImage());
  static const std::vector<std::uint8_t> palette = SamplePalette();
  WriteFile("pal.GUIPal", palette);
}

bool StaysInWorkDir(std::string_view argument) {
  return argument.find('/') == std::string_view::npos && argument.find("..") == std::string_view::npos;
}

bool SplitArguments(const std::uint8_t* data, std::size_t size, std::vector<std::string>& args) {
  std::string current;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n' || data[i] == 0) {
      if (args.size() >= kMaxArguments || !StaysInWorkDir(current)) return false;
      args.push_back(std::move(current));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QuietReports();
  // The harnesses' ceiling: small enough that -scale and the writers stay
  // fast, large enough for the sample picture in true colour several times over.
  SetJobLimits(FuzzReadLimits());
  SetHelpDisplay([](const std::string&) {});
  std::vector<std::string> args;
  if (!SplitArguments(data, size, args)) return 0;
  args.push_back("-exit");
  PrepareWorkDir();
  ResetRunState();
  ResetDocument();
  GetRunState().echoToStderr = false;
  ProcessCommandLine("rastra", "Rastra.log", args);
  ResetRunState();
  ResetDocument();
  return 0;
}

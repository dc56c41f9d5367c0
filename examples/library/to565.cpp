// to565 IMAGE OUTDIR: reads IMAGE into memory, dithers it to 565 and writes
// OUTDIR/NAME.c (a GUI_BITMAP bmNAME, FORMAT 8) from the C source the library
// hands back as a string, and OUTDIR/NAME.dta (a stream) straight to a file.
#include <rastra/rastra.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static int Fail(const rastra::Status& status) {
  std::fprintf(stderr, "to565: %s\n", status.text.c_str());
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: to565 IMAGE OUTDIR\n"), 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  auto loaded = rastra::LoadFromMemory(bytes.data(), bytes.size(), argv[1]);  // the name is a hint
  if (!loaded) return Fail(loaded);
  auto dithered = rastra::Dither(loaded.value, rastra::kFormat565);
  if (!dithered) return Fail(dithered);

  rastra::WriteOptions options;  // a C bitmap file; 565 pixels are FORMAT 8
  options.name = rastra::CIdentifierOf(argv[1]);
  auto source = rastra::Write(dithered.value, options);
  if (!source) return Fail(source);
  const std::string base = std::string(argv[2]) + "/" + options.name;
  std::ofstream(base + ".c", std::ios::binary) << source.value;

  options.type = rastra::kOutputCStream;
  const rastra::Status stream = rastra::WriteFile(dithered.value, base + ".dta", options);
  return stream ? 0 : Fail(stream);
}

// to565 IMAGE OUTDIR: loads IMAGE, dithers it to 565 and writes OUTDIR/NAME.c
// (GUI_BITMAP, FORMAT 8) and OUTDIR/NAME.dta with Rastra's core library only.
#include <cstdio>
#include <string>

#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "readers/ImageReaders.h"
#include "sys/File.h"
#include "sys/Path.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

// Everything the job had to say, then whether it went well.
bool Explain(const sys::Context& ctx, bool ok) {
  for (const sys::Message& m : ctx.Messages()) {
    std::fprintf(stderr, "to565: %s: %s\n", m.warning ? "warning" : "error", m.text.c_str());
  }
  return ok;
}

bool Save(const Bitmap& image, const std::string& path, int type, const OutputSpec& spec, sys::Context& ctx) {
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) return false;
  const WriteResult result = WriteImageFile(&image, output->Output(), path, spec, type, OutputOptions{}, ctx);
  return result.Ok() && output->Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: to565 IMAGE OUTDIR\n");
    return 2;
  }
  const std::string input = argv[1];
  sys::Context ctx;
  auto file = sys::File::OpenRead(input);
  if (!file) return Explain(ctx, false) ? 0 : 1;
  ReadResult read = LoadImageFile(*file, FileTypeFromExtension(input), ReadOptions{}, ctx);
  if (!read) return Explain(ctx, false) ? 0 : 1;
  BitmapPtr image = DitherToFormat(std::move(read.image), GetColorFormat(kFormat565), OutputOptions{}, ctx);
  if (!image) return Explain(ctx, false) ? 0 : 1;
  const std::string base = std::string(argv[2]) + "/" + sys::SplitPath(input).name;
  const bool saved = Save(*image, base + ".c", kOutputCBitmap, OutputSpec{8, 1}, ctx) &&
                     Save(*image, base + ".dta", kOutputCStream, OutputSpec{8, 1}, ctx);
  return Explain(ctx, saved) ? 0 : 1;
}

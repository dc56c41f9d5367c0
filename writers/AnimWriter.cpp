#include "writers/AnimWriter.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "writers/CBitmapWriter.h"
#include "writers/TextOutput.h"
#include "writers/WriterSupport.h"

namespace {

// A palette block written for frames on the global colour table.
struct SharedPalette {
  int owner = 0;  // the frame number in its name
  int hasTrans = 0;
  std::vector<std::uint8_t> entries;  // the Bitmap's palette bytes
};

// Carried from one call to the next of the same animation.
struct AnimWriterState {
  int remaining = 0;  // frames still expected after the last successful call; 0 idle
  int count = 0;      // frames of the animation being written
  // Frames on the global table share a palette only while their palettes are
  // equal: the decoder moves a frame's transparent entry to index 0, so a
  // frame with another transparent index (or none) needs its own block.
  std::vector<SharedPalette> globalPalettes;
  std::vector<int> paletteOwner;  // per frame: the number in the name of its palette
};

AnimWriterState& State() {
  static AnimWriterState state;
  return state;
}

void ReportAnimError(const char* reason) { writer_support::ReportWriteError("animation", reason); }

int DecimalDigits(long long value) {
  int digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

std::string Blanks(int count) { return std::string(static_cast<std::size_t>(count > 0 ? count : 0), ' '); }

// What one call works on, checked before anything is written.
struct FrameJob {
  const GifInfo* info = nullptr;
  const std::vector<GifFrame>* frames = nullptr;
  int count = 0;       // N
  int index = 0;       // the frame written by this call
  int toFollow = 0;    // a
  int type = 0;
  int bits = 0;
  int bytesPerLine = 0;
  std::string id;
  std::string countText;
  const Bitmap* bitmap = nullptr;
};

std::span<const std::uint8_t> PaletteBytes(const Bitmap& bitmap) {
  return {bitmap.pInfo.data() + 40, 4u * static_cast<std::size_t>(bitmap.NumColors)};
}

bool SamePalette(const SharedPalette& shared, const Bitmap& bitmap) {
  const auto bytes = PaletteBytes(bitmap);
  return shared.hasTrans == (bitmap.HasTrans != 0 ? 1 : 0) && shared.entries.size() == bytes.size() &&
         std::memcmp(shared.entries.data(), bytes.data(), bytes.size()) == 0;
}

void WriteAnimationHead(const FrameJob& job) {
  const std::string& id = job.id;
  OutSetColumn(0);
  WriteFileBanner(id, job.countText, *job.bitmap, job.type, std::to_string(job.info->TotalDelay));
  if (job.type == kOutputAnimSprite) {
    OutWrite("extern const GUI_BITMAP * apbm" + id + "[" + job.countText + "];\r\nextern const unsigned     aDelay" +
             id + "[" + job.countText + "];\r\n\r\n");
  } else {
    OutWrite("extern const GUI_CURSOR_ANIM Cursor" + id + ";\r\n\r\n");
  }
  WritePaletteComment();
}

// A frame with its own table gets its own palette. Frames on the global table
// share the block of the first of them with an equal palette, named by that
// frame's number (for the first global frame, FirstGlobalFrame).
void WriteFramePalette(const FrameJob& job, AnimWriterState& state) {
  const int local = (*job.frames)[static_cast<std::size_t>(job.index)].LocalTableFrame;
  int owner = job.index;
  if (local < 0) {
    for (const SharedPalette& shared : state.globalPalettes) {
      if (SamePalette(shared, *job.bitmap)) {
        state.paletteOwner[static_cast<std::size_t>(job.index)] = shared.owner;
        return;
      }
    }
    const auto bytes = PaletteBytes(*job.bitmap);
    state.globalPalettes.push_back({owner, job.bitmap->HasTrans != 0 ? 1 : 0, {bytes.begin(), bytes.end()}});
  }
  state.paletteOwner[static_cast<std::size_t>(job.index)] = owner;
  WritePaletteBlock(job.id + std::to_string(owner), *job.bitmap);
}

char* PutBitNames(char* p, std::uint32_t byte) {
  for (int bit = 7; bit >= 0; --bit) *p++ = ((byte >> bit) & 1) != 0 ? 'X' : '_';
  return p;
}

// Packed palette rows from the top, the first pixel of a byte in its top bits.
void WriteFrameData(const FrameJob& job) {
  OutWrite("static GUI_CONST_STORAGE unsigned char _ac" + job.id + std::to_string(job.index) + "[] = {\r\n");
  const Bitmap& image = *job.bitmap;
  const int bits = job.bits;
  const int perByte = 8 / bits;
  const std::uint32_t mask = (1u << bits) - 1;
  WrapWriter out;
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint8_t* row = image.Row(y);
    OutSetColumn(0);
    out.Wrapped("  ");
    for (int x = 0; x < image.XSize; x += perByte) {
      std::uint32_t byte = 0;
      for (int k = 0; k < perByte; ++k) {
        const std::uint32_t index = x + k < image.XSize ? row[x + k] & mask : 0;
        byte |= index << (8 - bits * (k + 1));
      }
      if (x != 0) out.Wrapped(", ");
      char text[16];
      char* p = bits == 1 ? PutBitNames(text, byte) : textfmt::PutHexByte(text, byte);
      out.Wrapped(text, static_cast<std::size_t>(p - text));
    }
    out.Plain(y + 1 < image.YSize ? ",\r\n" : "\r\n};\r\n\r\n");
  }
}

void WriteBitmapTable(const FrameJob& job, const AnimWriterState& state) {
  const std::string& id = job.id;
  const int countDigits = static_cast<int>(job.countText.size());
  OutWrite("static GUI_CONST_STORAGE GUI_BITMAP _abm" + id + "[] = {\r\n");
  for (int j = 0; j < job.count; ++j) {
    const int owner = state.paletteOwner[static_cast<std::size_t>(j)];
    const std::string palette =
        "(const GUI_LOGPALETTE *)&_Pal" + id + std::to_string(owner) + Blanks(countDigits - DecimalDigits(owner));
    const std::string data =
        "(const unsigned char *)_ac" + id + std::to_string(j) + "," + Blanks(countDigits - DecimalDigits(j));
    OutWrite("  { " + std::to_string(job.bitmap->XSize) + ", " + std::to_string(job.bitmap->YSize) + ", " +
             std::to_string(job.bytesPerLine) + ", " + std::to_string(job.bits) + ", " + data + " " + palette +
             " }" + (j + 1 < job.count ? ",\r\n" : "\r\n"));
  }
  OutWrite("};\r\n\r\n");
}

void WritePointerTable(const FrameJob& job) {
  const std::string& id = job.id;
  const int countDigits = static_cast<int>(job.countText.size());
  OutWrite(job.type == kOutputAnimSprite ? "const GUI_BITMAP * apbm" + id + "[] = {\r\n"
                                         : "static const GUI_BITMAP * _apbm" + id + "[] = {\r\n");
  OutSetColumn(0);
  for (int j = 0; j < job.count; ++j) {
    std::string element = "  &_abm" + id + "[" + std::to_string(j) + "]";
    if (j + 1 < job.count) element += ",";
    element += Blanks(countDigits - DecimalDigits(j));
    OutWriteWrapped(element, 100, 0);
  }
  OutWrite("\r\n};\r\n\r\n");
}

void WriteDelayTable(const FrameJob& job) {
  OutWrite(job.type == kOutputAnimSprite ? "const unsigned aDelay" + job.id + "[] = {\r\n"
                                         : "static const unsigned _aDelay" + job.id + "[] = {\r\n");
  OutSetColumn(0);
  for (int j = 0; j < job.count; ++j) {
    std::string element = (j == 0 ? "  " : " ") + std::to_string((*job.frames)[static_cast<std::size_t>(j)].Delay);
    if (j + 1 < job.count) element += ",";
    OutWriteWrapped(element, kWrapColumn, 1);
  }
  OutWrite("\r\n};\r\n\r\n");
}

// The comments of the member lines start in one column, after id length + 11
// characters.
void WriteCursorStructure(const FrameJob& job) {
  const std::string& id = job.id;
  const int length = static_cast<int>(id.size());
  const std::string zero = "  0," + Blanks(length + 7);
  OutWrite("const GUI_CURSOR_ANIM Cursor" + id + " = {\r\n");
  OutWrite("  _apbm" + id + "," + Blanks(3) + " // Pointer to an array of bitmaps\r\n");
  OutWrite(zero + " // x coordinate of the hot spot\r\n");
  OutWrite(zero + " // y coordinate of the hot spot\r\n");
  OutWrite(zero + " // Period, should be 0 here\r\n");
  OutWrite("  _aDelay" + id + ",  // Pointer to an array of periods\r\n");
  OutWrite("  " + job.countText + Blanks(length - static_cast<int>(job.countText.size()) + 9) +
           " // Number of images\r\n};\r\n\r\n");
}

void WriteAnimationTail(const FrameJob& job, const AnimWriterState& state) {
  WriteBitmapTable(job, state);
  WritePointerTable(job);
  WriteDelayTable(job);
  if (job.type == kOutputAnimCursor) WriteCursorStructure(job);
  OutWrite("/*************************** End of file ****************************/\r\n");
}

// A call for frame 0 always starts a new animation, so one abandoned
// part-way cannot make the next one lose its first frame; any other call must
// continue the animation being written.
bool InSequence(AnimWriterState& state, int toFollow, int count) {
  if (toFollow < 0 || toFollow >= count) return false;
  if (toFollow == count - 1) {
    state.remaining = 0;
    return true;
  }
  return state.remaining != 0 && toFollow == state.remaining - 1 && count == state.count;
}

bool IsPaletteFrame(const Bitmap& bitmap) {
  return writer_support::IsConsistent(bitmap) && bitmap.NumColors != 0 && bitmap.XSize > 0 && bitmap.YSize > 0;
}

}  // namespace

int WriteAnimFile(const OutputSpec& spec, const GifInfo& info, sys::File& file, const std::string& path,
                  int framesToFollow, std::vector<GifFrame>* frames, int type) {
  AnimWriterState& state = State();
  FrameJob job;
  job.info = &info;
  job.count = info.NumFrames;
  job.toFollow = framesToFollow;
  job.type = type;
  if (!InSequence(state, framesToFollow, job.count) || (type != kOutputAnimSprite && type != kOutputAnimCursor)) {
    state.remaining = 0;
    ReportAnimError("Frames out of sequence");
    return 1;
  }
  if (frames == nullptr || frames->size() < static_cast<std::size_t>(job.count)) {
    ReportAnimError("No frames");
    return 1;
  }
  job.frames = frames;
  job.index = job.count - framesToFollow - 1;
  job.bitmap = (*frames)[static_cast<std::size_t>(job.index)].pBitmap.get();
  if (job.bitmap == nullptr || !IsPaletteFrame(*job.bitmap)) {
    state.remaining = 0;
    ReportAnimError("Invalid frame");
    return 1;
  }

  OutSetPaletteFlag(spec.NoPalette == 0);
  FormatInfo format;
  if (GetFormatInfo(spec.Format, job.bitmap->NumColors, format) != 0) {
    ReportAnimError("Illegal FORMAT");
    return 1;
  }
  // Frames are written as packed palette indices; other FORMATs have no
  // data form here.
  if (format.compressed || 8 % format.bitsPerPixel != 0) {
    ReportAnimError("FORMAT does not match image");
    return 1;
  }
  job.bits = format.bitsPerPixel;
  job.bytesPerLine = static_cast<int>((std::int64_t{job.bitmap->XSize} * job.bits + 7) / 8);
  if (MakeIdentifier(path, job.id) != 0) {
    state.remaining = 0;
    return 1;
  }
  job.countText = std::to_string(job.count);

  OutAttach(file);
  if (state.remaining == 0) {
    state.count = job.count;
    state.globalPalettes.clear();
    state.paletteOwner.assign(static_cast<std::size_t>(job.count), 0);
    WriteAnimationHead(job);
  }
  WriteFramePalette(job, state);
  WriteFrameData(job);
  if (framesToFollow == 0) WriteAnimationTail(job, state);
  state.remaining = framesToFollow;
  if (OutFlush() == 0 || file.Failed()) {
    state.remaining = 0;
    ReportAnimError("Not all data could be written");
    return 1;
  }
  return 0;
}

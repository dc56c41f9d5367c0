#include "writers/AnimWriter.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "writers/CBitmapWriter.h"
#include "writers/OutputSize.h"
#include "writers/TextOutput.h"
#include "writers/WriterSupport.h"

namespace rastra {

namespace {

sys::Code ReportAnimError(sys::Context& ctx, const char* reason, sys::Code code) {
  return writer_support::ReportWriteError(ctx, "animation", reason, code);
}

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
  const OutputOptions* options = nullptr;
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

bool SamePalette(const AnimWriterState::SharedPalette& shared, const Bitmap& bitmap) {
  const auto bytes = PaletteBytes(bitmap);
  return shared.hasTrans == (bitmap.HasTrans != 0 ? 1 : 0) && shared.entries.size() == bytes.size() &&
         std::memcmp(shared.entries.data(), bytes.data(), bytes.size()) == 0;
}

void WriteAnimationHead(OutBuffer& out, const FrameJob& job) {
  const std::string& id = job.id;
  OutSetColumn(out, 0);
  WriteFileBanner(out, id, job.countText, *job.bitmap, job.type, std::to_string(job.info->TotalDelay));
  if (job.type == kOutputAnimSprite) {
    OutWrite(out, "extern const GUI_BITMAP * apbm" + id + "[" + job.countText + "];\r\nextern const unsigned     aDelay" +
             id + "[" + job.countText + "];\r\n\r\n");
  } else {
    OutWrite(out, "extern const GUI_CURSOR_ANIM Cursor" + id + ";\r\n\r\n");
  }
  WritePaletteComment(out);
}

// A frame with its own table gets its own palette. Frames on the global table
// share the block of the first of them with an equal palette, named by that
// frame's number (for the first global frame, FirstGlobalFrame).
const AnimWriterState::SharedPalette* SharedPaletteOf(const FrameJob& job, const AnimWriterState& state) {
  if ((*job.frames)[static_cast<std::size_t>(job.index)].LocalTableFrame >= 0) return nullptr;
  for (const AnimWriterState::SharedPalette& shared : state.globalPalettes) {
    if (SamePalette(shared, *job.bitmap)) return &shared;
  }
  return nullptr;
}

void WriteFramePalette(OutBuffer& out, const FrameJob& job, AnimWriterState& state) {
  const int local = (*job.frames)[static_cast<std::size_t>(job.index)].LocalTableFrame;
  int owner = job.index;
  if (local < 0) {
    if (const AnimWriterState::SharedPalette* shared = SharedPaletteOf(job, state)) {
      state.paletteOwner[static_cast<std::size_t>(job.index)] = shared->owner;
      return;
    }
    const auto bytes = PaletteBytes(*job.bitmap);
    state.globalPalettes.push_back({owner, job.bitmap->HasTrans != 0 ? 1 : 0, {bytes.begin(), bytes.end()}});
  }
  state.paletteOwner[static_cast<std::size_t>(job.index)] = owner;
  WritePaletteBlock(out, job.id + std::to_string(owner), *job.bitmap, *job.options);
}

char* PutBitNames(char* p, std::uint32_t byte) {
  for (int bit = 7; bit >= 0; --bit) *p++ = ((byte >> bit) & 1) != 0 ? 'X' : '_';
  return p;
}

// Packed palette rows from the top, the first pixel of a byte in its top bits.
void WriteFrameData(OutBuffer& buffer, const FrameJob& job) {
  OutWrite(buffer, "static GUI_CONST_STORAGE unsigned char _ac" + job.id + std::to_string(job.index) + "[] = {\r\n");
  const Bitmap& image = *job.bitmap;
  const int bits = job.bits;
  const int perByte = 8 / bits;
  const std::uint32_t mask = (1u << bits) - 1;
  WrapWriter out(buffer);
  for (int y = 0; y < image.YSize; ++y) {
    const std::uint64_t start = out.BytesSoFar();
    const std::uint8_t* row = image.Row(y);
    out.SetColumn(0);
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
    // Elements of one width: a count takes the rows between the first and
    // the last from the first.
    if (y == 0 && out.Counting() && image.YSize > 2) {
      out.AddCounted((out.BytesSoFar() - start) * static_cast<std::uint64_t>(image.YSize - 2));
      y = image.YSize - 2;
    }
  }
}

void WriteBitmapTable(OutBuffer& out, const FrameJob& job, const AnimWriterState& state) {
  const std::string& id = job.id;
  const int countDigits = static_cast<int>(job.countText.size());
  OutWrite(out, "static GUI_CONST_STORAGE GUI_BITMAP _abm" + id + "[] = {\r\n");
  for (int j = 0; j < job.count; ++j) {
    const int owner = state.paletteOwner[static_cast<std::size_t>(j)];
    const std::string palette =
        "(const GUI_LOGPALETTE *)&_Pal" + id + std::to_string(owner) + Blanks(countDigits - DecimalDigits(owner));
    const std::string data =
        "(const unsigned char *)_ac" + id + std::to_string(j) + "," + Blanks(countDigits - DecimalDigits(j));
    OutWrite(out, "  { " + std::to_string(job.bitmap->XSize) + ", " + std::to_string(job.bitmap->YSize) + ", " +
             std::to_string(job.bytesPerLine) + ", " + std::to_string(job.bits) + ", " + data + " " + palette +
             " }" + (j + 1 < job.count ? ",\r\n" : "\r\n"));
  }
  OutWrite(out, "};\r\n\r\n");
}

void WritePointerTable(OutBuffer& out, const FrameJob& job) {
  const std::string& id = job.id;
  const int countDigits = static_cast<int>(job.countText.size());
  OutWrite(out, job.type == kOutputAnimSprite ? "const GUI_BITMAP * apbm" + id + "[] = {\r\n"
                                         : "static const GUI_BITMAP * _apbm" + id + "[] = {\r\n");
  OutSetColumn(out, 0);
  for (int j = 0; j < job.count; ++j) {
    std::string element = "  &_abm" + id + "[" + std::to_string(j) + "]";
    if (j + 1 < job.count) element += ",";
    element += Blanks(countDigits - DecimalDigits(j));
    OutWriteWrapped(out, element, 100, 0);
  }
  OutWrite(out, "\r\n};\r\n\r\n");
}

void WriteDelayTable(OutBuffer& out, const FrameJob& job) {
  OutWrite(out, job.type == kOutputAnimSprite ? "const unsigned aDelay" + job.id + "[] = {\r\n"
                                         : "static const unsigned _aDelay" + job.id + "[] = {\r\n");
  OutSetColumn(out, 0);
  for (int j = 0; j < job.count; ++j) {
    std::string element = (j == 0 ? "  " : " ") + std::to_string((*job.frames)[static_cast<std::size_t>(j)].Delay);
    if (j + 1 < job.count) element += ",";
    OutWriteWrapped(out, element, kWrapColumn, 1);
  }
  OutWrite(out, "\r\n};\r\n\r\n");
}

// The comments of the member lines start in one column, after id length + 11
// characters.
void WriteCursorStructure(OutBuffer& out, const FrameJob& job) {
  const std::string& id = job.id;
  const int length = static_cast<int>(id.size());
  const std::string zero = "  0," + Blanks(length + 7);
  OutWrite(out, "const GUI_CURSOR_ANIM Cursor" + id + " = {\r\n");
  OutWrite(out, "  _apbm" + id + "," + Blanks(3) + " // Pointer to an array of bitmaps\r\n");
  OutWrite(out, zero + " // x coordinate of the hot spot\r\n");
  OutWrite(out, zero + " // y coordinate of the hot spot\r\n");
  OutWrite(out, zero + " // Period, should be 0 here\r\n");
  OutWrite(out, "  _aDelay" + id + ",  // Pointer to an array of periods\r\n");
  OutWrite(out, "  " + job.countText + Blanks(length - static_cast<int>(job.countText.size()) + 9) +
           " // Number of images\r\n};\r\n\r\n");
}

void WriteAnimationTail(OutBuffer& out, const FrameJob& job, const AnimWriterState& state) {
  WriteBitmapTable(out, job, state);
  WritePointerTable(out, job);
  WriteDelayTable(out, job);
  if (job.type == kOutputAnimCursor) WriteCursorStructure(out, job);
  OutWrite(out, "/*************************** End of file ****************************/\r\n");
}

struct CallBytes {
  std::uint64_t all = 0;   // what the call writes
  std::uint64_t data = 0;  // of it, the frame's data array
};

// What this call writes, counted by writing it into a buffer that keeps
// nothing. The tail's length does not depend on which frame owns which
// palette (the names are padded to one width), so the state as it stands
// serves.
CallBytes CountCall(const FrameJob& job, const AnimWriterState& state, bool writePalette) {
  sys::MemorySink nothing(false);
  OutBuffer probe(nothing);
  probe.counting = true;
  OutSetPaletteFlag(probe, writePalette);
  if (state.remaining == 0) WriteAnimationHead(probe, job);
  if (SharedPaletteOf(job, state) == nullptr) {
    WritePaletteBlock(probe, job.id + std::to_string(job.index), *job.bitmap, *job.options);
  }
  const std::uint64_t beforeData = OutBytesSoFar(probe);
  WriteFrameData(probe, job);
  CallBytes bytes;
  bytes.data = OutBytesSoFar(probe) - beforeData;
  if (job.toFollow == 0) WriteAnimationTail(probe, job, state);
  bytes.all = OutBytesSoFar(probe);
  return bytes;
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

int WriteAnimFile(AnimWriterState& state, OutBuffer& out, const OutputSpec& spec, const GifInfo& info,
                  const std::string& path, int framesToFollow, std::vector<GifFrame>* frames, int type,
                  const OutputOptions& options, sys::Context& ctx) {
  FrameJob job;
  job.info = &info;
  job.options = &options;
  job.count = static_cast<int>(info.NumFrames);
  job.toFollow = framesToFollow;
  job.type = type;
  if (!InSequence(state, framesToFollow, job.count) || (type != kOutputAnimSprite && type != kOutputAnimCursor)) {
    state.remaining = 0;
    ReportAnimError(ctx, "Frames out of sequence", sys::Code::kInternal);
    return 1;
  }
  if (frames == nullptr || frames->size() < static_cast<std::size_t>(job.count)) {
    ReportAnimError(ctx, "No frames", sys::Code::kInternal);
    return 1;
  }
  job.frames = frames;
  job.index = job.count - framesToFollow - 1;
  job.bitmap = (*frames)[static_cast<std::size_t>(job.index)].pBitmap.get();
  if (job.bitmap == nullptr || !IsPaletteFrame(*job.bitmap)) {
    state.remaining = 0;
    ReportAnimError(ctx, "Invalid frame", sys::Code::kNoImage);
    return 1;
  }

  OutSetPaletteFlag(out, spec.NoPalette == 0);
  FormatInfo format;
  if (GetFormatInfo(spec.Format, job.bitmap->NumColors, format) != 0) {
    ReportAnimError(ctx, "Illegal FORMAT", sys::Code::kBadFormat);
    return 1;
  }
  // Frames are written as packed palette indices; other FORMATs have no
  // data form here.
  if (format.compressed || 8 % format.bitsPerPixel != 0) {
    ReportAnimError(ctx, "FORMAT does not match image", sys::Code::kBadFormat);
    return 1;
  }
  job.bits = format.bitsPerPixel;
  job.bytesPerLine = static_cast<int>((std::int64_t{job.bitmap->XSize} * job.bits + 7) / 8);
  if (MakeIdentifier(path, job.id, ctx) != 0) {
    state.remaining = 0;
    return 1;
  }
  job.countText = std::to_string(job.count);

  if (state.remaining == 0) {
    state.count = job.count;
    state.globalPalettes.clear();
    state.paletteOwner.assign(static_cast<std::size_t>(job.count), 0);
    state.bytes = 0;
  }
  const CallBytes call = CountCall(job, state, OutPaletteFlag(out));
  const std::uint64_t least = state.bytes + call.all + static_cast<std::uint64_t>(framesToFollow) * call.data;
  if (least > options.maxOutputBytes) {
    state.remaining = 0;
    ctx.Fail(sys::Code::kLimit, OutputTooLargeText(least, options.maxOutputBytes, framesToFollow != 0));
    return 1;
  }
  if (state.remaining == 0) WriteAnimationHead(out, job);
  WriteFramePalette(out, job, state);
  WriteFrameData(out, job);
  if (framesToFollow == 0) WriteAnimationTail(out, job, state);
  state.remaining = framesToFollow;
  state.bytes += call.all;
  if (!OutComplete(out)) {
    state.remaining = 0;
    ReportAnimError(ctx, "Not all data could be written", sys::Code::kIo);
    return 1;
  }
  return 0;
}

}  // namespace rastra

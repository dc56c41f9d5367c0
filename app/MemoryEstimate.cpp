#include "app/MemoryEstimate.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "app/ImageDocument.h"
#include "readers/ImageReaders.h"
#include "sys/Memory.h"
#include "sys/Platform.h"
#include "writers/FormatRules.h"
#include "writers/ImageWriters.h"

namespace rastra {

namespace {

// A reader's state, tables, buffers: what every job takes however small.
constexpr std::uint64_t kJobBaseBytes = std::uint64_t{1} << 20;
// A file no header is recognised in is refused by every reader; what the
// refusal takes stays within a few times its bytes.
constexpr std::uint64_t kUnknownFileFactor = 4;
// The tables a mapping onto a palette keeps, as a share of the picture.
constexpr std::uint64_t kMappingShare = 4;

struct Picture {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool palette = false;
};

std::uint64_t Bytes(const Picture& p) { return PixelBlockBytes(p.width, p.height, p.palette ? 256 : 0); }
Picture AsPalette(Picture p) {
  p.palette = true;
  return p;
}
Picture AsTrueColor(Picture p) {
  p.palette = false;
  return p;
}

// The picture and what is held beside it, command by command.
class Simulation {
 public:
  void Open(const std::optional<ImageHeader>& header, std::uint64_t fileBytes, const ReadOptions& read) {
    if (!header) {
      peak_ = fileBytes * kUnknownFileFactor;
      return;
    }
    current_ = {header->width, header->height, header->palette};
    // A picture turned upright by its EXIF tag is a new one.
    const bool turns = read.applyOrientation && (header->fileType == kFileTypeJpeg || header->fileType == kFileTypePng);
    peak_ = fileBytes + header->workBytes + Bytes(current_) * (turns ? 2 : 1);
    // An animation save takes its frames from the GIF's bytes, kept with it.
    if (header->fileType == kFileTypeGif) held_ = fileBytes;
  }
  // next takes the current picture's place; work is held beside both meanwhile.
  void Replace(const Picture& next, std::uint64_t work = 0) {
    Hold(Bytes(next) + work);
    current_ = next;
  }
  // work is held beside the current picture for a while.
  void Hold(std::uint64_t work) { peak_ = std::max(peak_, held_ + Bytes(current_) + work); }
  // The current picture stays (as an undo state) when the next one comes.
  void Keep() { held_ += Bytes(current_); }
  const Picture& Current() const { return current_; }
  std::uint64_t Peak() const { return peak_ + kJobBaseBytes; }

 private:
  Picture current_;
  std::uint64_t held_ = 0;
  std::uint64_t peak_ = 0;
};

std::int64_t LeadingNumber(std::string_view text, std::size_t& pos) {
  std::int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && value < INT32_MAX) {
    value = value * 10 + (text[pos++] - '0');
  }
  return value;
}

// One size of -scale: pixels, or a percentage of size.
std::int64_t ScaledSize(std::string_view text, std::size_t& pos, std::int64_t size) {
  const std::int64_t value = LeadingNumber(text, pos);
  if (pos < text.size() && text[pos] == '%') {
    ++pos;
    return size * value / 100;
  }
  return value;
}

// The scaled picture is true colour, made through one of the new width and
// the old height; a parameter that does not read leaves the picture as is.
void Scale(Simulation& sim, std::string_view parameter) {
  const Picture now = sim.Current();
  std::size_t pos = 0;
  const std::int64_t width = ScaledSize(parameter, pos, now.width);
  if (pos >= parameter.size() || parameter[pos] != ',') return;
  ++pos;
  const std::int64_t height = ScaledSize(parameter, pos, now.height);
  if (width <= 0 || height <= 0) return;
  sim.Replace({width, height, false}, Bytes({width, now.height, false}));
}

// -saveas FNAME,TYPE[,FORMAT...]: the conversion the FORMAT asks for first,
// then what the writer holds (a true-colour copy at most; the GIF writer
// makes a palette picture of a true-colour one, which replaces it).
void Save(Simulation& sim, std::string_view parameter) {
  const std::size_t comma = parameter.find(',', 1);
  if (comma == std::string_view::npos || comma + 1 >= parameter.size()) return;
  const char type = parameter[comma + 1];
  std::size_t pos = comma + 3;
  const bool hasFormat = comma + 2 < parameter.size() && parameter[comma + 2] == ',';
  const int format = hasFormat ? static_cast<int>(LeadingNumber(parameter, pos)) : 0;
  const Picture now = sim.Current();
  const std::uint64_t trueColor = Bytes(AsTrueColor(now));
  switch (type) {
    case '1':
    case '3':
      if (now.palette && FormatTakesTrueColor(format)) {
        sim.Keep();
        sim.Replace(AsTrueColor(now));
      } else if (!now.palette && format >= 1 && format <= 7) {
        sim.Replace(AsPalette(now));
      }
      sim.Hold(trueColor);
      break;
    case '4':
      if (!now.palette) {
        sim.Keep();
        sim.Replace(AsPalette(now), trueColor / kMappingShare);
      }
      break;
    case '6':
    case '7':
      // A frame decoded, run through the commands and fitted to the FORMAT.
      sim.Hold(3 * trueColor);
      break;
    case '8':
    case '9':
      // LVGL: the picture as RGBA, the format's data, its compressed copy,
      // and for C source the text of about five characters per byte.
      sim.Hold((type == '8' ? 8 : 3) * trueColor);
      break;
    default:
      sim.Hold(trueColor);
      break;
  }
}

void Step(Simulation& sim, const QueuedCommand& command) {
  const Picture now = sim.Current();
  const int id = command.entry->id;
  if ((id >= kCmdConvertBW && id <= kCmdConvert332) || id == kCmdConvert8666) {
    sim.Replace(AsPalette(now));
  } else if ((id >= kCmdConvert444 && id <= kCmdConvert565) || id == kCmdConvertRGB) {
    sim.Replace(AsTrueColor(now));
  } else if (id == kCmdConvertBestPalette || id == kCmdConvertTransPalette || id == kCmdReduceColors) {
    sim.Replace(AsPalette(now), Bytes(now) / kMappingShare);
  } else if (id == kCmdConvertFinePalette) {
    // Every pixel's colour once more, and up to a colour and a count per pixel.
    sim.Replace(AsPalette(now), 3 * Bytes(AsTrueColor(now)));
  } else if (id == kCmdConvertCustomPalette) {
    sim.Keep();
    sim.Replace(AsPalette(now), Bytes(now) / kMappingShare);
  } else if (id == kCmdRotateCW || id == kCmdRotateCCW) {
    sim.Replace({now.height, now.width, now.palette});
  } else if (id == kCmdScale) {
    Scale(sim, command.parameter);
  } else if (id == kCmdSaveAs) {
    Save(sim, command.parameter);
  } else if (id == kCmdSizeReport) {
    sim.Hold(2 * Bytes(AsTrueColor(now)));
  } else if (id == kCmdSharedPalette) {
    sim.Replace(AsPalette(now), Bytes(AsTrueColor(now)));
  }
}

std::uint64_t PictureBytes(const BitmapPtr& image) {
  return image ? image->pData.size() + image->pInfo.size() : 0;
}

}  // namespace

std::uint64_t EstimateJobBytes(const std::optional<ImageHeader>& header, std::uint64_t fileBytes,
                               std::span<const QueuedCommand> commands, const ReadOptions& read) {
  Simulation sim;
  sim.Open(header, fileBytes, read);
  if (header) {
    for (const QueuedCommand& command : commands) Step(sim, command);
  }
  return sim.Peak();
}

std::uint64_t EstimateImageJob(const std::string& path, std::span<const QueuedCommand> commands,
                               const ReadOptions& read) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(sys::PathFromUtf8(path), ec);
  std::ifstream file(sys::PathFromUtf8(path), std::ios::binary);
  if (ec || !file) return EstimateJobBytes(std::nullopt, 0, commands, read);
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uintmax_t>(size, kImageHeaderBytes)));
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return EstimateJobBytes(PeekImageHeader(head), size, commands, read);
}

std::uint64_t DocumentBytes(const ImageDocument& doc) {
  std::uint64_t bytes = PictureBytes(doc.current) + (doc.sourceBytes ? doc.sourceBytes->size() : 0);
  for (const BitmapPtr& image : doc.undo) bytes += PictureBytes(image);
  for (const BitmapPtr& image : doc.redo) bytes += PictureBytes(image);
  return bytes;
}

std::uint64_t MemoryBudgetBytes() {
  if (const char* text = std::getenv(kMemoryBudgetVariable); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(text, &end, 10);
    if (*end == '\0') return bytes;
  }
  std::uint64_t room = sys::PhysicalMemoryBytes();
  if (const std::uint64_t limit = sys::AddressSpaceLimitBytes(); limit != 0) {
    const std::uint64_t used = sys::AddressSpaceInUseBytes();
    const std::uint64_t left = limit > used ? limit - used : 0;
    room = room != 0 ? std::min(room, left) : left;
  }
  return room / 2;
}

}  // namespace rastra

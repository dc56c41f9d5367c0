// Bringing an image into a colour format (plain or Floyd-Steinberg dithered),
// onto a given palette, or onto an optimised palette of its own colours.
//
// Every conversion reads its source through a const reference and makes a
// new image; the source is never changed, so a failure leaves the caller
// with what it had. Failures (null results) are recorded in the context;
// options.preserveTrans decides what becomes of fully transparent pixels of
// true-colour sources.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "image/Bitmap.h"
#include "image/ColorFormat.h"
#include "image/OutputOptions.h"
#include "image/Palette.h"
#include "sys/Context.h"

namespace rastra {

// What the command line says when a conversion is asked for without an
// image: the colour formats give the first, the palettes the second.
inline constexpr const char* kNoSourceBitmapText = "Internal error : No source bitmap. (hBitmap == 0)";
inline constexpr const char* kNoOriginalBitmapText = "Internal error : pBitmapOrg == NULL";

BitmapPtr ConvertToFormat(const Bitmap& source, const ColorFormat& format, const OutputOptions& options,
                          sys::Context& ctx);
BitmapPtr DitherToFormat(const Bitmap& source, const ColorFormat& format, const OutputOptions& options,
                         sys::Context& ctx);

// Index of the nearest entry by squared RGB distance; the lowest index wins a tie.
int FindNearestColor(Color color, const PaletteRef& palette);

// Result with numEntries palette entries.
BitmapPtr ConvertToPalette(const PaletteRef& palette, const Bitmap& source, int numEntries,
                           const OutputOptions& options, sys::Context& ctx);

// Writes up to maxColors colours, most frequent first, into best and sets its
// count; returns how many, 0 on failure. The source is only read.
int CalcBestPalette(int maxColors, const Bitmap& source, PaletteRef& best, sys::Context& ctx);

BitmapPtr ConvertToBestPalette(const Bitmap& source, const OutputOptions& options, sys::Context& ctx);
// Index 0 becomes transColor and holds exactly the transparent pixels: those
// of a source with HasAlpha whose transparency byte is 255, and those of a
// palette source's transparent entry (HasTrans, index 0). The other pixels
// get up to 255 entries; when they have no more colours than that, each keeps
// its colour exactly. A source with neither gets ConvertToBestPalette.
BitmapPtr ConvertToBestPaletteTrans(const Bitmap& source, Color transColor, const OutputOptions& options,
                                    sys::Context& ctx);
BitmapPtr ConvertToCustomPalette(const Bitmap& source, const PaletteRef& custom, const OutputOptions& options,
                                 sys::Context& ctx);
// maxColors from 2 to 256; the palette comes in tree order. A picture of
// maxColors colours or more gets exactly maxColors.
BitmapPtr ReduceColors(const Bitmap& source, int maxColors, const OutputOptions& options, sys::Context& ctx);

class ColorOctree;

// The palette of an octree of at most limit leaves (1 to 256) over what insert
// puts in, in tree order with each entry's pixel count, and with exactly
// limit entries when more colours than that went in. A merge can take away
// up to seven leaves at once and leave fewer than limit (three colours asked
// for two used to give one): then a tree of twice the limit is made, and its
// two nearest entries, weighed by their pixels, are joined until limit are
// left.
struct CountedColor {
  Color colour;  // 0xBBGGRR
  std::uint64_t pixels;
};
std::vector<CountedColor> FullOctreePalette(int limit, const std::function<void(ColorOctree&)>& insert);

// Colour quantiser: an octree over the bits of red, green and blue that merges
// its deepest, most recently created interior node whenever the number of
// leaves exceeds the colour limit.
class ColorOctree {
 public:
  ColorOctree(std::uint32_t colorLimit, int depth);

  // count > 1 inserts the same colour that many times in one step.
  void Insert(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t count = 1) {
    InsertRgb((std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b, count);
  }
  // The same with the colour as red << 16 | green << 8 | blue.
  void InsertRgb(std::uint32_t rgb, std::uint32_t count) {
    const auto r = static_cast<std::uint8_t>(rgb >> 16);
    const auto g = static_cast<std::uint8_t>(rgb >> 8);
    const auto b = static_cast<std::uint8_t>(rgb);
    if (((rgb ^ lastRgb_) & lastMask_) == 0) {
      AddToLeaf(lastLeaf_, r, g, b, count);  // the walk would end in the same leaf
    } else {
      InsertFromRoot(r, g, b, count);
    }
  }
  // The leaf one colour went into, remembered by the caller: palette images
  // repeat their few colours, and a leaf stays theirs until a node is made or
  // merged. Start with a default hint per colour.
  struct LeafHint {
    std::uint32_t leaf = kNone;
    std::uint64_t version = 0;
  };
  void Insert(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t count, LeafHint& hint) {
    if (hint.leaf != kNone && hint.version == structureVersion_) {
      AddToLeaf(hint.leaf, r, g, b, count);
      return;
    }
    Insert(r, g, b, count);
    hint = lastRgb_ != kNoRgb ? LeafHint{lastLeaf_, structureVersion_} : LeafHint{};
  }
  // Writes one colour per leaf (depth first, children 0 to 7) and, when counts
  // is not null, its pixel count. Both arrays need LeafCount() elements.
  int GetPalette(Color* colours, std::uint32_t* counts) const;
  std::uint32_t LeafCount() const { return leafCount_; }
  // True once leaves were merged: more colours went in than the limit.
  bool Merged() const { return merged_; }
  std::uint32_t ColorLimit() const { return colorLimit_; }

 private:
  static constexpr std::uint32_t kNone = 0;
  static constexpr int kMaxLevels = 9;

  // Nodes live in one owned pool and refer to each other by position, so a
  // tree is freed as a whole and merging recycles slots without allocating.
  struct Node {
    bool isLeaf = false;
    std::uint32_t pixelCount = 0;
    // Wider than the pixel count so that large bright images cannot wrap.
    std::uint64_t redSum = 0;
    std::uint64_t greenSum = 0;
    std::uint64_t blueSum = 0;
    std::uint32_t child[8] = {};
    std::uint32_t next = kNone;  // link in the reducible list of its level
  };

  std::uint32_t NewNode(int level);
  void FreeNode(std::uint32_t n);
  bool Merge();  // false when no interior node is left to merge
  int CollectLeaves(std::uint32_t n, Color* colours, std::uint32_t* counts, int written) const;

  std::vector<Node> nodes_;  // slot 0 is the "no node" marker
  std::vector<std::uint32_t> freeSlots_;
  std::uint32_t root_ = kNone;
  std::uint32_t leafCount_ = 0;
  std::uint32_t reducible_[kMaxLevels] = {};
  std::uint32_t colorLimit_;
  int depth_;
  bool merged_ = false;

  // Neighbouring pixels of a photo mostly fall into the same leaf. The leaf the
  // last insertion ended in takes every colour that agrees with it in the bits
  // its level looked at, as long as no node has been made or merged since.
  // lastMask_ keeps those bits of red, green and blue; kNoRgb, which no colour
  // matches under any mask, stands for "no leaf to reuse".
  static constexpr std::uint32_t kNoRgb = 0xFF000000u;
  std::uint64_t structureVersion_ = 0;  // counts new and merged nodes
  std::uint32_t lastLeaf_ = kNone;
  std::uint32_t lastRgb_ = kNoRgb;
  std::uint32_t lastMask_ = 0xFFFFFFFFu;
  void InsertFromRoot(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t count);
  void AddToLeaf(std::uint32_t leaf, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t count) {
    Node& node = nodes_[leaf];
    node.pixelCount += count;
    node.redSum += std::uint64_t{r} * count;
    node.greenSum += std::uint64_t{g} * count;
    node.blueSum += std::uint64_t{b} * count;
  }
};

}  // namespace rastra

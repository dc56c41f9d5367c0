// The colour octree and the best palette against a plain reference octree that
// walks from the root for every pixel, as the quantiser is defined. The fast
// paths (leaf reuse for neighbouring colours, weighted runs, cached nearest
// colours) must never change a palette, a count or an index.
#include <gtest/gtest.h>

#include "CoreTestSupport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/Bitmap.h"
#include "image/ColorConvert.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

class ReferenceOctree {
 public:
  explicit ReferenceOctree(std::uint32_t limit) : limit_(limit) {}

  void Insert(int r, int g, int b) {
    std::unique_ptr<Node>* slot = &root_;
    for (int level = 0;; ++level) {
      if (!*slot) *slot = Create(level);
      Node& node = **slot;
      if (node.leaf) {
        ++node.count;
        node.red += static_cast<std::uint64_t>(r);
        node.green += static_cast<std::uint64_t>(g);
        node.blue += static_cast<std::uint64_t>(b);
        break;
      }
      const int m = 0x80 >> level;
      slot = &node.child[((r & m) != 0 ? 4 : 0) + ((g & m) != 0 ? 2 : 0) + ((b & m) != 0 ? 1 : 0)];
    }
    while (leaves_ > limit_ && Merge()) {
    }
  }

  void Palette(std::vector<Color>& colours, std::vector<std::uint32_t>& counts) const {
    if (root_) Collect(*root_, colours, counts);
  }

 private:
  struct Node {
    bool leaf = false;
    std::uint32_t count = 0;
    std::uint64_t red = 0, green = 0, blue = 0;
    std::array<std::unique_ptr<Node>, 8> child;
  };

  std::unique_ptr<Node> Create(int level) {
    auto node = std::make_unique<Node>();
    if (level == 8) {
      node->leaf = true;
      ++leaves_;
    } else {
      reducible_[level].push_back(node.get());  // the back is the head: created last
    }
    return node;
  }

  bool Merge() {
    int level = 7;
    while (level > 0 && reducible_[level].empty()) --level;
    if (reducible_[level].empty()) return false;
    Node* node = reducible_[level].back();
    reducible_[level].pop_back();
    std::uint32_t removed = 0;
    for (auto& c : node->child) {
      if (!c) continue;
      node->count += c->count;
      node->red += c->red;
      node->green += c->green;
      node->blue += c->blue;
      c.reset();
      ++removed;
    }
    node->leaf = true;
    leaves_ = leaves_ - removed + 1;
    return true;
  }

  static void Collect(const Node& n, std::vector<Color>& colours, std::vector<std::uint32_t>& counts) {
    if (n.leaf) {
      const std::uint64_t k = n.count != 0 ? n.count : 1;
      colours.push_back(static_cast<Color>(((n.blue / k) << 16) + ((n.green / k) << 8) + n.red / k));
      counts.push_back(n.count);
      return;
    }
    for (const auto& c : n.child) {
      if (c) Collect(*c, colours, counts);
    }
  }

  std::unique_ptr<Node> root_;
  std::array<std::vector<Node*>, 8> reducible_;
  std::uint32_t leaves_ = 0;
  std::uint32_t limit_;
};

std::uint32_t Next(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// Smooth gradients with noise and flat patches: neighbours often share a leaf,
// runs of equal colours occur, and new colours keep arriving.
BitmapPtr PhotoWithPatches(int width, int height, std::uint32_t seed) {
  BitmapPtr image = testing_support::MakeBitmap(width, height, 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image->Row(y);
    for (int x = 0; x < width; ++x) {
      const bool flat = (x / 16 + y / 16) % 5 == 0;
      const int noise = flat ? 0 : static_cast<int>(Next(seed) % 9) - 4;
      const int r = std::clamp(x * 255 / width + noise, 0, 255);
      const int g = std::clamp(y * 255 / height - noise, 0, 255);
      const int b = flat ? 77 : std::clamp((x + y) * 128 / (width + height) + 2 * noise, 0, 255);
      Bitmap_StoreColor(row + 4 * x, static_cast<Color>(r | (g << 8) | (b << 16) | (x % 3 == 0 ? 0xFF000000u : 0)));
    }
  }
  return image;
}

// Every pixel's colour, palette images included, in reading order.
ReferenceOctree FillReference(const Bitmap& image, std::uint32_t limit) {
  ReferenceOctree tree(limit);
  for (int y = 0; y < image.YSize; ++y) {
    for (int x = 0; x < image.XSize; ++x) {
      const Color c = Bitmap_GetPixelColor(image, x, y);
      tree.Insert(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
    }
  }
  return tree;
}

TEST(OctreeAgainstReference, PixelByPixelInsertionGivesTheSamePaletteAndCounts) {
  const BitmapPtr image = PhotoWithPatches(97, 83, 5);
  for (std::uint32_t limit : {2u, 5u, 16u, 256u}) {
    ReferenceOctree reference = FillReference(*image, limit);
    ColorOctree tree(limit, 8);
    for (int y = 0; y < image->YSize; ++y) {
      const std::uint8_t* row = image->Row(y);
      for (int x = 0; x < image->XSize; ++x) tree.Insert(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
    std::vector<Color> expectedColours;
    std::vector<std::uint32_t> expectedCounts;
    reference.Palette(expectedColours, expectedCounts);
    std::vector<Color> colours(tree.LeafCount());
    std::vector<std::uint32_t> counts(tree.LeafCount());
    colours.resize(static_cast<std::size_t>(tree.GetPalette(colours.data(), counts.data())));
    counts.resize(colours.size());
    EXPECT_EQ(colours, expectedColours) << "limit " << limit;
    EXPECT_EQ(counts, expectedCounts) << "limit " << limit;
  }
}

TEST(OctreeAgainstReference, RandomColoursAfterEachOtherGiveTheSamePalette) {
  ReferenceOctree reference(64);
  ColorOctree tree(64, 8);
  std::uint32_t seed = 99;
  int r = 0;
  int g = 0;
  int b = 0;
  for (int i = 0; i < 20000; ++i) {
    // Mostly small steps from the last colour, now and then a jump.
    const std::uint32_t v = Next(seed);
    if (v % 50 == 0) {
      r = static_cast<int>(v & 0xFF);
      g = static_cast<int>((v >> 8) & 0xFF);
      b = static_cast<int>(Next(seed) & 0xFF);
    } else {
      r = std::clamp(r + static_cast<int>(v % 5) - 2, 0, 255);
      g = std::clamp(g + static_cast<int>((v >> 4) % 5) - 2, 0, 255);
      b = std::clamp(b + static_cast<int>((v >> 8) % 3) - 1, 0, 255);
    }
    reference.Insert(r, g, b);
    tree.Insert(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b));
  }
  std::vector<Color> expected;
  std::vector<std::uint32_t> expectedCounts;
  reference.Palette(expected, expectedCounts);
  std::vector<Color> colours(tree.LeafCount());
  std::vector<std::uint32_t> counts(tree.LeafCount());
  colours.resize(static_cast<std::size_t>(tree.GetPalette(colours.data(), counts.data())));
  counts.resize(colours.size());
  EXPECT_EQ(colours, expected);
  EXPECT_EQ(counts, expectedCounts);
}

// The whole best-palette conversion: the reference palette sorted by count
// (stable), then every pixel mapped by the linear nearest-colour search.
TEST(OctreeAgainstReference, BestPaletteConversionEqualsReferenceAndLinearSearch) {
  sys::Context ctx;
  BitmapPtr image = PhotoWithPatches(131, 67, 11);
  const BitmapPtr original = Bitmap_Copy(*image, ctx);
  ReferenceOctree reference = FillReference(*image, 256);
  std::vector<Color> colours;
  std::vector<std::uint32_t> counts;
  reference.Palette(colours, counts);
  std::vector<std::size_t> order(colours.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return counts[a] > counts[b]; });
  PaletteRef palette;
  palette.count = static_cast<int>(colours.size());
  for (std::size_t i = 0; i < order.size(); ++i) palette.colours[i] = colours[order[i]];

  BitmapPtr result = ConvertToBestPalette(*image, {}, ctx);
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->NumColors, palette.count);
  for (int i = 0; i < palette.count; ++i) EXPECT_EQ(Bitmap_GetPalColor(*result, i), palette.colours[i]) << i;
  for (int y = 0; y < original->YSize; ++y) {
    for (int x = 0; x < original->XSize; ++x) {
      const Color c = Bitmap_GetPixel(*original, x, y);
      ASSERT_EQ(static_cast<int>(result->Row(y)[x]), FindNearestColor(c, palette)) << x << "," << y;
    }
  }
}

// A palette image whose many colours force merges between repeats of the same
// entry: a leaf remembered for an entry must not outlive the tree it was found in.
TEST(OctreeAgainstReference, ReducingAPaletteImageEqualsReference) {
  sys::Context ctx;
  constexpr int kEntries = 200;
  BitmapPtr image = Bitmap_Create(61, 53, kEntries, ctx);
  std::uint32_t seed = 3;
  for (int i = 0; i < kEntries; ++i) Bitmap_SetPalColor(*image, i, static_cast<Color>(Next(seed) & 0xFFFFFF));
  for (int y = 0; y < image->YSize; ++y) {
    for (int x = 0; x < image->XSize; ++x) {
      image->Row(y)[x] = static_cast<std::uint8_t>((x / 3 + y * 7 + static_cast<int>(Next(seed) % 4)) % kEntries);
    }
  }
  // 16 and 150 merge; 200 and 256 hold every colour, where the palette
  // entries go in once each with their pixel counts.
  for (int limit : {16, 150, 200, 256}) {
    ReferenceOctree reference = FillReference(*image, static_cast<std::uint32_t>(limit));
    std::vector<Color> colours;
    std::vector<std::uint32_t> counts;
    reference.Palette(colours, counts);
    BitmapPtr result = ReduceColors(*image, limit, {}, ctx);
    ASSERT_NE(result, nullptr);
    // Where the reference's last merge overshot the limit, the reduction
    // gives the colours asked for instead (the image has more than limit).
    if (colours.size() < static_cast<std::size_t>(limit) && colours.size() < static_cast<std::size_t>(kEntries)) {
      EXPECT_EQ(result->NumColors, limit);
      continue;
    }
    ASSERT_EQ(result->NumColors, static_cast<int>(colours.size())) << "limit " << limit;
    for (int i = 0; i < result->NumColors; ++i) EXPECT_EQ(Bitmap_GetPalColor(*result, i), colours[i]) << i;
  }

  // The best palette sorts the reference's colours by count (stable), and the
  // pixels keep their colours: no entry was merged away.
  ReferenceOctree reference = FillReference(*image, 256);
  std::vector<Color> colours;
  std::vector<std::uint32_t> counts;
  reference.Palette(colours, counts);
  std::vector<std::size_t> order(colours.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return counts[a] > counts[b]; });
  BitmapPtr best = ConvertToBestPalette(*image, {}, ctx);
  ASSERT_NE(best, nullptr);
  ASSERT_EQ(best->NumColors, static_cast<int>(colours.size()));
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(Bitmap_GetPalColor(*best, static_cast<int>(i)), colours[order[i]]);
  for (int y = 0; y < image->YSize; ++y) {
    for (int x = 0; x < image->XSize; ++x) {
      ASSERT_EQ(Bitmap_GetPixelColor(*best, x, y), Bitmap_GetPixelColor(*image, x, y) & 0xFFFFFF) << x << "," << y;
    }
  }
}

}  // namespace

#include "readers/JpegInternal.h"

namespace rastra {


namespace {

constexpr int kLookupBits = 8;
constexpr int kMaxNode = 255;

void FillShortCode(JpegHuffmanTable& table, unsigned code, int length, int symbol) {
  const int shift = kLookupBits - length;
  const unsigned first = code << shift;
  for (unsigned i = 0; i < (1u << shift); ++i) {
    table.lookup[first + i] = static_cast<std::int16_t>(symbol);
    table.codeSize[first + i] = static_cast<std::uint8_t>(length);
  }
}

// Follows (and where needed grows) the tree below the 8-bit prefix of a long
// code, one bit per level, and hangs the symbol on the last bit.
bool AddLongCode(JpegHuffmanTable& table, unsigned code, int length, int symbol, int& nextNode) {
  std::int16_t* link = &table.lookup[code >> (length - kLookupBits)];
  for (int bit = length - kLookupBits - 1; bit >= 0; --bit) {
    if (*link == kJpegNoSymbol) {
      if (nextNode > kMaxNode) return false;
      *link = static_cast<std::int16_t>(-nextNode++);
    } else if (*link >= 0) {
      return false;  // a shorter code is a prefix of this one
    }
    const int node = -*link;
    link = &table.tree[2 * node + ((code >> bit) & 1)];
  }
  if (*link != kJpegNoSymbol) return false;
  *link = static_cast<std::int16_t>(symbol);
  return true;
}

// The one-lookup entry for a code of `length` bits followed by `suffix` (the
// rest of the kJpegFastBits bits looked at).
std::int32_t FastEntry(int symbol, int length, unsigned suffix, bool acTable) {
  const int run = acTable ? symbol >> 4 : 0;
  const int size = acTable ? symbol & 15 : symbol;
  if (size == 0) {
    if (acTable && run != 15) return kJpegEndOfBlock | (run << 8) | length;
    return (run << 8) | length;  // a zero difference, or sixteen zero coefficients
  }
  if (size > 15) return kJpegLongCode;  // no real file has it; the full path refuses it
  const int used = length + size;
  if (used > kJpegFastBits) return kJpegSymbolOnly | (size << 16) | (run << 8) | length;
  const int bits = static_cast<int>(suffix >> (kJpegFastBits - used)) & ((1 << size) - 1);
  const int value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 16) | (run << 8) | used;
}

void FillFast(JpegHuffmanTable& table, bool acTable) {
  table.fast.fill(kJpegLongCode);
  unsigned code = 0;
  int k = 0;
  for (int length = 1; length <= kJpegFastBits; ++length) {
    for (int i = 0; i < table.counts[length]; ++i, ++k, ++code) {
      const int shift = kJpegFastBits - length;
      for (unsigned suffix = 0; suffix < (1u << shift); ++suffix) {
        table.fast[(code << shift) | suffix] = FastEntry(table.symbols[k], length, suffix, acTable);
      }
    }
    code <<= 1;
  }
}

void FillPairs(JpegHuffmanTable& table) {
  constexpr unsigned kMask = (1u << kJpegFastBits) - 1;
  for (unsigned peek = 0; peek <= kMask; ++peek) {
    const std::int32_t first = table.fast[peek];
    table.pairs[peek] = 0;
    if ((first & kJpegEntryFlags) != 0) continue;
    const int firstBits = first & 31;
    // The second code starts after the first; only its entry's leading bits
    // are known, so it counts only if it ends within them.
    const std::int32_t second = table.fast[(peek << firstBits) & kMask];
    const int secondBits = second & 31;
    if ((second & kJpegEntryFlags) == 0 && secondBits <= kJpegFastBits - firstBits) {
      const int step = 1 + ((second >> 8) & 15);
      table.pairs[peek] = static_cast<std::int32_t>(static_cast<std::uint32_t>(second >> 16) << 16) | (step << 8) |
                          (firstBits + secondBits);
    } else {
      table.pairs[peek] = static_cast<std::int32_t>(static_cast<std::uint32_t>(first >> 16) << 16) | firstBits;
    }
  }
}

}  // namespace

bool JpegBuildHuffmanTable(JpegHuffmanTable& table, bool acTable) {
  table.lookup.fill(kJpegNoSymbol);
  table.codeSize.fill(kLookupBits);
  table.tree.fill(kJpegNoSymbol);
  int nextNode = 1;
  unsigned code = 0;
  int k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < table.counts[length]; ++i, ++k, ++code) {
      if (code >= (1u << length) || k >= table.symbolCount) return false;
      const int symbol = table.symbols[k];
      if (length <= kLookupBits) {
        FillShortCode(table, code, length, symbol);
      } else if (!AddLongCode(table, code, length, symbol, nextNode)) {
        return false;
      }
    }
    code <<= 1;
  }
  // Bit patterns no code starts with (such as the 1-bits that stand in for a
  // marker) decode as symbol 0 and use up the 8 bits.
  for (std::int16_t& entry : table.lookup) {
    if (entry == kJpegNoSymbol) entry = 0;
  }
  FillFast(table, acTable);
  if (acTable) FillPairs(table);
  return true;
}

}  // namespace rastra

namespace rastra {

namespace {

// The example tables of ITU-T T.81 Annex K.3: code lengths (counts of codes
// of 1 to 16 bits) and symbols. Motion-JPEG frames leave out their DHT and
// are decoded with these.
struct StandardTable {
  std::array<std::uint8_t, 16> counts;
  std::array<std::uint8_t, 162> symbols;
};

constexpr StandardTable kDcLuminance = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
constexpr StandardTable kDcChrominance = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                          {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
constexpr StandardTable kAcLuminance = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
     0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72,
     0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37,
     0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
     0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3,
     0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
     0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
     0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA}};
constexpr StandardTable kAcChrominance = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
     0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1,
     0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36,
     0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
     0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A,
     0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA,
     0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
     0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA}};

}  // namespace

bool JpegLoadStandardTable(int slot, JpegHuffmanTable& table) {
  const StandardTable* source = nullptr;
  switch (slot) {
    case 0: source = &kDcLuminance; break;
    case 1: source = &kDcChrominance; break;
    case 4: source = &kAcLuminance; break;
    case 5: source = &kAcChrominance; break;
    default: return false;
  }
  table.counts[0] = 0;
  int total = 0;
  for (int n = 1; n <= 16; ++n) {
    table.counts[static_cast<std::size_t>(n)] = source->counts[static_cast<std::size_t>(n - 1)];
    total += source->counts[static_cast<std::size_t>(n - 1)];
  }
  std::copy_n(source->symbols.begin(), total, table.symbols.begin());
  table.symbolCount = total;
  table.defined = true;
  return true;
}

}  // namespace rastra

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

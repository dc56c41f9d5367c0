#include "readers/JpegInternal.h"


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

// Run/size symbols whose code and value bits fit in kJpegFastBits, decoded in
// advance (end-of-block and zero-run symbols are left to the full path). An
// entry keeps the value in its upper byte, so only values of up to 7 bits
// (-127 to 127) go in: an 8-bit value behind a one-bit code would fit the
// bits but not the entry.
constexpr int kMaxFastAcSize = 7;

void FillFastAc(JpegHuffmanTable& table) {
  constexpr int kExtra = kJpegFastBits - kLookupBits;
  for (unsigned peek = 0; peek < table.fastAc.size(); ++peek) {
    table.fastAc[peek] = 0;
    const unsigned prefix = peek >> kExtra;
    const int symbol = table.lookup[prefix];
    const int codeBits = table.codeSize[prefix];
    if (symbol < 0 || symbol == kJpegNoSymbol) continue;
    const int run = symbol >> 4;
    const int size = symbol & 15;
    const int used = codeBits + size;
    if (size == 0 || size > kMaxFastAcSize || used > kJpegFastBits) continue;
    const int bits = static_cast<int>(peek >> (kJpegFastBits - used)) & ((1 << size) - 1);
    const int value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    table.fastAc[peek] = static_cast<std::int16_t>(value * 256 + run * 16 + used);
  }
}

}  // namespace

bool JpegBuildHuffmanTable(JpegHuffmanTable& table) {
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
  FillFastAc(table);
  return true;
}

// The Huffman block encoder of -lh5-, -lh6- and -lh7- data: queues the
// literals and matches of one block, builds the block's three canonical codes
// and writes the block through an MSB-first bit writer with a size limit.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

inline constexpr int kLiteralSymbols = 510;     // 256 bytes + 254 match lengths
inline constexpr int kCodeLengthSymbols = 19;   // carries the literal lengths
inline constexpr int kMaxPositionSymbols = 17;  // -lh7-: offsets up to 16 bits
inline constexpr std::uint32_t kBlockBufferSize = 32768;
// A new group of eight symbols that would start at this fill or later sends
// the block first; the last group (flag byte + eight matches) still fits.
inline constexpr std::uint32_t kBlockFlushFill = kBlockBufferSize - 24;
inline constexpr std::uint32_t kOutputBufferSize = 32768;

// The symbols of the block being built, in groups of up to eight, each group
// led by a flag byte whose set bits (from bit 7) mark matches. A literal is
// one byte, a match three: length - 3, offset high byte, offset low byte.
struct BlockQueue {
  std::uint8_t buffer[kBlockBufferSize];
  std::uint32_t fill;
  std::uint32_t flagIndex;
  std::uint32_t flagMask;  // 0: the next symbol starts a new group
  // Room for the internal nodes of each tree after the leaves.
  std::uint16_t literalFreq[2 * kLiteralSymbols - 1];
  std::uint16_t positionFreq[2 * kMaxPositionSymbols - 1];
};

// Output state shared with the encoder loop, which sets the handle and the
// limit and reads the flags and the count.
struct BitWriter {
  std::uint64_t bits;  // pending bits, right-aligned, not yet in the buffer
  int bitCount;        // number of pending bits (below 32 between calls)
  std::uint8_t buffer[kOutputBufferSize];
  std::uint32_t fill;
  plat::FileHandle output;
  std::uint32_t produced;  // bytes of compressed data so far
  std::uint32_t limit;     // the member's original size
  bool givenUp;            // output would exceed the limit, or a write failed
  bool writeFailed;
};

extern BlockQueue blockQueue;
extern BitWriter bitWriter;

// Gives the bit writer its output and limit, and clears its counters and
// flags; the encoder loop calls it before StartBlockEncoder.
void ResetBitWriter(plat::FileHandle output, std::uint32_t limit);
void StartBlockEncoder(int dictionaryBits);
void FlushBlock();
void FinishBlockEncoder();

inline int OffsetBitLength(unsigned offset) { return offset == 0 ? 0 : 32 - __builtin_clz(offset); }

// Adds one symbol (0-255 a literal byte, 256-509 a match of length
// symbol - 253 with offset = distance - 1) to the block, sending the block
// first when a new group would not fit.
inline void QueueSymbol(unsigned symbol, unsigned offset) {
  BlockQueue& q = blockQueue;
  q.flagMask >>= 1;
  if (q.flagMask == 0) {
    q.flagMask = 0x80;
    if (q.fill >= kBlockFlushFill) {
      FlushBlock();
      if (bitWriter.givenUp) return;
      q.fill = 0;
    }
    q.flagIndex = q.fill;
    q.buffer[q.fill++] = 0;
  }
  q.literalFreq[symbol]++;
  q.buffer[q.fill++] = static_cast<std::uint8_t>(symbol);
  if (symbol >= 256) {
    q.buffer[q.flagIndex] |= static_cast<std::uint8_t>(q.flagMask);
    q.buffer[q.fill++] = static_cast<std::uint8_t>(offset >> 8);
    q.buffer[q.fill++] = static_cast<std::uint8_t>(offset);
    q.positionFreq[OffsetBitLength(offset)]++;
  }
}

// ---- for tests -------------------------------------------------------------
struct QueuedSymbol {
  unsigned symbol;
  unsigned offset;
  bool operator==(const QueuedSymbol&) const = default;
};
// The symbols of the last block queued (after CompressMember: its last block).
std::vector<QueuedSymbol> QueuedSymbols();
// Number of blocks sent since StartBlockEncoder, and how many of them needed
// their literal or position code lengths cut down to 16 bits.
int BlocksSent();
int BlocksWithLengthsCut();
// Longest literal/length code length of the last block sent.
int LongestLiteralCode();

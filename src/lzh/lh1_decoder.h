// Decoder of -lh1- member data: LZSS over a 4 KiB window that starts filled
// with spaces. Literals and match lengths share one adaptive Huffman code of
// 314 symbols (bytes 0..255, then lengths 3..60), whose tree follows the
// symbol counts and is rebuilt with halved counts when the root count
// reaches kMaxCount. A match's distance - 1 (12 bits) follows its length:
// the upper 6 bits in a fixed code of 3 to 8 bits, the lower 6 bits as they
// are. Bits are read most significant first.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"
#include "lzh/packed_input.h"
#include "lzh/window_output.h"

namespace lzh {

// The adaptive code of -lh1-. Nodes are kept in order of their counts (the
// sibling property): node kRoot is the root, the children of an inner node n
// are the nodes child[n] and child[n] + 1 (the 0 and the 1 branch), both below
// n, and a leaf holds kNodes + its symbol in `child`. Decoded symbols are
// always valid leaves, so no input can break these invariants.
class AdaptiveCode {
 public:
  static constexpr int kSymbols = 314;
  static constexpr int kNodes = 2 * kSymbols - 1;
  static constexpr int kRoot = kNodes - 1;
  static constexpr std::uint32_t kMaxCount = 0x8000;
  // Counts never exceed the root's, which stays below the guard count.
  static_assert(kMaxCount < 0xFFFF);

  void Reset();
  // Counts one more use of `symbol`, moving it and its ancestors up as the
  // order of counts demands.
  void Update(int symbol);

  // For walking the tree: child(n) is the 0 branch of an inner node n (its 1
  // branch is one higher) or kNodes + symbol for a leaf; parent(n) is the
  // parent of node n, and parent(kNodes + symbol) the leaf of a symbol.
  int child(int node) const { return child_[node]; }
  int parent(int node) const { return parent_[node]; }

 private:
  void Rebuild();

  // count_[kNodes] is a guard above every real count, ending the search for
  // the last node of a count in Update.
  std::uint16_t count_[kNodes + 1];
  std::uint16_t child_[kNodes];
  std::uint16_t parent_[kNodes + kSymbols];
};

class Lh1Decoder {
 public:
  static constexpr std::uint32_t kWindow = 4096;
  static constexpr std::uint32_t kMaxMatch = 60;
  static constexpr int kMinMatch = 3;

  // The fixed code of the upper 6 bits of a match's distance - 1: the number
  // of codes of each length from 3 to 8 bits, given in increasing order of
  // value (canonical, shorter codes first).
  static constexpr int kPositionCodeCounts[6] = {1, 3, 8, 12, 24, 16};
  static constexpr int kPositionMinLength = 3;
  static constexpr int kPositionLowBits = 6;

  Lh1Decoder();

  // Decodes one member: reads its packed bytes from `in` (which ends exactly
  // at the member's end), writes exactly `originalSize` bytes to `out`
  // (nullptr: test only, nothing written), and returns the CRC-16 of those
  // bytes.
  DecodeResult Decode(ByteSource& in, std::uint64_t originalSize, ByteSink* out);

 private:
  // Symbol from the adaptive code, or -1 when the stream ends first.
  int DecodeSymbol();
  // distance - 1 of a match, or -1 when the stream ends first.
  int DecodePosition();

  PackedInput input_;
  AdaptiveCode code_;
  // Upper 6 bits of distance - 1 and code length, by the next 8 bits.
  std::uint8_t positionValue_[256];
  std::uint8_t positionLength_[256];
  WindowOutput<kWindow, kMaxMatch> window_;
};

}  // namespace lzh

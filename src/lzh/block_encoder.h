// The Huffman block encoder of -lh5-, -lh6- and -lh7- data: queues the
// literals and matches of one block, builds the block's three canonical codes
// and writes the block through its bit writer.
#pragma once

#include <cstdint>

#include "lzh/bit_writer.h"
#include "lzh/codec_io.h"
#include "lzh/method.h"

namespace lzh {

class BlockEncoder {
 public:
  static constexpr int kLiteralSymbols = 510;     // 256 bytes + 254 match lengths
  static constexpr int kCodeLengthSymbols = 19;   // carries the literal lengths
  static constexpr int kMaxPositionSymbols = 17;  // -lh7-: offsets up to 16 bits
  static constexpr std::uint32_t kBlockBufferSize = 32768;
  // A new group of eight symbols that would start at this fill or later sends
  // the block first; the last group (flag byte + eight matches) still fits.
  static constexpr std::uint32_t kBlockFlushFill = kBlockBufferSize - 24;
  static_assert((kBlockFlushFill - 1) + 1 + 8 * 3 <= kBlockBufferSize);
  // The most symbols a block can hold (all literals) fit the 16-bit block size.
  static_assert(kBlockFlushFill / 9 * 8 + 8 <= 0xFFFF);

  // Starts a member's data in the position code of `method` (-lh4- to
  // -lh7-): output to `sink`, at most `limit` bytes of it.
  void Start(const MethodInfo& method, ByteSink& sink, std::uint64_t limit);

  // Adds one symbol (0-255 a literal byte, 256-509 a match of length
  // symbol - 253 with offset = distance - 1) to the block, sending the block
  // first when a new group would not fit.
  void QueueSymbol(unsigned symbol, unsigned offset) {
    flagMask_ >>= 1;
    if (flagMask_ == 0) {
      flagMask_ = 0x80;
      if (fill_ >= kBlockFlushFill) {
        FlushBlock();
        if (writer_.givenUp()) return;
        fill_ = 0;
      }
      flagIndex_ = fill_;
      buffer_[fill_++] = 0;
    }
    literalFreq_[symbol]++;
    buffer_[fill_++] = static_cast<std::uint8_t>(symbol);
    if (symbol >= 256) {
      buffer_[flagIndex_] |= static_cast<std::uint8_t>(flagMask_);
      buffer_[fill_++] = static_cast<std::uint8_t>(offset >> 8);
      buffer_[fill_++] = static_cast<std::uint8_t>(offset);
      positionFreq_[OffsetBitLength(offset)]++;
    }
  }

  // Sends the last block and the last partial byte; nothing once given up.
  void Finish();

  const BitWriter& writer() const { return writer_; }

 private:
  static int OffsetBitLength(unsigned offset) {
    return offset == 0 ? 0 : 32 - __builtin_clz(offset);
  }

  // A code word, right-aligned, with its length.
  struct CodeWord {
    std::uint32_t bits;
    int length;
  };

  void FlushBlock();
  void SiftDown(int i);
  void CountLeafDepths(int node, int n, int depth);
  void LimitCodeLengths(int root, int n, std::uint8_t* length);
  void AssignCanonicalCodes(int n, const std::uint8_t* length, std::uint16_t* code);
  int BuildHuffmanCode(int n, std::uint16_t* freq, std::uint8_t* length, std::uint16_t* code);
  int UsedLiteralLengths() const;
  void CountLengthRuns();
  void WriteCodeLengthSymbol(int t) { writer_.WriteCode(smallLength_[t], smallCode_[t]); }
  void WriteLiteralLengths();
  void WriteSmallLengthTable(int n, int countBits, bool zeroRun);
  void EmitBlockSymbols(unsigned blockSize);

  // The symbols of the block being built, in groups of up to eight, each
  // group led by a flag byte whose set bits (from bit 7) mark matches. A
  // literal is one byte, a match three: length - 3, offset high byte, offset
  // low byte.
  std::uint32_t fill_ = 0;
  std::uint32_t flagIndex_ = 0;
  std::uint32_t flagMask_ = 0;  // 0: the next symbol starts a new group
  std::uint8_t buffer_[kBlockBufferSize] = {};
  // Room for the internal nodes of each tree after the leaves.
  std::uint16_t literalFreq_[2 * kLiteralSymbols - 1] = {};
  std::uint16_t positionFreq_[2 * kMaxPositionSymbols - 1] = {};
  std::uint16_t codeLengthFreq_[2 * kCodeLengthSymbols - 1] = {};

  int positionSymbols_ = 0;    // 14, 16 or 17
  int positionCountBits_ = 0;  // 4 or 5

  // Code tables, codes left-aligned in 16 bits. The small pair is shared by
  // the code-length code (while the literal lengths are written) and then
  // the position code of the same block.
  std::uint8_t literalLength_[kLiteralSymbols] = {};
  std::uint16_t literalCode_[kLiteralSymbols] = {};
  std::uint8_t smallLength_[kCodeLengthSymbols] = {};
  std::uint16_t smallCode_[kCodeLengthSymbols] = {};
  CodeWord literalWord_[kLiteralSymbols] = {};
  CodeWord positionWord_[kMaxPositionSymbols] = {};

  // Tree workspace.
  std::uint16_t leftChild_[2 * kLiteralSymbols - 1] = {};
  std::uint16_t rightChild_[2 * kLiteralSymbols - 1] = {};
  int heap_[kLiteralSymbols + 1] = {};  // node numbers from slot 1
  int heapSize_ = 0;
  const std::uint16_t* heapFreq_ = nullptr;  // frequencies of the tree being built
  int leafOrder_[kLiteralSymbols] = {};      // leaves as they left the heap
  int leafCount_ = 0;
  int lengthCount_[17] = {};  // leaves per code length, 16 standing for 16 and deeper

  BitWriter writer_;
};

}  // namespace lzh

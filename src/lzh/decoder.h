// The decoder of static-Huffman LZSS member data (-lh5-, -lh6-, -lh7-): a
// codec object with its bit reader, code tables and window.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"
#include "lzh/method.h"

namespace lzh {

// Owns every table and buffer, sized for -lh7- and allocated with the object
// (about 200 KiB: make it on the heap), so nothing is allocated per member.
// One object decodes one member at a time; separate objects share nothing.
class Decoder {
 public:
  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes one member: reads its packed bytes from `in`, which ends exactly
  // where the member's data ends, writes exactly `originalSize` bytes to
  // `out` (nullptr: test only, nothing written) and returns the CRC-16 of
  // those bytes. A stream that needs more bytes than `in` has is a data
  // error at once; a sink that fails stops the decoding.
  DecodeResult Decode(const MethodInfo& method, ByteSource& in, std::uint64_t originalSize,
                      ByteSink* out);

 private:
  static constexpr int kLiteralSymbols = 510;  // 256 literals, 254 match lengths
  static constexpr int kLiteralBits = 12;      // lookup width of the literal/length code
  static constexpr int kCodeLengthSymbols = 19;
  static constexpr int kSmallBits = 8;  // lookup width of the code-length and position codes
  static constexpr int kSmallLengthSlots = 128;
  static constexpr int kNodeCount = 1024;  // at least 2 * 510 - 1 tree nodes
  static constexpr std::uint32_t kInputSize = 32768;
  static constexpr std::uint32_t kMaxWindow = 65536;
  // The window buffer holds the last W bytes of history followed by W bytes
  // of new output, so a match never wraps. After the new half a match may
  // run on by up to 255 bytes, and word-wise copies by up to 31 more.
  static constexpr std::uint32_t kWindowSlack = 512;

  struct BitReader {
    // The next bits of the stream, most significant first. Bits below
    // `count` are zero or already the stream's next bits.
    std::uint64_t bits;
    int count;
    std::uint32_t pos;    // next byte of the input buffer
    std::uint32_t limit;  // end of the bytes in the input buffer
    bool ended;           // the source has no more bytes
    // Zero bits put in after the member's packed bytes ran out. They lie
    // below every real bit, so a stream has used one of them exactly when
    // fewer than `padding` bits are left: it needs more than the member holds.
    int padding;
    // What a stream that fails reports: kDataError, or kReadError once the
    // source has failed (the stream then ends early).
    CodecStatus failure;
    ByteSource* source;
  };

  void FillInput(BitReader& r);
  [[gnu::noinline]] void RefillSlow(BitReader& r);
  void Refill(BitReader& r);
  unsigned GetBits(BitReader& r, int n);
  bool BuildDecodeTable(int n, const std::uint8_t* lengths, int w, std::uint16_t* table);
  [[gnu::noinline]] int WalkTree(BitReader& r, unsigned j, unsigned n, int w,
                                 const std::uint8_t* lengths);
  int DecodeSmall(BitReader& r, unsigned n);
  bool ReadSmallTable(BitReader& r, int countBits, int m, int zeroRunAt);
  bool ReadLiteralLengths(BitReader& r);
  bool ReadBlockHeader(BitReader& r, int positionBits, int positionSymbols,
                       std::uint32_t* blockSize);

  BitReader reader_ = {};
  std::uint8_t input_[kInputSize] = {};
  std::uint8_t literalLengths_[kLiteralSymbols] = {};
  std::uint16_t literalTable_[1 << kLiteralBits] = {};
  // Shared by the code-length code and then the position code of a block.
  std::uint8_t smallLengths_[kSmallLengthSlots] = {};
  std::uint16_t smallTable_[1 << kSmallBits] = {};
  // Tree nodes of codes longer than their lookup width, shared by all codes.
  std::uint16_t zeroBranch_[kNodeCount] = {};
  std::uint16_t oneBranch_[kNodeCount] = {};
  alignas(64) std::uint8_t window_[2 * kMaxWindow + kWindowSlack] = {};
};

}  // namespace lzh

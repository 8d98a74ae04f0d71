// The most-significant-bit-first bit writer of compressed member data: it
// packs code words into bytes, buffers them for the sink, and gives up once
// the data would grow past a limit (the member's original size).
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"

namespace lzh {

class BitWriter {
 public:
  static constexpr std::uint32_t kBufferSize = 32768;

  // Starts a member's data: output to `sink`, at most `limit` bytes of it.
  void Reset(ByteSink& sink, std::uint64_t limit);

  // Sends the low n bits of value (n up to 32), most significant first.
  void WriteBits(int n, std::uint32_t value) {
    bits_ = (bits_ << n) | value;
    bitCount_ += n;
    if (bitCount_ >= 32) PutWord();
  }
  // Sends the top n bits of a code left-aligned in 16 bits.
  void WriteCode(int n, std::uint16_t code) {
    WriteBits(n, static_cast<std::uint32_t>(code) >> (16 - n));
  }
  // Passes every completed byte on, leaving fewer than 8 bits pending, so
  // that givenUp() is exact.
  void PutWholeBytes();
  // Completes a partly filled last byte with zero bits and sends what is
  // buffered.
  void Finish();

  // The data would have grown past the limit, or a write failed: nothing
  // more is produced for this member.
  bool givenUp() const { return givenUp_; }
  bool writeFailed() const { return writeFailed_; }
  // Bytes of compressed data so far (never more than the limit).
  std::uint64_t produced() const { return produced_; }

 private:
  void PutWord();
  void PutByte(std::uint8_t byte);
  void FlushOutput();

  std::uint64_t bits_ = 0;  // pending bits, right-aligned, not yet in the buffer
  int bitCount_ = 0;        // number of pending bits (below 32 between calls)
  std::uint32_t fill_ = 0;
  ByteSink* sink_ = nullptr;
  std::uint64_t produced_ = 0;
  std::uint64_t limit_ = 0;
  bool givenUp_ = false;
  bool writeFailed_ = false;
  std::uint8_t buffer_[kBufferSize] = {};
};

}  // namespace lzh

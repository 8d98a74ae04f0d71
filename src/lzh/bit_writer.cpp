// The bit writer's byte side: whole words and bytes into the buffer, the
// size limit, and the writes to the sink.
#include "lzh/bit_writer.h"

namespace lzh {

void BitWriter::Reset(ByteSink& sink, std::uint64_t limit) {
  bits_ = 0;
  bitCount_ = 0;
  fill_ = 0;
  sink_ = &sink;
  produced_ = 0;
  limit_ = limit;
  givenUp_ = false;
  writeFailed_ = false;
}

// Sends the buffered output; a failed or short write gives the member up.
void BitWriter::FlushOutput() {
  if (fill_ == 0) return;
  if (!sink_->Write(buffer_, fill_)) {
    writeFailed_ = true;
    givenUp_ = true;
  }
  fill_ = 0;
}

// One completed byte of compressed data, unless it would pass the limit.
void BitWriter::PutByte(std::uint8_t byte) {
  if (givenUp_) return;
  if (produced_ >= limit_) {
    givenUp_ = true;
    return;
  }
  buffer_[fill_++] = byte;
  produced_++;
  if (fill_ == kBufferSize) FlushOutput();
}

// Moves the top 32 pending bits into the output buffer.
void BitWriter::PutWord() {
  bitCount_ -= 32;
  const std::uint32_t word = static_cast<std::uint32_t>(bits_ >> bitCount_);
  // The buffer's size is a multiple of 4, so a whole word fits or none.
  static_assert(kBufferSize % 4 == 0);
  if (!givenUp_ && fill_ + 4 <= kBufferSize && limit_ - produced_ >= 4) {
    std::uint8_t* out = buffer_ + fill_;
    out[0] = static_cast<std::uint8_t>(word >> 24);
    out[1] = static_cast<std::uint8_t>(word >> 16);
    out[2] = static_cast<std::uint8_t>(word >> 8);
    out[3] = static_cast<std::uint8_t>(word);
    fill_ += 4;
    produced_ += 4;
    if (fill_ == kBufferSize) FlushOutput();
    return;
  }
  for (int shift = 24; shift >= 0; shift -= 8) PutByte(static_cast<std::uint8_t>(word >> shift));
}

void BitWriter::PutWholeBytes() {
  while (bitCount_ >= 8) {
    bitCount_ -= 8;
    PutByte(static_cast<std::uint8_t>(bits_ >> bitCount_));
  }
}

void BitWriter::Finish() {
  if (givenUp_) return;
  if (bitCount_ > 0) {
    PutByte(static_cast<std::uint8_t>(bits_ << (8 - bitCount_)));
    bitCount_ = 0;
  }
  if (givenUp_) return;
  FlushOutput();
}

}  // namespace lzh

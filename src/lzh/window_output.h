// The sliding window of the older LZSS methods, which doubles as their output
// buffer: the last kWindow bytes of history, then room for new bytes, which
// go to the sink in pieces of up to kSpan bytes. Only the member's original
// size is passed on, even when its last match runs past it, and the CRC-16
// covers exactly those bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "lzh/codec_io.h"
#include "lzh/crc16.h"

namespace lzh {

template <std::uint32_t kWindow, std::uint32_t kMaxMatch>
class WindowOutput {
 public:
  static constexpr std::uint32_t kSpan = 65536;
  // A decoder writes while pos() < Stop(), one item at a time, so one match
  // can end up to kMaxMatch - 1 bytes past Stop().
  static constexpr std::uint32_t kBufferSize = kWindow + kSpan + kMaxMatch;
  static_assert((kWindow & (kWindow - 1)) == 0, "window sizes are powers of two");

  // The history is left to the decoder, which fills [0, kWindow) with the
  // method's initial window contents.
  void Start(ByteSink* sink, std::uint64_t size) {
    sink_ = sink;
    remaining_ = size;
    crc_ = 0;
    pos_ = kWindow;
  }

  std::uint8_t* buffer() { return buffer_; }
  std::uint32_t pos() const { return pos_; }
  void set_pos(std::uint32_t pos) { pos_ = pos; }
  std::uint16_t crc() const { return crc_; }
  bool Done() const { return remaining_ == 0; }
  // Where this piece ends: the buffer is full, or the member is complete.
  std::uint32_t Stop() const {
    return remaining_ < kSpan ? kWindow + static_cast<std::uint32_t>(remaining_) : kWindow + kSpan;
  }

  // Passes the new bytes on (no more than the member still needs) and keeps
  // the last kWindow bytes as history. Returns the number of bytes that the
  // history moved down by, or -1 when the sink failed.
  long Flush() {
    std::uint32_t n = pos_ - kWindow;
    if (n > remaining_) n = static_cast<std::uint32_t>(remaining_);
    crc_ = Crc16Update(crc_, buffer_ + kWindow, static_cast<long>(n));
    if (sink_ != nullptr && n > 0 && !sink_->Write(buffer_ + kWindow, n)) return -1;
    remaining_ -= n;
    const std::uint32_t shift = pos_ - kWindow;
    std::memmove(buffer_, buffer_ + shift, kWindow);
    pos_ = kWindow;
    return static_cast<long>(shift);
  }

 private:
  ByteSink* sink_ = nullptr;
  std::uint64_t remaining_ = 0;  // bytes of the member not yet passed on
  std::uint32_t pos_ = kWindow;  // next new byte
  std::uint16_t crc_ = 0;
  std::uint8_t buffer_[kBufferSize];
};

// Copies a match of `length` bytes from `distance` (1..window) bytes back;
// overlapping matches repeat their pattern, as byte-wise copying does.
inline void CopyMatch(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t* src = dst - distance;
  if (distance >= length) {
    std::memcpy(dst, src, length);
  } else {
    for (std::uint32_t i = 0; i < length; ++i) dst[i] = src[i];
  }
}

}  // namespace lzh

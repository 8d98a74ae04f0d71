// Reading a member's packed bytes in chunks, as bytes or as a bit stream
// (most significant bit of each byte first), for the decoders of the older
// methods. The source ends exactly at the member's end, so running out of
// bytes that the stream needs is a data error at once, never zero padding.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"

namespace lzh {

class PackedInput {
 public:
  static constexpr std::uint32_t kChunkSize = 32768;

  void Start(ByteSource& source) {
    source_ = &source;
    pos_ = limit_ = 0;
    bits_ = 0;
    count_ = 0;
    failure_ = CodecStatus::kOk;
  }

  // Why the last Fill or Ensure failed: kDataError at the end of the
  // source, kReadError when it failed.
  CodecStatus failure() const { return failure_; }

  // ---- bytes ----

  bool HasByte() const { return pos_ < limit_; }
  std::uint32_t BytesBuffered() const { return limit_ - pos_; }
  // The caller has checked HasByte (or BytesBuffered).
  std::uint8_t TakeByte() { return buffer_[pos_++]; }
  // The next byte, or -1 when there is none (failure() tells why).
  int NextByte() {
    if (pos_ < limit_ || Fill()) return buffer_[pos_++];
    return -1;
  }

  // Replaces the drained buffer with the next chunk; false at the end of
  // the source or on a read error.
  bool Fill() {
    if (failure_ != CodecStatus::kOk) return false;  // the end and errors stay
    long got = source_->Read(buffer_, kChunkSize);
    pos_ = 0;
    if (got <= 0) {
      limit_ = 0;
      failure_ = got < 0 ? CodecStatus::kReadError : CodecStatus::kDataError;
      return false;
    }
    limit_ = static_cast<std::uint32_t>(got);
    return true;
  }

  // ---- bits ----
  // The next `count_` bits of the stream sit at the top of `bits_`; the bits
  // below them are zero, so peeking past the end of the stream sees zeros.

  // Refills stop at 56..63 bits, so every shift stays below 64.
  static constexpr int kMaxEnsure = 56;

  // At least n (up to kMaxEnsure) bits buffered; false when the stream ends
  // first (those that exist stay buffered).
  bool Ensure(int n) { return count_ >= n || RefillBits(n); }
  int BitCount() const { return count_; }
  // The next n bits (1..32) without taking them; zeros past the end.
  std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
  // All buffered bits, the next one on top (zeros below BitCount()).
  std::uint64_t PeekAll() const { return bits_; }
  // Takes n buffered bits (n <= BitCount(), n < 64).
  void Skip(int n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Takes n buffered bits (1..32) and returns them.
  std::uint32_t Take(int n) {
    std::uint32_t v = Peek(n);
    Skip(n);
    return v;
  }

 private:
  bool RefillBits(int n) {
    while (count_ < kMaxEnsure) {
      // A read error counts even when enough bits are buffered.
      if (pos_ == limit_ && !Fill()) return failure_ == CodecStatus::kDataError && count_ >= n;
      bits_ |= static_cast<std::uint64_t>(buffer_[pos_++]) << (56 - count_);  // just below the rest
      count_ += 8;
    }
    return true;
  }

  ByteSource* source_ = nullptr;
  std::uint32_t pos_ = 0;
  std::uint32_t limit_ = 0;
  std::uint64_t bits_ = 0;
  int count_ = 0;
  CodecStatus failure_ = CodecStatus::kOk;
  std::uint8_t buffer_[kChunkSize];
};

}  // namespace lzh

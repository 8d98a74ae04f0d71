// Decoder of -lzs- member data (LArc): LZSS over a 2 KiB window that starts
// filled with spaces, the first byte going to position 2048 - 17. The bit
// stream (most significant bit of each byte first) is a sequence of items:
// a 1 bit and an 8-bit literal, or a 0 bit, the 11-bit window position of a
// match and its 4-bit length (length - 2, so 2..17 bytes).
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"
#include "lzh/packed_input.h"
#include "lzh/window_output.h"

namespace lzh {

class LzsDecoder {
 public:
  static constexpr std::uint32_t kWindow = 2048;
  static constexpr std::uint32_t kMaxMatch = 17;
  static constexpr std::uint32_t kStartPosition = kWindow - kMaxMatch;

  // Decodes one member: reads its packed bytes from `in` (which ends exactly
  // at the member's end), writes exactly `originalSize` bytes to `out`
  // (nullptr: test only, nothing written), and returns the CRC-16 of those
  // bytes.
  DecodeResult Decode(ByteSource& in, std::uint64_t originalSize, ByteSink* out);

 private:
  PackedInput input_;
  WindowOutput<kWindow, kMaxMatch> window_;
};

}  // namespace lzh

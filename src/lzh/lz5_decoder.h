// Decoder of -lz5- member data (LArc): LZSS over a 4 KiB window that starts
// with a fixed pattern (see InitialWindow), the first byte going to position
// 4096 - 18. Each flag byte governs the next eight items, lowest bit first:
// a 1 bit is a literal byte, a 0 bit a match of two bytes, b0 and b1, with
// the window position b0 | (b1 & 0xF0) << 4 and the length (b1 & 0x0F) + 3.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"
#include "lzh/packed_input.h"
#include "lzh/window_output.h"

namespace lzh {

class Lz5Decoder {
 public:
  static constexpr std::uint32_t kWindow = 4096;
  static constexpr std::uint32_t kMaxMatch = 18;
  static constexpr std::uint32_t kStartPosition = kWindow - kMaxMatch;

  // The byte at window position `position` before the first byte of a member.
  static std::uint8_t InitialWindow(std::uint32_t position);

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

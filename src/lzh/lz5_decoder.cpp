// Decoder of -lz5- member data.
#include "lzh/lz5_decoder.h"

namespace lzh {

// Each byte value 0..255 thirteen times, then 0..255 once, then 255..0, then
// 128 zeros, then spaces up to the start position; the 18 bytes from there
// to the end are zeros (they are the first to be overwritten).
std::uint8_t Lz5Decoder::InitialWindow(std::uint32_t position) {
  constexpr std::uint32_t kUp = 256 * 13;
  constexpr std::uint32_t kDown = kUp + 256;
  constexpr std::uint32_t kZeros = kDown + 256;
  constexpr std::uint32_t kSpaces = kZeros + 128;
  static_assert(kSpaces + 128 - kMaxMatch == kStartPosition, "spaces end at the start position");
  if (position < kUp) return static_cast<std::uint8_t>(position / 13);
  if (position < kDown) return static_cast<std::uint8_t>(position - kUp);
  if (position < kZeros) return static_cast<std::uint8_t>(255 - (position - kDown));
  if (position < kSpaces) return 0;
  if (position < kStartPosition) return ' ';
  return 0;
}

DecodeResult Lz5Decoder::Decode(ByteSource& in, std::uint64_t originalSize, ByteSink* out) {
  input_.Start(in);
  window_.Start(out, originalSize);
  std::uint8_t* const buf = window_.buffer();
  constexpr std::uint32_t kMask = kWindow - 1;
  // Window position of buf[0]: buf[kWindow] is the first byte written, at
  // kStartPosition. Match positions are window positions, so this follows
  // every move of the history.
  std::uint32_t base = kStartPosition - kWindow;
  for (std::uint32_t i = 0; i < kWindow; ++i) buf[i] = InitialWindow((base + i) & kMask);

  unsigned flags = 0;  // the current flag byte above a 1 bit that marks its end
  while (!window_.Done()) {
    const std::uint32_t stop = window_.Stop();
    std::uint32_t pos = window_.pos();
    while (pos < stop) {
      if (flags <= 1) {
        int f = input_.NextByte();
        if (f < 0) return {input_.failure(), 0};
        flags = static_cast<unsigned>(f) | 0x100;
      }
      const bool literal = (flags & 1) != 0;
      flags >>= 1;
      int b0 = input_.NextByte();
      if (b0 < 0) return {input_.failure(), 0};
      if (literal) {
        buf[pos++] = static_cast<std::uint8_t>(b0);
        continue;
      }
      int b1 = input_.NextByte();
      if (b1 < 0) return {input_.failure(), 0};
      const std::uint32_t from = static_cast<std::uint32_t>(b0) | (b1 & 0xF0u) << 4;
      const std::uint32_t length = (b1 & 0x0Fu) + 3;
      // Position `from` was last written kWindow bytes before it comes round
      // again: the distance runs from 1 to kWindow.
      const std::uint32_t distance = ((base + pos - from - 1) & kMask) + 1;
      CopyMatch(buf + pos, distance, length);
      pos += length;
    }
    window_.set_pos(pos);
    const long shift = window_.Flush();
    if (shift < 0) return {CodecStatus::kWriteError, 0};
    base += static_cast<std::uint32_t>(shift);
  }
  return {CodecStatus::kOk, window_.crc()};
}

}  // namespace lzh

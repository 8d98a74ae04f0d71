// Decoder of -lzs- member data.
#include "lzh/lzs_decoder.h"

#include <cstring>

namespace lzh {

DecodeResult LzsDecoder::Decode(ByteSource& in, std::uint64_t originalSize, ByteSink* out) {
  input_.Start(in);
  window_.Start(out, originalSize);
  std::uint8_t* const buf = window_.buffer();
  // The whole initial window is spaces, whatever its start position.
  std::memset(buf, ' ', kWindow);
  // Window position of buf[0]: buf[kWindow] is the first byte written, at
  // kStartPosition. Match positions are window positions, so this follows
  // every move of the history.
  std::uint32_t base = kStartPosition - kWindow;
  constexpr std::uint32_t kMask = kWindow - 1;
  constexpr int kItemBits = 16;  // a match: flag, 11 + 4 bits

  while (!window_.Done()) {
    const std::uint32_t stop = window_.Stop();
    std::uint32_t pos = window_.pos();
    while (pos < stop) {
      // Near the end the stream may hold fewer bits than a match needs.
      if (!input_.Ensure(kItemBits) &&
          (input_.failure() == CodecStatus::kReadError || input_.BitCount() == 0)) {
        return {input_.failure(), 0};
      }
      if (input_.Take(1) != 0) {
        if (input_.BitCount() < 8) return {input_.failure(), 0};
        buf[pos++] = static_cast<std::uint8_t>(input_.Take(8));
        continue;
      }
      if (input_.BitCount() < 15) return {input_.failure(), 0};
      const std::uint32_t from = input_.Take(11);
      const std::uint32_t length = input_.Take(4) + 2;
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

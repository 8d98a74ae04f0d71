// Stored member data.
#include "lzh/stored.h"

#include "lzh/crc16.h"

namespace lzh {

DecodeResult CopyStored(ByteSource& in, std::uint64_t size, ByteSink* out) {
  constexpr std::uint32_t kPiece = 32768;
  std::uint8_t buffer[kPiece];
  std::uint16_t crc = 0;
  for (std::uint64_t left = size; left > 0;) {
    const std::uint32_t want = left < kPiece ? static_cast<std::uint32_t>(left) : kPiece;
    const long got = in.Read(buffer, want);
    if (got <= 0) return {got < 0 ? CodecStatus::kReadError : CodecStatus::kDataError, 0};
    const auto n = static_cast<std::uint32_t>(got);
    if (out != nullptr && !out->Write(buffer, n)) return {CodecStatus::kWriteError, 0};
    crc = Crc16Update(crc, buffer, got);
    left -= n;
  }
  return {CodecStatus::kOk, crc};
}

}  // namespace lzh

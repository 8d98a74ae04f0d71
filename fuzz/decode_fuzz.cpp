// libFuzzer target: arbitrary bytes as the packed data of one member, through
// the codec objects in memory. The first four bytes choose the method (the
// low three bits of the first byte, modulo 6: -lh5-, -lh6-, -lh7-, -lh1-,
// -lzs-, -lz5-), the original size (up to 4 MiB) and whether the output is
// kept; the rest is the packed data, sometimes with half of it missing. With
// DECODE_FUZZ_METHOD=0..5 in the environment every input goes to that method,
// to fuzz one decoder at a time. Only data errors may come back, and a
// decoded member is exactly its size with the CRC given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lzh/crc16.h"
#include "lzh/decoder.h"
#include "lzh/lh1_decoder.h"
#include "lzh/lz5_decoder.h"
#include "lzh/lzs_decoder.h"
#include "lzh/method.h"

namespace {

int MethodIndex(std::uint8_t first) {
  static const int pinned = [] {
    const char* value = std::getenv("DECODE_FUZZ_METHOD");
    return value != nullptr ? std::atoi(value) % 6 : -1;
  }();
  return pinned >= 0 ? pinned : (first & 7) % 6;
}

void Check(const lzh::DecodeResult& r, const lzh::MemorySink& out, std::uint32_t originalSize,
           bool keep) {
  if (r.status == lzh::CodecStatus::kDataError) return;
  if (r.status != lzh::CodecStatus::kOk) __builtin_trap();
  if (keep && (out.bytes.size() != originalSize ||
               Crc16Update(0, out.bytes.data(), static_cast<long>(out.bytes.size())) != r.crc)) {
    __builtin_trap();
  }
}

// Each decoder is made once and serves every input, as the extractor's does.
template <typename Decoder>
Decoder& Instance() {
  static Decoder* decoder = new Decoder;
  return *decoder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int index = MethodIndex(data[0]);
  const bool keep = (data[0] & 0x80) != 0;
  // Sizes up to 64 KiB, and in one input of four up to 4 MiB.
  std::uint32_t originalSize = data[1] | (data[2] << 8);
  if ((data[0] & 0x48) == 0x48) originalSize |= (data[3] & 0x3F) << 16;
  const std::size_t packed = (data[0] & 0x30) == 0x10 ? (size - 4) / 2 : size - 4;
  const std::string bytes(reinterpret_cast<const char*>(data + 4), packed);
  lzh::MemorySource in(bytes);
  lzh::MemorySink out;
  lzh::ByteSink* sink = keep ? &out : nullptr;
  lzh::DecodeResult r{};
  switch (index) {
    case 3:
      r = Instance<lzh::Lh1Decoder>().Decode(in, originalSize, sink);
      break;
    case 4:
      r = Instance<lzh::LzsDecoder>().Decode(in, originalSize, sink);
      break;
    case 5:
      r = Instance<lzh::Lz5Decoder>().Decode(in, originalSize, sink);
      break;
    default:
      r = Instance<lzh::Decoder>().Decode(lzh::MethodForNumber(5 + index), in, originalSize, sink);
      break;
  }
  Check(r, out, originalSize, keep);
  return 0;
}

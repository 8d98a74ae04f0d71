// libFuzzer target: arbitrary bytes as the packed data of one member. The
// first four bytes choose the method (the low three bits of the first byte,
// modulo 6: -lh5-, -lh6-, -lh7-, -lh1-, -lzs-, -lz5-), the original size (up to 4 MiB)
// and whether the output is kept; the rest is the packed data. With
// DECODE_FUZZ_METHOD=0..5 in the environment every input goes to that method,
// to fuzz one decoder at a time.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "extract/decoder.h"
#include "lzh/crc16.h"
#include "lzh/lh1_decoder.h"
#include "lzh/lz5_decoder.h"
#include "lzh/lzs_decoder.h"

namespace {

int MemoryFile(const char* name) {
  int fd = memfd_create(name, 0);
  if (fd < 0) __builtin_trap();
  return fd;
}

int MethodIndex(std::uint8_t first) {
  static const int pinned = [] {
    const char* value = std::getenv("DECODE_FUZZ_METHOD");
    return value != nullptr ? std::atoi(value) % 6 : -1;
  }();
  return pinned >= 0 ? pinned : (first & 7) % 6;
}

// The decoders of the older methods, through memory: only data errors may
// come back, and a decoded member is exactly its size with the CRC given.
template <typename Decoder>
void DecodeOld(const std::uint8_t* packed, std::size_t size, std::uint32_t originalSize,
               bool keep) {
  static Decoder decoder;  // allocated once, as the extractor holds it
  const std::string bytes(reinterpret_cast<const char*>(packed), size);
  lzh::MemorySource in(bytes);
  lzh::MemorySink out;
  const lzh::DecodeResult r = decoder.Decode(in, originalSize, keep ? &out : nullptr);
  if (r.status == lzh::CodecStatus::kDataError) return;
  if (r.status != lzh::CodecStatus::kOk) __builtin_trap();
  if (keep && (out.bytes.size() != originalSize ||
               Crc16Update(0, out.bytes.data(), static_cast<long>(out.bytes.size())) != r.crc)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int input = MemoryFile("packed");
  static const int output = MemoryFile("output");
  if (size < 4) return 0;
  const int index = MethodIndex(data[0]);
  const bool toFile = (data[0] & 0x80) != 0;
  // Sizes up to 64 KiB, and in one input of four up to 4 MiB.
  std::uint32_t originalSize = data[1] | (data[2] << 8);
  if ((data[0] & 0x48) == 0x48) originalSize |= (data[3] & 0x3F) << 16;
  if (index >= 3) {
    // The source ends at the member's end; sometimes half of it is missing.
    const std::size_t packed = (data[0] & 0x30) == 0x10 ? (size - 4) / 2 : size - 4;
    if (index == 3) DecodeOld<lzh::Lh1Decoder>(data + 4, packed, originalSize, toFile);
    if (index == 4) DecodeOld<lzh::LzsDecoder>(data + 4, packed, originalSize, toFile);
    if (index == 5) DecodeOld<lzh::Lz5Decoder>(data + 4, packed, originalSize, toFile);
    return 0;
  }
  const int method = 5 + index;
  // Sometimes the packed size claims less, or more, than there is.
  std::uint32_t packedSize = static_cast<std::uint32_t>(size - 4);
  if ((data[0] & 0x30) == 0x10) packedSize /= 2;
  if ((data[0] & 0x30) == 0x20) packedSize += 100000;

  if (ftruncate(input, 0) != 0 || pwrite(input, data + 4, size - 4, 0) < 0) __builtin_trap();
  lseek(input, 0, SEEK_SET);
  if (toFile) {
    if (ftruncate(output, 0) != 0) __builtin_trap();
    lseek(output, 0, SEEK_SET);
  }
  ArchiveEntry entry{};
  entry.method_number = method;
  entry.packed_size = packedSize;
  entry.original_size = originalSize;
  entry.archive_handle = input;
  entry.file_handle = toFile ? output : plat::kInvalidFile;
  int success = -1;
  int writeFailed = -1;
  DecodeMember(entry, &success, &writeFailed);
  if (success != 0 && success != 1) __builtin_trap();
  if (toFile && success == 1) {
    // Exactly the original size is written, never more.
    struct stat st;
    if (fstat(output, &st) != 0 || writeFailed != 0) __builtin_trap();
    if (static_cast<std::uint64_t>(st.st_size) != originalSize) __builtin_trap();
  }
  return 0;
}

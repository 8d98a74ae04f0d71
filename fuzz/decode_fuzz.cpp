// libFuzzer target: arbitrary bytes as the packed data of one member. The
// first four bytes choose the method, the original size (up to 4 MiB) and
// whether the output goes to a file; the rest is the packed data.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "lzh/crc16.h"
#include "lzh/decoder.h"

namespace {

int MemoryFile(const char* name) {
  int fd = memfd_create(name, 0);
  if (fd < 0) __builtin_trap();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int input = MemoryFile("packed");
  static const int output = MemoryFile("output");
  if (size < 4) return 0;
  const int method = 5 + data[0] % 3;
  const bool toFile = (data[0] & 0x80) != 0;
  // Sizes up to 64 KiB, and in one input of four up to 4 MiB.
  std::uint32_t originalSize = data[1] | (data[2] << 8);
  if ((data[0] & 0x4C) == 0x4C) originalSize |= (data[3] & 0x3F) << 16;
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

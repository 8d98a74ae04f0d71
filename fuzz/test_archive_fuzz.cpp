// libFuzzer target: arbitrary bytes as an archive, opened and tested member
// by member as `tsubo t` does.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ops/unlha.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/tsubo-fuzz-" + std::to_string(getpid()) + ".lzh";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) __builtin_trap();
  std::fclose(file);

  ArchiveOptions options;
  options.testMode = true;
  CUnlha archive(options);
  if (Opened(archive.Open(path.c_str(), false))) {
    for (const ArchiveEntry& entry : archive.entries()) {
      // Members claiming more than 16 MiB only cost time here: their
      // decoding is bounded by the original size like any other.
      if (entry.original_size > (16u << 20)) continue;
      archive.ExtractEntry(entry);
    }
  }
  archive.CloseAndCommit();
  return 0;
}

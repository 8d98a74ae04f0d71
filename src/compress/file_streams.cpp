// FileSource and FileSink: plain reads and writes through the platform layer.
#include "compress/file_streams.h"

long FileSource::Read(std::uint8_t* buffer, std::uint32_t count) {
  return plat::ReadFile(file_, buffer, count);
}

bool FileSink::Write(const std::uint8_t* data, std::uint32_t count) {
  return plat::WriteFile(file_, data, count) == static_cast<long>(count);
}

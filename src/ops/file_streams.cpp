// FileSource and FileSink: plain reads and writes through the platform layer.
#include "ops/file_streams.h"

long FileSource::Read(std::uint8_t* buffer, std::uint32_t count) {
  if (count > left_) count = static_cast<std::uint32_t>(left_);
  if (count == 0) return 0;
  const long got = plat::ReadFile(file_, buffer, count);
  if (got > 0) left_ -= static_cast<std::uint64_t>(got);
  return got;
}

long FileRangeSource::Read(std::uint8_t* buffer, std::uint32_t count) {
  if (count > left_) count = static_cast<std::uint32_t>(left_);
  if (count == 0) return 0;
  const long got = plat::ReadFileAt(file_, offset_, buffer, count);
  if (got > 0) {
    offset_ += static_cast<std::uint64_t>(got);
    left_ -= static_cast<std::uint64_t>(got);
  }
  return got;
}

bool FileSink::Write(const std::uint8_t* data, std::uint32_t count) {
  return plat::WriteFile(file_, data, count) == static_cast<long>(count);
}

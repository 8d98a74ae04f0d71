// ArchiveInput: buffered reading of the archive file at logical positions.
#include "archive/archive_input.h"

#include <cstring>

ArchiveInput::ArchiveInput(plat::FileHandle file, std::uint64_t position)
    : file_(file), position_(position) {}

bool ArchiveInput::SeekTo(std::uint64_t position) {
  // No system offset goes past this, so a size that leads there is corrupt.
  if (position > INT64_MAX) return false;
  position_ = position;
  return true;
}

long ArchiveInput::Read(void* destination, std::size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  std::size_t done = 0;
  while (done < count) {
    if (InBuffer(position_)) {
      const std::size_t offset = static_cast<std::size_t>(position_ - bufferStart_);
      std::size_t take = bufferSize_ - offset;
      if (take > count - done) take = count - done;
      std::memcpy(out + done, buffer_ + offset, take);
      position_ += take;
      done += take;
      continue;
    }
    // Positional reads: the headers of a directory cost one system call per
    // buffer, never a seek as well. After a jump over a member's data the
    // next header is all that is wanted, so a short read does.
    const bool jumped = position_ - (bufferStart_ + bufferSize_) >= sizeof buffer_;
    const long got =
        plat::ReadFileAt(file_, position_, buffer_, jumped ? kReadAfterJump : sizeof buffer_);
    if (got <= 0) {
      if (got < 0 && done == 0) return -1;
      break;
    }
    bufferStart_ = position_;
    bufferSize_ = static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

std::int64_t ArchiveInput::ZoneOffsetSeconds() {
  if (!haveZoneOffset_) {
    zoneOffset_ = plat::TimeZoneOffsetSeconds();
    haveZoneOffset_ = true;
  }
  return zoneOffset_;
}

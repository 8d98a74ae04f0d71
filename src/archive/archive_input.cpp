// ArchiveInput: buffered reading of the archive file at logical positions.
#include "archive/archive_input.h"

#include <cstring>

ArchiveInput::ArchiveInput(plat::FileHandle file, std::uint64_t position)
    : file_(file), position_(position), filePosition_(position) {}

bool ArchiveInput::SeekTo(std::uint64_t position) {
  if (InBuffer(position) || position == bufferStart_ + bufferSize_) {
    position_ = position;
    return true;
  }
  if (position > INT64_MAX || plat::SeekFile(file_, static_cast<std::int64_t>(position),
                                             plat::SeekOrigin::Begin) != position) {
    return false;
  }
  position_ = filePosition_ = position;
  bufferSize_ = 0;
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
    if (!SyncFilePosition()) return done == 0 ? -1 : static_cast<long>(done);
    const long got = plat::ReadFile(file_, buffer_, sizeof buffer_);
    if (got <= 0) {
      if (got < 0 && done == 0) return -1;
      break;
    }
    bufferStart_ = position_;
    bufferSize_ = static_cast<std::size_t>(got);
    filePosition_ += static_cast<std::uint64_t>(got);
  }
  return static_cast<long>(done);
}

bool ArchiveInput::SyncFilePosition() {
  if (filePosition_ == position_) return true;
  if (position_ > INT64_MAX || plat::SeekFile(file_, static_cast<std::int64_t>(position_),
                                              plat::SeekOrigin::Begin) != position_) {
    return false;
  }
  filePosition_ = position_;
  return true;
}

std::int64_t ArchiveInput::ZoneOffsetSeconds() {
  if (!haveZoneOffset_) {
    zoneOffset_ = plat::TimeZoneOffsetSeconds();
    haveZoneOffset_ = true;
  }
  return zoneOffset_;
}

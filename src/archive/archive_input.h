// ArchiveInput: reads the archive file through a window buffer at logical
// positions, so that a directory of many small members costs a handful of
// system calls instead of several per member.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

class ArchiveInput {
 public:
  // Reads start at `position`; the system's file pointer is never moved.
  ArchiveInput(plat::FileHandle file, std::uint64_t position);
  ArchiveInput(const ArchiveInput&) = delete;
  ArchiveInput& operator=(const ArchiveInput&) = delete;

  // Moves the logical position; false past the largest file offset.
  bool SeekTo(std::uint64_t position);
  // Delivers up to `count` bytes, fewer at the end of the file; -1 when
  // nothing arrived because the system read failed.
  long Read(void* destination, std::size_t count);
  bool ReadExact(void* destination, std::size_t count) {
    return Read(destination, count) == static_cast<long>(count);
  }
  std::uint64_t Position() const { return position_; }
  // The local zone's offset, asked of the system once per input.
  std::int64_t ZoneOffsetSeconds();

 private:
  bool InBuffer(std::uint64_t position) const {
    return position >= bufferStart_ && position - bufferStart_ < bufferSize_;
  }

  plat::FileHandle file_;
  std::uint64_t position_;  // logical position
  std::uint64_t bufferStart_ = 0;
  std::size_t bufferSize_ = 0;
  bool haveZoneOffset_ = false;
  std::int64_t zoneOffset_ = 0;
  // Large enough for dozens of small members, small enough that skipping
  // large members does not read much of their data.
  unsigned char buffer_[8192];
  // Most headers fit in this; copying a whole buffer for each header of a
  // directory of large members cost more than the rest of reading it.
  static constexpr std::uint32_t kReadAfterJump = 1024;
};

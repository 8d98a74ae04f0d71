// The codecs' byte source and sink over open files: the one place where a
// codec's input and output meet the platform layer.
#pragma once

#include <cstdint>

#include "lzh/codec_io.h"
#include "platform/platform.h"

// Reads a file from where its file pointer stands, at most `limit` bytes (a
// member's packed bytes, never the next member's header).
class FileSource final : public lzh::ByteSource {
 public:
  explicit FileSource(plat::FileHandle file, std::uint64_t limit = UINT64_MAX)
      : file_(file), left_(limit) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override;

 private:
  plat::FileHandle file_;
  std::uint64_t left_;
};

// Reads `length` bytes of a file from `offset` on, without its file pointer:
// several threads may read one archive this way at once.
class FileRangeSource final : public lzh::ByteSource {
 public:
  FileRangeSource(plat::FileHandle file, std::uint64_t offset, std::uint64_t length)
      : file_(file), offset_(offset), left_(length) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override;

 private:
  plat::FileHandle file_;
  std::uint64_t offset_;
  std::uint64_t left_;
};

// Writes to a file at its file pointer.
class FileSink final : public lzh::ByteSink {
 public:
  explicit FileSink(plat::FileHandle file) : file_(file) {}
  bool Write(const std::uint8_t* data, std::uint32_t count) override;

 private:
  plat::FileHandle file_;
};

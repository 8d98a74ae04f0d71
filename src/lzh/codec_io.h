// The byte source and byte sink through which every codec reads and writes.
// A codec knows nothing of files, entries or the console: the caller hands it
// a source that yields exactly the bytes to code (a member's packed bytes, or
// a file's bytes) and a sink that takes what it produces.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace lzh {

// How a codec call ended: kDataError when the packed stream is corrupt or
// ends before the member is complete, kReadError or kWriteError when the
// source or the sink failed.
enum class CodecStatus { kOk, kDataError, kReadError, kWriteError };
// The outcome of decoding one member and the CRC-16 of the bytes produced.
struct DecodeResult {
  CodecStatus status;
  std::uint16_t crc;
};

class ByteSource {
 public:
  // Up to `count` bytes into `buffer`: the number delivered (fewer than asked
  // only near the end), 0 at the end, -1 when reading failed.
  virtual long Read(std::uint8_t* buffer, std::uint32_t count) = 0;

 protected:
  ~ByteSource() = default;
};

class ByteSink {
 public:
  // Takes all `count` bytes; false when they could not be written whole.
  virtual bool Write(const std::uint8_t* data, std::uint32_t count) = 0;

 protected:
  ~ByteSink() = default;
};

// Bytes held in memory, handed out in pieces of at most `chunk` bytes so
// that tests can make a codec refill at awkward places.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(const std::string& bytes, std::uint32_t chunk = 0xFFFFFFFFu)
      : data_(bytes.data()), size_(bytes.size()), chunk_(chunk) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override {
    std::size_t n = size_ - pos_;
    if (n > count) n = count;
    if (n > chunk_) n = chunk_;
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }

 private:
  const char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::uint32_t chunk_;
};

// Collects everything written; `limit` bytes at most, after which writes fail
// (a full disk, for tests).
class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::size_t limit = static_cast<std::size_t>(-1)) : limit_(limit) {}
  bool Write(const std::uint8_t* data, std::uint32_t count) override {
    if (count > limit_ - bytes.size()) return false;
    bytes.append(reinterpret_cast<const char*>(data), count);
    return true;
  }
  std::string bytes;

 private:
  std::size_t limit_;
};

}  // namespace lzh

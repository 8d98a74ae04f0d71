// Telling the inquire object how far the work on one member has come: a
// meter that reports every kProgressStep bytes and once at the end, and a
// source and a sink that count what passes through them.
#pragma once

#include <cstdint>
#include <string>

#include "lzh/codec_io.h"
#include "ops/inquire_event.h"

inline constexpr std::uint64_t kProgressStep = 1 << 20;

class ProgressMeter {
 public:
  // Without an inquire object nothing is reported.
  ProgressMeter(CInquireEvent* inquire, std::string name, std::uint64_t total)
      : inquire_(inquire), name_(std::move(name)), total_(total) {
    if (inquire_ != nullptr) inquire_->Progress(name_.c_str(), 0, total_, false);
  }
  ~ProgressMeter() {
    if (inquire_ != nullptr) inquire_->Progress(name_.c_str(), done_, total_, true);
  }
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void Add(std::uint64_t bytes) { Set(done_ + bytes); }
  void Set(std::uint64_t done) {
    const bool step = done / kProgressStep != done_ / kProgressStep;
    done_ = done;
    if (step && inquire_ != nullptr) inquire_->Progress(name_.c_str(), done_, total_, false);
  }

 private:
  CInquireEvent* inquire_;
  std::string name_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
};

// Passes writes on to `sink` (or drops them when it is nullptr) and counts them.
class MeteredSink final : public lzh::ByteSink {
 public:
  MeteredSink(lzh::ByteSink* sink, ProgressMeter& meter) : sink_(sink), meter_(meter) {}
  bool Write(const std::uint8_t* data, std::uint32_t count) override {
    if (sink_ != nullptr && !sink_->Write(data, count)) return false;
    meter_.Add(count);
    return true;
  }

 private:
  lzh::ByteSink* sink_;
  ProgressMeter& meter_;
};

// Passes reads on to `source` and counts them.
class MeteredSource final : public lzh::ByteSource {
 public:
  MeteredSource(lzh::ByteSource& source, ProgressMeter& meter) : source_(source), meter_(meter) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override {
    const long got = source_.Read(buffer, count);
    if (got > 0) meter_.Add(static_cast<std::uint64_t>(got));
    return got;
  }

 private:
  lzh::ByteSource& source_;
  ProgressMeter& meter_;
};

// A plain, unoptimised transcription of the match finder and encoder loop,
// kept as the yardstick for the fast one: both must queue the very same
// symbols, so both must write the very same bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lzh/block_encoder.h"
#include "lzh/codec_io.h"

namespace reference {

struct Encoder {
  static constexpr int kMaxMatch = 256;
  std::vector<std::uint8_t> window = std::vector<std::uint8_t>(2 * 65536 + 256 + 256);
  std::vector<std::uint32_t> head = std::vector<std::uint32_t>(32768);
  std::vector<std::uint32_t> link = std::vector<std::uint32_t>(65536);
  std::vector<bool> crowded = std::vector<bool>(32768);
  const std::string& input;
  lzh::BlockEncoder& blocks;
  std::size_t readOffset = 0;
  std::uint32_t d = 0, w = 0;
  std::int32_t pos = 0, matchLen = 0, matchPos = 0;
  std::uint32_t remainder = 0;
  unsigned hash = 0;
  bool firstFill = true;

  Encoder(const std::string& in, lzh::BlockEncoder& out) : input(in), blocks(out) {}

  std::uint32_t Read(std::uint8_t* to, std::uint32_t count) {
    std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::size_t>(count, input.size() - readOffset));
    std::memcpy(to, input.data() + readOffset, n);
    readOffset += n;
    return n;
  }

  void Slide() {
    firstFill = false;
    std::memmove(window.data(), window.data() + d, d + kMaxMatch);
    remainder += Read(window.data() + w - d, d);
    pos -= static_cast<std::int32_t>(d);
    for (auto& h : head) h = h >= d ? h - d : 0;
    crowded.assign(crowded.size(), false);
    for (std::uint32_t i = 0; i < d; i++) link[i] = link[i] >= d ? link[i] - d : 0;
  }

  void Advance() {
    remainder--;
    pos++;
    if (pos >= static_cast<std::int32_t>(w - kMaxMatch)) Slide();
    hash = ((hash << 5) ^ window[pos + 2]) & 0x7FFF;
  }

  void Link() {
    link[static_cast<std::uint32_t>(pos) & (d - 1)] = head[hash];
    head[hash] = static_cast<std::uint32_t>(pos);
  }

  void Pass(unsigned h, int shift, int limit) {
    int count = 0;
    std::uint32_t candidate = head[h];
    std::uint32_t bound = firstFill ? d + shift : pos - d + shift;
    while (candidate > bound) {
      count++;
      std::uint32_t start = candidate - shift;
      if (window[start + matchLen] == window[pos + matchLen]) {
        int len = 0;
        while (len < limit && window[start + len] == window[pos + len]) len++;
        if (len > matchLen) {
          matchPos = static_cast<std::int32_t>(start);
          matchLen = len;
          if (len == limit) break;
        }
      }
      candidate = link[candidate & (d - 1)];
    }
    if (count > 255) crowded[h] = true;
  }

  void Find() {
    if (matchLen < 2) matchLen = 2;
    matchPos = pos;
    unsigned h = hash;
    int shift = 0;
    while (crowded[h] && shift < 253) {
      h = ((h << 5) ^ window[pos + shift + 3]) & 0x7FFF;
      shift++;
    }
    if (shift == 253) {
      shift = 0;
      h = hash;
    }
    Pass(h, shift, 256);
    if (!(matchLen > shift + 2 || shift == 0)) Pass(hash, 0, shift + 2);
    Link();
  }

  void Clip() {
    if (static_cast<std::uint32_t>(matchLen) > remainder)
      matchLen = static_cast<std::int32_t>(remainder);
  }

  void Run(int method) {
    int bits = method == 6 ? 15 : method == 7 ? 16 : 13;
    d = 1u << bits;
    w = 2 * d + kMaxMatch;
    std::uint32_t n = Read(window.data() + d, d + kMaxMatch);
    remainder = n;
    matchLen = n < 2 ? static_cast<std::int32_t>(n) : 2;
    pos = static_cast<std::int32_t>(d);
    matchPos = pos;
    hash = ((window[d] << 5 ^ window[d + 1]) << 7 ^ window[d + 2]) & 0x7FFF;
    Link();
    if (n == 0) return;
    do {
      std::int32_t prevLen = matchLen;
      std::int32_t prevOff = pos - matchPos - 1;
      matchLen--;
      Advance();
      Find();
      Clip();
      if (matchLen > prevLen || prevLen < 3) {
        blocks.QueueSymbol(window[pos - 1], 0);
      } else {
        blocks.QueueSymbol(static_cast<unsigned>(prevLen + 253),
                           static_cast<unsigned>(prevOff) & (d - 1));
        for (int k = 0; k < prevLen - 2; k++) {
          Advance();
          Link();
        }
        Advance();
        matchLen = 2;
        Find();
        Clip();
      }
    } while (!blocks.writer().givenUp() && remainder > 0);
  }
};

// The compressed bytes of input, as the plain encoder writes them.
inline std::string Compress(const std::string& input, int method) {
  lzh::MemorySink out;
  auto blocks = std::make_unique<lzh::BlockEncoder>();
  blocks->Start(lzh::MethodForNumber(method), out, input.size());
  auto encoder = std::make_unique<Encoder>(input, *blocks);
  encoder->Run(method);
  blocks->Finish();
  return out.bytes;
}

}  // namespace reference

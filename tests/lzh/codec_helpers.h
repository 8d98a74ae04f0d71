// Helpers of the codec tests: the encoder and the decoder run on byte
// strings in memory, and generators of reproducible test inputs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "lzh/codec_io.h"
#include "lzh/crc16.h"
#include "lzh/decoder.h"
#include "lzh/encoder.h"
#include "support/reference_crc16.h"

namespace codec_test {

inline const char* MethodName(int method) {
  return method == 7 ? "-lh7-" : method == 6 ? "-lh6-" : "-lh5-";
}

inline std::uint32_t DictionarySize(int method) {
  return method == 7 ? 65536u : method == 6 ? 32768u : 8192u;
}

// One encoder for the tests of a program, reused from member to member as
// when an archive gets many members.
inline lzh::Encoder& SharedEncoder() {
  static const std::unique_ptr<lzh::Encoder> encoder = std::make_unique<lzh::Encoder>();
  return *encoder;
}

// A limit the compressed data never reaches: the encoder then codes all of
// its input, however little it shrinks.
inline constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

struct Compressed {
  std::string data;  // the bytes written to the sink
  lzh::EncodeResult result;
  bool NotSmaller() const { return result.outcome == lzh::EncodeResult::Outcome::kNotSmaller; }
  bool WriteFailed() const { return result.outcome == lzh::EncodeResult::Outcome::kWriteError; }
};

// Compresses input with method 5, 6 or 7, giving up past `limit` bytes.
inline Compressed Compress(const std::string& input, int method, std::uint64_t limit,
                           lzh::Encoder& encoder = SharedEncoder()) {
  lzh::MemorySource in(input);
  lzh::MemorySink out;
  Compressed result;
  result.result = encoder.Encode(method, in, limit, out);
  result.data = std::move(out.bytes);
  return result;
}

// Compresses input as a member: giving up unless it shrinks.
inline Compressed Compress(const std::string& input, int method) {
  return Compress(input, method, input.size());
}

struct Decoded {
  std::string data;
  std::uint16_t crc;
  int success;
};

// Decodes packed data of the given original size with method 5, 6 or 7.
inline Decoded Decode(const std::string& packed, std::uint32_t originalSize, int method) {
  static const std::unique_ptr<lzh::Decoder> decoder = std::make_unique<lzh::Decoder>();
  lzh::MemorySource in(packed);
  lzh::MemorySink out;
  const lzh::DecodeResult result =
      decoder->Decode(lzh::MethodForNumber(method), in, originalSize, &out);
  return {std::move(out.bytes), result.crc, result.status == lzh::CodecStatus::kOk ? 1 : 0};
}

inline std::uint64_t Fnv1a64(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char b : bytes) {
    hash ^= b;
    hash *= 1099511628211ull;
  }
  return hash;
}

inline void PutLittle(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(static_cast<char>(value >> (8 * i)));
}

class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B97F4A7C15ull) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 32);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

inline std::string TextBytes(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {
      "the",     "int",    "return", "struct", "static", "const",  "unsigned", "char",
      "void",    "if",     "else",   "while",  "for",    "size_t", "define",   "include",
      "buffer",  "length", "window", "offset", "match",  "symbol", "#ifndef",  "#endif",
      "typedef", "extern", "inline", "0x7FFF", "NULL",   "errno",  "{",        "}",
      "(",       ")",      ";",      "=",      "==",     "+",      "*",        "->",
      "archive", "member", "header", "crc",    "table",  "heap",   "node",     "count"};
  constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];
  Random random(seed);
  std::string out;
  int column = 0;
  while (out.size() < size) {
    // Skewed word choice, as in real text.
    std::uint32_t r = random.Below(1000);
    std::size_t word = (r * r / 1000) * kWordCount / 1000;
    out += kWords[word];
    column += static_cast<int>(std::strlen(kWords[word])) + 1;
    if (column > 60 || random.Below(12) == 0) {
      out += '\n';
      int indent = static_cast<int>(random.Below(4)) * 2;
      out.append(static_cast<std::size_t>(indent), ' ');
      column = indent;
    } else {
      out += ' ';
    }
  }
  out.resize(size);
  return out;
}

// Mixed text, binary-like records, runs and noise.
inline std::string VariedBytes(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::string out;
  while (out.size() < size) {
    std::size_t piece = 256 + random.Below(20000);
    switch (random.Below(6)) {
      case 0:
        out += TextBytes(piece, random.Next());
        break;
      case 1:  // little-endian records of small numbers
        for (std::size_t i = 0; i < piece / 8; i++) {
          PutLittle(out, random.Below(300), 4);
          PutLittle(out, 0x400000u + random.Below(1 << 12) * 16, 4);
        }
        break;
      case 2:  // a run
        out.append(piece, static_cast<char>(random.Below(4) == 0 ? 0 : random.Below(256)));
        break;
      case 3:  // noise
        for (std::size_t i = 0; i < piece; i++) out.push_back(static_cast<char>(random.Next()));
        break;
      default:  // a copy of something earlier, near or far
        if (out.size() > 1000) {
          std::size_t back =
              1 +
              random.Below(static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), 140000)));
          std::size_t from = out.size() - back;
          std::size_t len = std::min(piece, back);
          std::string copy = out.substr(from, len);
          if (!copy.empty()) copy[random.Below(static_cast<std::uint32_t>(copy.size()))] ^= 0x20;
          out += copy;
        }
        break;
    }
  }
  out.resize(size);
  return out;
}

// Matches of the 18 lengths 3-20 in one block, after a block of noise to
// copy from, whose counts grow like the Fibonacci numbers (each at least 2
// above the sum of all but the one before, so that a stray match or two
// does not matter): the literal/length tree of that block is a chain 17
// levels deep. The rarest lengths come last, some spare common ones first
// (the noise block may take them), and a copy never starts with the byte
// that follows the previous copy's source, so that matches do not run on.
// The default seed is one with which every method's block needs the cut to
// 16-bit codes: no Huffman code of that block's counts is 16 bits deep or
// less.
inline std::string FibonacciSkewed(int method, std::uint32_t seed = 35) {
  Random random(seed);
  std::vector<int> counts = {1, 1};
  int sum = 2;
  while (counts.size() < 18) {
    counts.push_back(sum - counts.back() + 2);
    sum += counts.back();
  }
  std::vector<int> lengths;
  for (int k = 0; k < 18; k++)
    lengths.insert(lengths.begin(), static_cast<std::size_t>(counts[k]), 3 + k);
  for (std::size_t i = lengths.size() - 16; i > 1; i--) {
    std::swap(lengths[i - 1], lengths[random.Below(static_cast<std::uint32_t>(i))]);
  }
  lengths.insert(lengths.begin(), 40, 20);
  std::string out;
  for (int i = 0; i < 29112; i++) out.push_back(static_cast<char>(random.Next()));
  std::uint32_t reach = std::min<std::uint32_t>(DictionarySize(method) - 64, 29000);
  int avoid = -1;
  for (int len : lengths) {
    std::uint32_t span = std::min<std::uint32_t>(static_cast<std::uint32_t>(out.size()), reach);
    std::size_t from;
    do {
      from = out.size() - span + random.Below(span - static_cast<std::uint32_t>(len));
    } while (static_cast<unsigned char>(out[from]) == avoid);
    avoid = static_cast<unsigned char>(out[from + static_cast<std::size_t>(len)]);
    out += out.substr(from, static_cast<std::size_t>(len));
  }
  return out;
}

inline std::string FileBytes(const std::string& path, std::size_t maxSize) {
  std::ifstream in(path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (all.size() > maxSize) all.resize(maxSize);
  return all;
}

}  // namespace codec_test

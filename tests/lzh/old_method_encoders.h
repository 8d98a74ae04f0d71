// Test-side encoders of the older methods (-lh1-, -lzs-, -lz5-): a list of
// tokens (literals and matches) is either made from data by a simple greedy
// match finder or written by hand to reach given codes, then coded in each
// method's stream format. Apply gives the bytes a token list stands for.
// Used by the decoder tests and the decoder benchmark.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "lzh/lh1_decoder.h"
#include "lzh/lz5_decoder.h"
#include "lzh/lzs_decoder.h"

namespace oldtest {

struct Token {
  std::uint32_t length;    // 0 for a literal
  std::uint32_t distance;  // of a match: 1..window
  std::uint8_t literal;
};

// Most significant bit first, the last byte filled with zero bits.
class BitWriter {
 public:
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = static_cast<std::uint8_t>(acc_ << 1 | ((value >> i) & 1));
      if (++n_ == 8) {
        out_.push_back(static_cast<char>(acc_));
        n_ = 0;
      }
    }
  }
  std::string Finish() {
    if (n_ > 0) out_.push_back(static_cast<char>(acc_ << (8 - n_)));
    n_ = 0;
    return out_;
  }

 private:
  std::string out_;
  std::uint8_t acc_ = 0;
  int n_ = 0;
};

// Window position of the first byte for the methods with absolute match
// positions.
inline std::uint32_t RingPosition(std::uint32_t start, std::uint64_t produced,
                                  std::uint32_t window) {
  return static_cast<std::uint32_t>((start + produced) & (window - 1));
}

inline std::string EncodeLh1(const std::vector<Token>& tokens) {
  using Code = lzh::AdaptiveCode;
  Code model;
  model.Reset();
  // Codes of the upper 6 position bits, canonical: value order, shorter first.
  std::uint32_t positionCode[64];
  int positionLength[64];
  for (int i = 0, value = 0, code = 0; i < 6; ++i) {
    const int length = lzh::Lh1Decoder::kPositionMinLength + i;
    for (int k = 0; k < lzh::Lh1Decoder::kPositionCodeCounts[i]; ++k, ++value) {
      positionCode[value] = static_cast<std::uint32_t>(code >> (8 - length));
      positionLength[value] = length;
      code += 1 << (8 - length);
    }
  }
  BitWriter w;
  for (const Token& t : tokens) {
    const int symbol = t.length == 0 ? t.literal : static_cast<int>(t.length) + 253;
    // The path from the symbol's leaf up to the root, bit by bit.
    std::uint64_t bits = 0;
    int count = 0;
    for (int n = model.parent(Code::kNodes + symbol); n != Code::kRoot; n = model.parent(n)) {
      bits |= static_cast<std::uint64_t>(n - model.child(model.parent(n))) << count++;
    }
    for (int i = count - 1; i >= 0; --i) w.Put(static_cast<std::uint32_t>(bits >> i) & 1, 1);
    model.Update(symbol);
    if (t.length != 0) {
      const std::uint32_t p = t.distance - 1;
      w.Put(positionCode[p >> 6], positionLength[p >> 6]);
      w.Put(p & 63, 6);
    }
  }
  return w.Finish();
}

inline std::string EncodeLzs(const std::vector<Token>& tokens) {
  constexpr std::uint32_t kWindow = lzh::LzsDecoder::kWindow;
  BitWriter w;
  std::uint64_t produced = 0;
  for (const Token& t : tokens) {
    const std::uint32_t r = RingPosition(lzh::LzsDecoder::kStartPosition, produced, kWindow);
    if (t.length == 0) {
      w.Put(1, 1);
      w.Put(t.literal, 8);
      ++produced;
    } else {
      w.Put(0, 1);
      w.Put((r - t.distance) & (kWindow - 1), 11);
      w.Put(t.length - 2, 4);
      produced += t.length;
    }
  }
  return w.Finish();
}

inline std::string EncodeLz5(const std::vector<Token>& tokens) {
  constexpr std::uint32_t kWindow = lzh::Lz5Decoder::kWindow;
  std::string out;
  std::string group;
  std::uint8_t flags = 0;
  int items = 0;
  std::uint64_t produced = 0;
  for (const Token& t : tokens) {
    const std::uint32_t r = RingPosition(lzh::Lz5Decoder::kStartPosition, produced, kWindow);
    if (t.length == 0) {
      flags = static_cast<std::uint8_t>(flags | 1 << items);
      group += static_cast<char>(t.literal);
      ++produced;
    } else {
      const std::uint32_t from = (r - t.distance) & (kWindow - 1);
      group += static_cast<char>(from & 0xFF);
      group += static_cast<char>(((from >> 4) & 0xF0) | (t.length - 3));
      produced += t.length;
    }
    if (++items == 8) {
      out += static_cast<char>(flags) + group;
      group.clear();
      flags = 0;
      items = 0;
    }
  }
  if (items > 0) out += static_cast<char>(flags) + group;
  return out;
}

struct Method {
  const char* name;  // as in a header
  std::uint32_t window;
  std::uint32_t minMatch;
  std::uint32_t maxMatch;
  std::string (*encode)(const std::vector<Token>&);
  // The window before the first byte, oldest first: the last byte is one
  // back from the first byte of a member.
  std::string History() const {
    std::string h(window, ' ');
    if (encode == EncodeLz5) {
      for (std::uint32_t i = 0; i < window; ++i) {
        h[i] = static_cast<char>(
            lzh::Lz5Decoder::InitialWindow((lzh::Lz5Decoder::kStartPosition + i) & (window - 1)));
      }
    }
    return h;
  }
};

inline const Method kLh1{"-lh1-", 4096, 3, 60, EncodeLh1};
inline const Method kLzs{"-lzs-", 2048, 2, 17, EncodeLzs};
inline const Method kLz5{"-lz5-", 4096, 3, 18, EncodeLz5};

// The bytes that `tokens` stand for after the method's initial window.
inline std::string Apply(const Method& m, const std::vector<Token>& tokens) {
  std::string s = m.History();
  for (const Token& t : tokens) {
    if (t.length == 0) s += static_cast<char>(t.literal);
    for (std::uint32_t i = 0; i < t.length; ++i) s += s[s.size() - t.distance];
  }
  return s.substr(m.window);
}

// Greedy parse: at each byte the longest match among the last 64 earlier
// places with the same next two bytes, the initial window included.
inline std::vector<Token> Tokenize(const Method& m, const std::string& data) {
  const std::string s = m.History() + data;
  auto key = [&](std::size_t p) {
    return static_cast<std::uint8_t>(s[p]) << 8 | static_cast<std::uint8_t>(s[p + 1]);
  };
  std::vector<std::int64_t> head(65536, -1);
  std::vector<std::int64_t> prev(s.size(), -1);
  auto insert = [&](std::size_t p) {
    if (p + 1 >= s.size()) return;
    prev[p] = head[key(p)];
    head[key(p)] = static_cast<std::int64_t>(p);
  };
  for (std::size_t p = 0; p < m.window; ++p) insert(p);
  std::vector<Token> tokens;
  std::size_t p = m.window;
  while (p < s.size()) {
    std::uint32_t best = 0;
    std::uint32_t bestDistance = 0;
    const std::size_t limit = std::min<std::size_t>(m.maxMatch, s.size() - p);
    if (limit >= m.minMatch) {
      std::int64_t c = head[key(p)];
      for (int tries = 0; tries < 64 && c >= 0 && p - static_cast<std::size_t>(c) <= m.window;
           ++tries, c = prev[c]) {
        std::uint32_t n = 0;
        while (n < limit && s[c + n] == s[p + n]) ++n;
        if (n > best) {
          best = n;
          bestDistance = static_cast<std::uint32_t>(p - c);
        }
      }
    }
    if (best >= m.minMatch) {
      tokens.push_back({best, bestDistance, 0});
    } else {
      best = 1;
      tokens.push_back({0, 0, static_cast<std::uint8_t>(s[p])});
    }
    for (std::uint32_t i = 0; i < best; ++i) insert(p++);
  }
  return tokens;
}

}  // namespace oldtest

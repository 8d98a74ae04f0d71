// Hand-made compressed member data for the extraction tests: a most
// significant bit first bit writer, canonical codes from code lengths, the
// three length tables and the symbols of a block, and the expansion of a
// symbol list into the bytes a decoder must produce.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <queue>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace lzhtest {

class BitWriter {
 public:
  // Appends the low `bits` bits of value, most significant first.
  void Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++used_ == 8) {
        bytes_.push_back(static_cast<char>(acc_));
        acc_ = 0;
        used_ = 0;
      }
    }
  }
  std::size_t BitCount() const { return bytes_.size() * 8 + static_cast<std::size_t>(used_); }
  // The bytes so far, the last one filled with zero bits.
  std::string Bytes() const {
    std::string out = bytes_;
    if (used_ > 0) out.push_back(static_cast<char>(acc_ << (8 - used_)));
    return out;
  }

 private:
  std::string bytes_;
  std::uint8_t acc_ = 0;
  int used_ = 0;
};

struct MethodInfo {
  int windowBits;
  int positionSymbols;
  int positionBits;
};

inline MethodInfo Info(int method) {
  if (method == 4) return {12, 14, 4};  // the -lh5- format with a 4 KiB window
  if (method == 6) return {15, 16, 5};
  if (method == 7) return {16, 17, 5};
  return {13, 14, 4};
}

// Canonical code words: shorter codes first, symbols in increasing order.
inline std::vector<std::uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  std::uint32_t code = 0;
  for (int len = 1; len <= 16; ++len) {
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == len) codes[s] = code++;
    }
    code <<= 1;
  }
  return codes;
}

inline int NonZeroCount(const std::vector<int>& lengths) {
  int n = 0;
  for (int len : lengths) n += len != 0;
  return n;
}

inline int OnlySymbol(const std::vector<int>& lengths) {
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) return static_cast<int>(s);
  }
  return 0;
}

// A complete code for the marked symbols (2 or more): 2^L - n of them get
// L - 1 bits, the others L bits. One marked symbol gets length 1, which the
// writers below turn into the one-symbol form.
inline std::vector<int> CompleteLengths(const std::vector<bool>& used) {
  std::vector<int> lengths(used.size(), 0);
  int n = 0;
  for (bool u : used) n += u;
  if (n == 0) return lengths;
  if (n == 1) {
    for (std::size_t s = 0; s < used.size(); ++s) {
      if (used[s]) lengths[s] = 1;
    }
    return lengths;
  }
  int bits = std::bit_width(static_cast<unsigned>(n - 1));
  int shorter = (1 << bits) - n;
  for (std::size_t s = 0; s < used.size(); ++s) {
    if (!used[s]) continue;
    lengths[s] = shorter-- > 0 ? bits - 1 : bits;
  }
  return lengths;
}

// A random complete code over `count` symbols (at least the marked ones),
// grown by splitting random leaves, so lengths up to 16 occur.
inline std::vector<int> RandomCompleteLengths(const std::vector<bool>& used, int count,
                                              std::mt19937& rng) {
  const int n = static_cast<int>(used.size());
  int marked = 0;
  for (bool u : used) marked += u;
  if (count < marked) count = marked;
  std::vector<int> leaves = {1, 1};
  while (static_cast<int>(leaves.size()) < count) {
    std::size_t i = rng() % leaves.size();
    if (leaves[i] >= 16) {
      bool any = false;
      for (int len : leaves) any |= len < 16;
      if (!any) break;
      continue;
    }
    leaves[i]++;
    leaves.push_back(leaves[i]);
  }
  std::vector<int> order;
  for (int s = 0; s < n; ++s) {
    if (used[s]) order.push_back(s);
  }
  std::vector<int> others;
  for (int s = 0; s < n; ++s) {
    if (!used[s]) others.push_back(s);
  }
  std::shuffle(others.begin(), others.end(), rng);
  order.insert(order.end(), others.begin(), others.end());
  std::shuffle(leaves.begin(), leaves.end(), rng);
  std::vector<int> lengths(n, 0);
  for (std::size_t i = 0; i < leaves.size() && i < order.size(); ++i) lengths[order[i]] = leaves[i];
  return lengths;
}

// One length of a small table: 3 bits below 7, else 111, (v - 7) ones, a 0.
inline void PutSmallLength(BitWriter& w, int v) {
  if (v < 7) {
    w.Put(static_cast<std::uint32_t>(v), 3);
    return;
  }
  w.Put(7, 3);
  for (int i = 7; i < v; ++i) w.Put(1, 1);
  w.Put(0, 1);
}

inline int TableCount(const std::vector<int>& lengths) {
  int k = static_cast<int>(lengths.size());
  while (k > 0 && lengths[k - 1] == 0) --k;
  return k;
}

// The code-length code: count, lengths, and after the third the count of
// zero lengths that follow it (up to 3).
inline void WriteCodeLengthTable(BitWriter& w, const std::vector<int>& lengths) {
  if (NonZeroCount(lengths) == 1) {
    w.Put(0, 5);
    w.Put(static_cast<std::uint32_t>(OnlySymbol(lengths)), 5);
    return;
  }
  int k = TableCount(lengths);
  w.Put(static_cast<std::uint32_t>(k), 5);
  for (int i = 0; i < k;) {
    PutSmallLength(w, lengths[i++]);
    if (i == 3) {
      int run = 0;
      while (run < 3 && i + run < k && lengths[i + run] == 0) ++run;
      w.Put(static_cast<std::uint32_t>(run), 2);
      i += run;
    }
  }
}

inline void WritePositionTable(BitWriter& w, const std::vector<int>& lengths, int countBits) {
  if (NonZeroCount(lengths) <= 1) {
    w.Put(0, countBits);
    w.Put(static_cast<std::uint32_t>(OnlySymbol(lengths)), countBits);
    return;
  }
  int k = TableCount(lengths);
  w.Put(static_cast<std::uint32_t>(k), countBits);
  for (int i = 0; i < k; ++i) PutSmallLength(w, lengths[i]);
}

// Items of the literal/length lengths: (code-length symbol, extra value).
inline std::vector<std::pair<int, int>> LiteralItems(const std::vector<int>& lengths) {
  std::vector<std::pair<int, int>> items;
  int k = TableCount(lengths);
  for (int i = 0; i < k;) {
    if (lengths[i] != 0) {
      items.push_back({lengths[i] + 2, 0});
      ++i;
      continue;
    }
    int run = 0;
    while (i + run < k && lengths[i + run] == 0) ++run;
    i += run;
    if (run == 19) {  // no single item holds 19
      items.push_back({1, 15});
      items.push_back({0, 0});
    } else if (run >= 20) {
      items.push_back({2, run - 20});
    } else if (run >= 3) {
      items.push_back({1, run - 3});
    } else {
      for (int j = 0; j < run; ++j) items.push_back({0, 0});
    }
  }
  return items;
}

struct Symbol {
  int c;                   // below 256 a literal, else a match of length c - 253
  std::uint32_t distance;  // bytes back, 1 .. window size
};

inline Symbol Lit(std::uint8_t b) { return {b, 0}; }
inline Symbol Match(int length, std::uint32_t distance) { return {length + 253, distance}; }

inline int PositionSymbol(std::uint32_t distance) {
  std::uint32_t offset = distance - 1;
  return offset == 0 ? 0 : std::bit_width(offset);
}

// Writes a block with the given code lengths (complete codes covering every
// symbol used, or exactly one non-zero length for a one-symbol form).
inline void WriteBlock(BitWriter& w, int method, const std::vector<Symbol>& symbols,
                       const std::vector<int>& literalLengths,
                       const std::vector<int>& positionLengths, int blockSize = -1) {
  MethodInfo info = Info(method);
  w.Put(static_cast<std::uint32_t>(blockSize < 0 ? static_cast<int>(symbols.size()) : blockSize),
        16);
  std::vector<std::pair<int, int>> items;
  if (NonZeroCount(literalLengths) == 1) {
    // Both the code-length code and the literal/length code in one-symbol form.
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 9);
    w.Put(static_cast<std::uint32_t>(OnlySymbol(literalLengths)), 9);
  } else {
    items = LiteralItems(literalLengths);
    std::vector<bool> used(19, false);
    for (auto& item : items) used[item.first] = true;
    std::vector<int> codeLengths = CompleteLengths(used);
    WriteCodeLengthTable(w, codeLengths);
    std::vector<std::uint32_t> codes = CanonicalCodes(codeLengths);
    bool one = NonZeroCount(codeLengths) == 1;
    w.Put(static_cast<std::uint32_t>(TableCount(literalLengths)), 9);
    for (auto& item : items) {
      if (!one) w.Put(codes[item.first], codeLengths[item.first]);
      if (item.first == 1) w.Put(static_cast<std::uint32_t>(item.second), 4);
      if (item.first == 2) w.Put(static_cast<std::uint32_t>(item.second), 9);
    }
  }
  WritePositionTable(w, positionLengths, info.positionBits);
  bool literalOne = NonZeroCount(literalLengths) == 1;
  bool positionOne = NonZeroCount(positionLengths) <= 1;
  std::vector<std::uint32_t> literalCodes = CanonicalCodes(literalLengths);
  std::vector<std::uint32_t> positionCodes = CanonicalCodes(positionLengths);
  for (const Symbol& s : symbols) {
    if (!literalOne) w.Put(literalCodes[s.c], literalLengths[s.c]);
    if (s.c < 256) continue;
    int j = PositionSymbol(s.distance);
    if (!positionOne) w.Put(positionCodes[j], positionLengths[j]);
    if (j >= 2) w.Put((s.distance - 1) - (1u << (j - 1)), j - 1);
  }
}

// Codes built from the block's own symbols (plain complete codes).
inline void WriteSimpleBlock(BitWriter& w, int method, const std::vector<Symbol>& symbols) {
  MethodInfo info = Info(method);
  std::vector<bool> literalUsed(510, false);
  std::vector<bool> positionUsed(static_cast<std::size_t>(info.positionSymbols), false);
  for (const Symbol& s : symbols) {
    literalUsed[s.c] = true;
    if (s.c >= 256) positionUsed[PositionSymbol(s.distance)] = true;
  }
  WriteBlock(w, method, symbols, CompleteLengths(literalUsed), CompleteLengths(positionUsed));
}

inline std::string Expand(const std::vector<Symbol>& symbols) {
  std::string out;
  for (const Symbol& s : symbols) {
    if (s.c < 256) {
      out.push_back(static_cast<char>(s.c));
      continue;
    }
    for (int i = 0; i < s.c - 253; ++i) out.push_back(out[out.size() - s.distance]);
  }
  return out;
}

// A random symbol list producing about `size` bytes, with matches at any
// distance the window allows.
inline std::vector<Symbol> RandomSymbols(int method, std::size_t size, std::mt19937& rng) {
  const std::uint32_t window = 1u << Info(method).windowBits;
  std::vector<Symbol> symbols;
  std::size_t produced = 0;
  while (produced < size) {
    if (produced < 3 || rng() % 3 == 0) {
      symbols.push_back(Lit(static_cast<std::uint8_t>(rng() % 40 + 'A')));
      ++produced;
      continue;
    }
    std::uint32_t limit = produced < window ? static_cast<std::uint32_t>(produced) : window;
    std::uint32_t distance;
    switch (rng() % 4) {
      case 0:
        distance = 1 + rng() % 8;
        break;
      case 1:
        distance = limit - rng() % 4;
        break;
      default:
        distance = 1 + rng() % limit;
        break;
    }
    if (distance > limit || distance == 0) distance = limit;
    int length =
        rng() % 5 == 0 ? 3 + static_cast<int>(rng() % 254) : 3 + static_cast<int>(rng() % 12);
    symbols.push_back(Match(length, distance));
    produced += static_cast<std::size_t>(length);
  }
  return symbols;
}

// Huffman code lengths for the frequencies, at most 16 bits (frequencies are
// halved until the code fits). A single used symbol gets length 1, which
// the block writer turns into the one-symbol form.
inline std::vector<int> HuffmanLengths(std::vector<std::uint64_t> freq) {
  const int n = static_cast<int>(freq.size());
  for (;;) {
    std::vector<int> parent(2 * static_cast<std::size_t>(n), -1);
    using Item = std::pair<std::uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    for (int s = 0; s < n; ++s) {
      if (freq[s] > 0) heap.push({freq[s], s});
    }
    std::vector<int> lengths(n, 0);
    if (heap.size() <= 1) {
      if (!heap.empty()) lengths[heap.top().second] = 1;
      return lengths;
    }
    int next = n;
    while (heap.size() > 1) {
      Item a = heap.top();
      heap.pop();
      Item b = heap.top();
      heap.pop();
      parent[a.second] = next;
      parent[b.second] = next;
      heap.push({a.first + b.first, next++});
    }
    int longest = 0;
    for (int s = 0; s < n; ++s) {
      if (freq[s] == 0) continue;
      int depth = 0;
      for (int p = s; parent[p] != -1; p = parent[p]) ++depth;
      lengths[s] = depth;
      longest = std::max(longest, depth);
    }
    if (longest <= 16) return lengths;
    for (auto& f : freq) {
      if (f > 0) f = (f + 1) / 2;
    }
  }
}

// A plain greedy LZSS compressor (hash chains) producing a valid stream of
// the method with Huffman codes per block. Not tsubo's encoder: only a source
// of realistic test streams.
inline std::string CompressForTest(int method, const std::string& data, int chainLimit = 16) {
  const MethodInfo info = Info(method);
  const std::uint32_t window = 1u << info.windowBits;
  const std::size_t size = data.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  constexpr int kHashBits = 15;
  std::vector<std::int64_t> head(1u << kHashBits, -1);
  std::vector<std::int64_t> prev(size, -1);
  auto hash = [&](std::size_t i) {
    return ((bytes[i] << 10) ^ (bytes[i + 1] << 5) ^ bytes[i + 2]) & ((1u << kHashBits) - 1);
  };
  auto insert = [&](std::size_t i) {
    if (i + 2 >= size) return;
    unsigned h = hash(i);
    prev[i] = head[h];
    head[h] = static_cast<std::int64_t>(i);
  };
  BitWriter w;
  std::vector<Symbol> block;
  auto flush = [&]() {
    if (block.empty()) return;
    std::vector<std::uint64_t> literalFreq(510, 0);
    std::vector<std::uint64_t> positionFreq(static_cast<std::size_t>(info.positionSymbols), 0);
    for (const Symbol& s : block) {
      literalFreq[s.c]++;
      if (s.c >= 256) positionFreq[PositionSymbol(s.distance)]++;
    }
    WriteBlock(w, method, block, HuffmanLengths(literalFreq), HuffmanLengths(positionFreq));
    block.clear();
  };
  for (std::size_t i = 0; i < size;) {
    int bestLength = 0;
    std::uint32_t bestDistance = 0;
    if (i + 2 < size) {
      int chain = chainLimit;
      for (std::int64_t j = head[hash(i)]; j >= 0 && chain-- > 0; j = prev[j]) {
        std::uint64_t distance = i - static_cast<std::size_t>(j);
        if (distance > window) break;
        int length = 0;
        std::size_t limit = std::min<std::size_t>(256, size - i);
        while (static_cast<std::size_t>(length) < limit && bytes[j + length] == bytes[i + length]) {
          ++length;
        }
        if (length > bestLength) {
          bestLength = length;
          bestDistance = static_cast<std::uint32_t>(distance);
          if (length == 256) break;
        }
      }
    }
    if (bestLength >= 3) {
      block.push_back(Match(bestLength, bestDistance));
      for (int k = 0; k < bestLength; ++k) insert(i + static_cast<std::size_t>(k));
      i += static_cast<std::size_t>(bestLength);
    } else {
      block.push_back(Lit(bytes[i]));
      insert(i);
      ++i;
    }
    if (block.size() == 16384) flush();
  }
  flush();
  return w.Bytes();
}

// One literal 'a', then a block of size 0 whose only symbol is a match of
// 256 bytes at distance 1: the tables take no bits, so a few bytes of data
// give any size.
inline std::string RepeatedByteStream() {
  BitWriter w;
  w.Put(1, 16);
  w.Put(0, 5);
  w.Put(0, 5);
  w.Put(0, 9);
  w.Put('a', 9);
  w.Put(0, 5);
  w.Put(0, 5);
  w.Put(0, 16);  // block size 0: these tables serve to the end
  w.Put(0, 5);
  w.Put(0, 5);
  w.Put(0, 9);
  w.Put(509, 9);
  w.Put(0, 5);
  w.Put(0, 5);
  return w.Bytes();
}

}  // namespace lzhtest

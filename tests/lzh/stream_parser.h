// Reads compressed member data back into its blocks, written independently
// of tsubo's decoder: per block its size, code lengths and symbols (literal
// bytes and matches with their offsets), so that tests can check what the
// encoder chose without looking inside it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <queue>
#include <string>
#include <utility>
#include <vector>

namespace codec_test {

// A literal byte (symbol below 256, offset 0) or a match of length
// symbol - 253 at distance offset + 1.
struct CodedSymbol {
  unsigned symbol;
  unsigned offset;
  bool operator==(const CodedSymbol&) const = default;
};

struct ParsedBlock {
  unsigned size = 0;
  std::vector<int> literalLengths;   // 510; a one-symbol code has all 0
  std::vector<int> positionLengths;  // 14, 16 or 17
  std::vector<CodedSymbol> symbols;
  int LongestLiteralCode() const {
    return *std::max_element(literalLengths.begin(), literalLengths.end());
  }
  std::vector<std::uint64_t> LiteralCounts() const {
    std::vector<std::uint64_t> counts(510, 0);
    for (const CodedSymbol& s : symbols) counts[s.symbol]++;
    return counts;
  }
};

struct ParsedStream {
  std::string error;  // empty when the stream was read whole and exactly
  std::vector<ParsedBlock> blocks;
  std::vector<CodedSymbol> Symbols() const {
    std::vector<CodedSymbol> all;
    for (const ParsedBlock& b : blocks) all.insert(all.end(), b.symbols.begin(), b.symbols.end());
    return all;
  }
};

// Whether code lengths (0 = unused) form a complete prefix code.
inline bool CompleteCode(const std::vector<int>& lengths) {
  std::uint64_t sum = 0;
  for (int len : lengths) {
    if (len != 0) sum += std::uint64_t{1} << (32 - len);
  }
  return sum == std::uint64_t{1} << 32;
}

// The longest code word that a Huffman code of these counts needs at the
// least, without a length limit (equal counts merge the shallower first).
inline int UnlimitedHuffmanDepth(const std::vector<std::uint64_t>& counts) {
  using Node = std::pair<std::uint64_t, int>;  // count, depth below it
  std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
  for (std::uint64_t c : counts) {
    if (c != 0) heap.push({c, 0});
  }
  if (heap.size() < 2) return 0;
  while (heap.size() > 1) {
    Node a = heap.top();
    heap.pop();
    Node b = heap.top();
    heap.pop();
    heap.push({a.first + b.first, std::max(a.second, b.second) + 1});
  }
  return heap.top().second;
}

class StreamParser {
 public:
  // Dictionary bits 13, 15 or 16 for methods 5, 6 and 7.
  StreamParser(const std::string& packed, int method)
      : data_(packed),
        positionSymbols_(method == 7   ? 17
                         : method == 6 ? 16
                                       : 14),
        positionCountBits_(method == 5 ? 4 : 5) {}

  // Reads whole blocks until they produce originalSize bytes; the stream
  // must then end, with zero bits filling its last byte.
  ParsedStream Parse(std::uint64_t originalSize) {
    ParsedStream out;
    std::uint64_t produced = 0;
    // An empty input still gets one (empty) block.
    while (produced < originalSize || (out.blocks.empty() && !data_.empty())) {
      ParsedBlock block;
      if (!ReadBlock(block, produced)) {
        out.error = error_;
        return out;
      }
      out.blocks.push_back(std::move(block));
    }
    if (produced != originalSize) {
      out.error = "blocks produce " + std::to_string(produced) + " bytes";
    } else if ((bit_ + 7) / 8 != data_.size()) {
      out.error =
          "stream ends at bit " + std::to_string(bit_) + " of " + std::to_string(data_.size() * 8);
    } else if (bit_ % 8 != 0 && Bits(static_cast<int>(8 - bit_ % 8)) != 0) {
      out.error = "the last byte is not filled with zero bits";
    }
    return out;
  }

 private:
  // A canonical code: symbols by length, then by number.
  struct Code {
    int only = -1;  // the symbol of a one-symbol form
    std::vector<int> count = std::vector<int>(17, 0);
    std::vector<int> sorted;
  };

  std::uint32_t Bits(int n) {
    std::uint32_t value = 0;
    for (int i = 0; i < n; i++) {
      if (bit_ >= data_.size() * 8) {
        overrun_ = true;
        return value;
      }
      const unsigned byte = static_cast<unsigned char>(data_[bit_ / 8]);
      value = (value << 1) | ((byte >> (7 - bit_ % 8)) & 1);
      bit_++;
    }
    return value;
  }

  bool Fail(const std::string& message) {
    error_ = message + " at bit " + std::to_string(bit_);
    return false;
  }

  static Code MakeCode(const std::vector<int>& lengths) {
    Code code;
    for (int len = 1; len <= 16; len++) {
      for (std::size_t s = 0; s < lengths.size(); s++) {
        if (lengths[s] == len) {
          code.count[len]++;
          code.sorted.push_back(static_cast<int>(s));
        }
      }
    }
    return code;
  }

  int Decode(const Code& code) {
    if (code.only >= 0) return code.only;
    int value = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len <= 16; len++) {
      value = (value << 1) | static_cast<int>(Bits(1));
      if (value >= first && value - first < code.count[len])
        return code.sorted[index + value - first];
      index += code.count[len];
      first = (first + code.count[len]) << 1;
    }
    return -1;
  }

  // A code-length or position table: 3 bits per length up to 6, longer ones
  // as 111 and a unary rest; the code-length table has a 2-bit count of
  // zero lengths after its third.
  bool ReadSmallTable(int symbols, int countBits, bool zeroRun, std::vector<int>& lengths,
                      Code& code) {
    lengths.assign(static_cast<std::size_t>(symbols), 0);
    const int n = static_cast<int>(Bits(countBits));
    if (n == 0) {
      code.only = static_cast<int>(Bits(countBits));
      if (code.only >= symbols) return Fail("one-symbol form out of range");
      return true;
    }
    if (n > symbols) return Fail("small table count too large");
    for (int i = 0; i < n;) {
      int len = static_cast<int>(Bits(3));
      if (len == 7) {
        while (Bits(1) == 1) {
          if (++len > 16) return Fail("small table length too long");
        }
      }
      lengths[static_cast<std::size_t>(i++)] = len;
      if (zeroRun && i == 3) i += static_cast<int>(Bits(2));
    }
    if (!CompleteCode(lengths)) return Fail("small table not a complete code");
    code = MakeCode(lengths);
    return true;
  }

  bool ReadLiteralTable(const Code& lengthCode, std::vector<int>& lengths, Code& code) {
    lengths.assign(510, 0);
    const int n = static_cast<int>(Bits(9));
    if (n == 0) {
      code.only = static_cast<int>(Bits(9));
      if (code.only >= 510) return Fail("one-symbol literal out of range");
      return true;
    }
    if (n > 510) return Fail("literal count too large");
    for (int i = 0; i < n;) {
      const int c = Decode(lengthCode);
      int zeros = 0;
      if (c < 0) return Fail("bad code-length code word");
      if (c == 0) {
        zeros = 1;
      } else if (c == 1) {
        zeros = 3 + static_cast<int>(Bits(4));
      } else if (c == 2) {
        zeros = 20 + static_cast<int>(Bits(9));
      } else {
        lengths[static_cast<std::size_t>(i++)] = c - 2;
        continue;
      }
      if (i + zeros > n) return Fail("zero run past the count");
      i += zeros;
    }
    if (!CompleteCode(lengths)) return Fail("literal lengths not a complete code");
    code = MakeCode(lengths);
    return true;
  }

  bool ReadBlock(ParsedBlock& block, std::uint64_t& produced) {
    block.size = Bits(16);
    std::vector<int> codeLengths;
    Code lengthCode;
    Code literalCode;
    Code positionCode;
    if (!ReadSmallTable(19, 5, true, codeLengths, lengthCode) ||
        !ReadLiteralTable(lengthCode, block.literalLengths, literalCode) ||
        !ReadSmallTable(positionSymbols_, positionCountBits_, false, block.positionLengths,
                        positionCode)) {
      return false;
    }
    for (unsigned i = 0; i < block.size; i++) {
      const int c = Decode(literalCode);
      if (c < 0) return Fail("bad literal code word");
      if (c < 256) {
        block.symbols.push_back({static_cast<unsigned>(c), 0});
        produced++;
        continue;
      }
      const int j = Decode(positionCode);
      if (j < 0) return Fail("bad position code word");
      unsigned offset = j == 0 ? 0 : (1u << (j - 1)) + Bits(j - 1);
      block.symbols.push_back({static_cast<unsigned>(c), offset});
      produced += static_cast<unsigned>(c - 253);
    }
    if (overrun_) return Fail("stream too short");
    return true;
  }

  const std::string& data_;
  int positionSymbols_;
  int positionCountBits_;
  std::size_t bit_ = 0;
  bool overrun_ = false;
  std::string error_;
};

inline ParsedStream ParseStream(const std::string& packed, int method, std::uint64_t originalSize) {
  return StreamParser(packed, method).Parse(originalSize);
}

}  // namespace codec_test

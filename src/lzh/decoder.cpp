// The decoder of static-Huffman LZSS member data: the bit reader, the code
// tables and the window of one lzh::Decoder.
#include "lzh/decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "lzh/crc16.h"

namespace lzh {

namespace {

constexpr int kMaxCodeLength = 16;

// Lookup-table entries: a symbol or tree-node number in the low 10 bits and,
// for a symbol, its code length above them, so one load resolves a code.
constexpr unsigned kEntryValueMask = 0x3FF;
constexpr unsigned kEntryLengthShift = 10;

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

inline void Consume(std::uint64_t& bits, int& count, unsigned n) {
  bits <<= n;
  count -= static_cast<int>(n);
}

// Where decoded bytes go: the sink (or nowhere) and the CRC of what went.
struct Output {
  ByteSink* sink;
  std::uint16_t crc;
  std::uint64_t written;  // bytes passed on so far
};

// False when the sink did not take the bytes.
bool PassOn(Output& out, const std::uint8_t* data, std::uint32_t n) {
  if (out.sink != nullptr && !out.sink->Write(data, n)) return false;
  out.crc = Crc16Update(out.crc, data, static_cast<long>(n));
  out.written += n;
  return true;
}

// Copies a match of `length` bytes from `distance` bytes back. Word-wise
// copies may write up to 31 bytes past the end; those bytes lie ahead of the
// write position and are overwritten before they are ever read.
inline void CopyMatch(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t* src = dst - distance;
  if (distance >= 16) {
    // Most matches are short: two copies without a loop cover 32 bytes.
    std::memcpy(dst, src, 16);
    std::memcpy(dst + 16, src + 16, 16);
    for (std::uint32_t i = 32; i < length; i += 16) std::memcpy(dst + i, src + i, 16);
  } else if (distance >= 8) {
    std::uint32_t i = 0;
    do {
      std::memcpy(dst + i, src + i, 8);
      i += 8;
    } while (i < length);
  } else if (distance == 1) {
    std::memset(dst, src[0], length);
  } else {
    for (std::uint32_t i = 0; i < length; ++i) dst[i] = src[i];
  }
}

}  // namespace

// ---- bit reader ----

void Decoder::FillInput(BitReader& r) {
  const long got = r.source->Read(input_, kInputSize);
  r.pos = 0;
  if (got <= 0) {
    // The member's bytes are used up (or unreadable): zero bits follow.
    r.limit = 0;
    r.ended = true;
    if (got < 0) r.failure = CodecStatus::kReadError;
    return;
  }
  r.limit = static_cast<std::uint32_t>(got);
}

// Byte by byte; after the packed bytes the stream goes on with zero bits.
void Decoder::RefillSlow(BitReader& r) {
  while (r.count < 56) {
    if (r.pos < r.limit) {
      r.bits |= static_cast<std::uint64_t>(input_[r.pos++]) << (56 - r.count);
      r.count += 8;
    } else if (!r.ended) {
      FillInput(r);
    } else {
      r.padding += 63 - r.count;
      r.count = 63;  // bits below count are zero from here on
    }
  }
}

// Makes at least 56 bits available.
inline void Decoder::Refill(BitReader& r) {
  if (r.count >= 56) return;
  if (r.limit - r.pos >= 8) {
    std::uint64_t word = LoadBigEndian64(input_ + r.pos);
    r.bits |= word >> r.count;
    int taken = (63 - r.count) >> 3;
    r.pos += taken;
    r.count += taken * 8;
  } else {
    RefillSlow(r);
  }
}

// n from 0 to 16.
inline unsigned Decoder::GetBits(BitReader& r, int n) {
  Refill(r);
  unsigned value = static_cast<unsigned>((r.bits >> 1) >> (63 - n));
  Consume(r.bits, r.count, static_cast<unsigned>(n));
  return value;
}

// ---- code tables ----

// Builds the lookup table (width w) and tree of a canonical code of n
// symbols. Only a complete code (the lengths fill exactly 2^16) or a code
// without any non-zero length is accepted; the latter enters nothing and
// leaves the table's symbols as they are, now with no bits to consume, since
// every one of its symbols has length 0.
bool Decoder::BuildDecodeTable(int n, const std::uint8_t* lengths, int w, std::uint16_t* table) {
  std::uint32_t count[kMaxCodeLength + 1] = {};
  for (int s = 0; s < n; ++s) count[lengths[s]]++;
  std::uint32_t start[kMaxCodeLength + 2];
  start[1] = 0;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    start[len + 1] = start[len] + (count[len] << (kMaxCodeLength - len));
  }
  const int size = 1 << w;
  if (start[kMaxCodeLength + 1] == 0) {
    for (int i = 0; i < size; ++i) table[i] &= kEntryValueMask;
    return true;
  }
  // An incomplete or over-full set of lengths (including one that overflows
  // to a multiple of 2^16) has no consistent table.
  if (start[kMaxCodeLength + 1] != (1u << kMaxCodeLength)) return false;

  std::uint32_t weight[kMaxCodeLength + 1];
  for (int len = 1; len <= w; ++len) {
    start[len] >>= kMaxCodeLength - w;
    weight[len] = 1u << (w - len);
  }
  for (int len = w + 1; len <= kMaxCodeLength; ++len) {
    weight[len] = 1u << (kMaxCodeLength - len);
  }
  std::uint32_t first = start[w + 1] >> (kMaxCodeLength - w);
  for (std::uint32_t i = first; i < static_cast<std::uint32_t>(size); ++i) table[i] = 0;

  int freeNode = n;
  const std::uint32_t branchBit = 0x8000u >> w;
  for (int s = 0; s < n; ++s) {
    int len = lengths[s];
    if (len == 0) continue;
    std::uint32_t next = start[len] + weight[len];
    if (len <= w) {
      std::uint16_t entry = static_cast<std::uint16_t>(s | (len << kEntryLengthShift));
      for (std::uint32_t i = start[len]; i < next; ++i) table[i] = entry;
    } else {
      std::uint32_t k = start[len];
      std::uint16_t* p = &table[k >> (kMaxCodeLength - w)];
      for (int i = len - w; i > 0; --i) {
        if (*p == 0) {
          if (freeNode >= kNodeCount) return false;
          zeroBranch_[freeNode] = 0;
          oneBranch_[freeNode] = 0;
          *p = static_cast<std::uint16_t>(freeNode++);
        }
        p = (k & branchBit) ? &oneBranch_[*p] : &zeroBranch_[*p];
        k <<= 1;
      }
      *p = static_cast<std::uint16_t>(s);
    }
    start[len] = next;
  }
  return true;
}

// Follows the tree from node j with the bits after the first w, then
// consumes the symbol's length. Returns -1 when the walk would go deeper
// than any code can, which only stale tables of a broken stream allow.
int Decoder::WalkTree(BitReader& r, unsigned j, unsigned n, int w, const std::uint8_t* lengths) {
  std::uint64_t bit = std::uint64_t{1} << (63 - w);
  for (int depth = 0; j >= n; ++depth) {
    if (depth == kMaxCodeLength - w || j >= kNodeCount) return -1;
    j = (r.bits & bit) ? oneBranch_[j] : zeroBranch_[j];
    bit >>= 1;
  }
  Consume(r.bits, r.count, lengths[j]);
  return static_cast<int>(j);
}

// One symbol of the code-length or position code (n symbols); -1 on error.
int Decoder::DecodeSmall(BitReader& r, unsigned n) {
  Refill(r);
  unsigned entry = smallTable_[r.bits >> (64 - kSmallBits)];
  unsigned j = entry & kEntryValueMask;
  if (j < n) {
    Consume(r.bits, r.count, entry >> kEntryLengthShift);
    return static_cast<int>(j);
  }
  return WalkTree(r, j, n, kSmallBits, smallLengths_);
}

// The code-length code (zeroRunAt 3) or the position code (zeroRunAt -1).
bool Decoder::ReadSmallTable(BitReader& r, int countBits, int m, int zeroRunAt) {
  int k = static_cast<int>(GetBits(r, countBits));
  if (k == 0) {
    unsigned s = GetBits(r, countBits);
    if (s >= static_cast<unsigned>(m)) return false;
    std::memset(smallLengths_, 0, static_cast<std::size_t>(m));
    for (auto& entry : smallTable_) entry = static_cast<std::uint16_t>(s);
    return true;
  }
  int i = 0;
  while (i < k) {
    Refill(r);
    int v = static_cast<int>(r.bits >> 61);
    if (v == 7) {
      // Seven or more: each further 1 bit adds one, the first 0 bit ends it.
      int ones = std::countl_one(r.bits << 3);
      v += ones < 13 ? ones : 13;
      Consume(r.bits, r.count, static_cast<unsigned>(v - 3));
    } else {
      Consume(r.bits, r.count, 3u);
    }
    // Lengths past the symbol count take no part in the code.
    if (i < m && v > kMaxCodeLength) return false;
    smallLengths_[i++] = static_cast<std::uint8_t>(v);
    if (i == zeroRunAt) {
      int run = static_cast<int>(GetBits(r, 2));
      for (; run > 0; --run) smallLengths_[i++] = 0;
    }
  }
  for (; i < m; ++i) smallLengths_[i] = 0;
  return BuildDecodeTable(m, smallLengths_, kSmallBits, smallTable_);
}

bool Decoder::ReadLiteralLengths(BitReader& r) {
  int k = static_cast<int>(GetBits(r, 9));
  if (k == 0) {
    unsigned s = GetBits(r, 9);
    if (s >= static_cast<unsigned>(kLiteralSymbols)) return false;
    std::memset(literalLengths_, 0, sizeof literalLengths_);
    for (auto& entry : literalTable_) entry = static_cast<std::uint16_t>(s);
    return true;
  }
  if (k > kLiteralSymbols) return false;
  int i = 0;
  while (i < k) {
    int t = DecodeSmall(r, kCodeLengthSymbols);
    if (t < 0) return false;
    if (t <= 2) {
      int run = t == 0   ? 1
                : t == 1 ? static_cast<int>(GetBits(r, 4)) + 3
                         : static_cast<int>(GetBits(r, 9)) + 20;
      if (run > kLiteralSymbols - i) return false;
      std::memset(literalLengths_ + i, 0, static_cast<std::size_t>(run));
      i += run;
    } else {
      literalLengths_[i++] = static_cast<std::uint8_t>(t - 2);
    }
  }
  for (; i < kLiteralSymbols; ++i) literalLengths_[i] = 0;
  return BuildDecodeTable(kLiteralSymbols, literalLengths_, kLiteralBits, literalTable_);
}

bool Decoder::ReadBlockHeader(BitReader& r, int positionBits, int positionSymbols,
                              std::uint32_t* blockSize) {
  *blockSize = GetBits(r, 16);
  return ReadSmallTable(r, 5, kCodeLengthSymbols, 3) && ReadLiteralLengths(r) &&
         ReadSmallTable(r, positionBits, positionSymbols, -1);
}

// ---- decoding a member ----

DecodeResult Decoder::Decode(const MethodInfo& method, ByteSource& in, std::uint64_t originalSize,
                             ByteSink* sink) {
  const int positionSymbols = method.positionSymbols;
  const int positionBits = method.positionCountBits;
  const std::uint32_t windowSize = 1u << method.dictionaryBits;
  const unsigned np = static_cast<unsigned>(positionSymbols);
  // The largest distance the position code can express, 2^(np - 1), fits
  // in the window of history before the first new byte: no match reads
  // before the buffer.
  if (positionSymbols < 1 || positionSymbols > 17 || method.dictionaryBits > 16 ||
      (1u << (positionSymbols - 1)) > windowSize) {
    return {CodecStatus::kDataError, 0};
  }

  reader_ = BitReader{};
  reader_.source = &in;
  reader_.failure = CodecStatus::kDataError;
  BitReader& reader = reader_;

  Output out{sink, 0, 0};
  // [0, W) holds history, new bytes go from W on; W bytes are passed on
  // whenever 2W is reached, and the rest moves down by W.
  std::uint32_t pos = windowSize;
  std::uint64_t produced = 0;
  std::uint32_t blockLeft = 0;
  // The hot loop keeps the bit reader in locals that never leave this
  // function, so byte stores to the window cannot force them to memory (a
  // byte store may alias any member); the rare slow paths work on `reader`
  // between save() and load().
  std::uint64_t bits = 0;
  int count = 0;
  std::uint32_t inPos = 0;
  std::uint32_t inLimit = 0;
  auto save = [&] {
    reader.bits = bits;
    reader.count = count;
    reader.pos = inPos;
    reader.limit = inLimit;
  };
  auto load = [&] {
    bits = reader.bits;
    count = reader.count;
    inPos = reader.pos;
    inLimit = reader.limit;
  };
  auto consume = [&](unsigned n) { Consume(bits, count, n); };
  std::uint8_t* const window = window_;

  while (produced < originalSize) {
    if (pos >= 2 * windowSize) {
      if (!PassOn(out, window + windowSize, windowSize)) return {CodecStatus::kWriteError, 0};
      std::memmove(window, window + windowSize, pos - windowSize);
      pos -= windowSize;
    }
    if (blockLeft == 0) {
      save();
      bool ok = ReadBlockHeader(reader, positionBits, positionSymbols, &blockLeft);
      load();
      if (!ok || reader.count < reader.padding) return {reader.failure, 0};
    }
    // A run of symbols that needs none of the checks above: each symbol
    // gives at most 256 bytes and takes at most 47 bits (6 bytes) of input,
    // so the window cannot fill, the original size cannot be passed and the
    // buffered input cannot run out before the run ends. Near those limits
    // symbols go one at a time with a checked refill.
    std::uint32_t run = blockLeft;
    run = std::min(run, (2 * windowSize - pos) / 256);
    std::uint64_t left = (originalSize - produced) / 256;
    if (left < run) run = static_cast<std::uint32_t>(left);
    std::uint32_t inputLeft = inLimit - inPos;
    run = std::min(run, inputLeft > 15 ? (inputLeft - 9) / 6 : 0);
    const bool careful = run == 0;
    if (careful) run = 1;
    blockLeft -= run;  // a block size of 0 wraps: its tables serve to the end
    const std::uint32_t runStart = pos;

    for (std::uint32_t k = run; k > 0; --k) {
      if (!careful) {
        // Whole bytes up to 56..63 bits; at least 8 bytes are buffered.
        bits |= LoadBigEndian64(input_ + inPos) >> count;
        inPos += static_cast<std::uint32_t>(63 - count) >> 3;
        count |= 56;
      } else if (count < 56) {
        save();
        RefillSlow(reader);
        load();
      }
      unsigned entryBits = literalTable_[bits >> (64 - kLiteralBits)];
      unsigned c = entryBits & kEntryValueMask;
      if (c < static_cast<unsigned>(kLiteralSymbols)) {
        consume(entryBits >> kEntryLengthShift);
      } else {
        save();
        int s = WalkTree(reader, c, kLiteralSymbols, kLiteralBits, literalLengths_);
        load();
        if (s < 0) return {reader.failure, 0};
        c = static_cast<unsigned>(s);
      }
      if (c < 256) {
        window[pos++] = static_cast<std::uint8_t>(c);
        continue;
      }
      const std::uint32_t length = c - 253;
      // 56 bits were there: 16 for the symbol leave enough for a position
      // code (16) and its extra bits (15).
      entryBits = smallTable_[bits >> (64 - kSmallBits)];
      unsigned j = entryBits & kEntryValueMask;
      if (j < np) {
        consume(entryBits >> kEntryLengthShift);
      } else {
        save();
        int s = WalkTree(reader, j, np, kSmallBits, smallLengths_);
        load();
        if (s < 0) return {reader.failure, 0};
        j = static_cast<unsigned>(s);
      }
      std::uint32_t distance = 1;
      if (j > 0) {
        unsigned extra = j - 1;
        distance += (1u << extra) + static_cast<std::uint32_t>((bits >> 1) >> (63 - extra));
        consume(extra);
      }
      CopyMatch(window + pos, distance, length);
      pos += length;
    }
    produced += pos - runStart;
    // A stream that runs past its packed bytes is cut off within a symbol:
    // no run goes on reading zeros (a run that may reach them is one symbol).
    if (count < reader.padding) return {reader.failure, 0};
  }

  // The last symbol may reach past the original size; only original_size
  // bytes are passed on, in pieces of at most W.
  std::uint64_t rest = originalSize - out.written;
  const std::uint8_t* p = window + windowSize;
  while (rest > 0) {
    std::uint32_t n = rest < windowSize ? static_cast<std::uint32_t>(rest) : windowSize;
    if (!PassOn(out, p, n)) return {CodecStatus::kWriteError, 0};
    p += n;
    rest -= n;
  }
  return {CodecStatus::kOk, out.crc};
}

}  // namespace lzh

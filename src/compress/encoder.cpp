// The LZSS encoder loop: reads one file through a sliding window, finds
// earlier copies of the bytes ahead with hash chains, picks literals and
// matches with one step of lazy evaluation and queues them for the block
// encoder, computing the CRC-16 of everything read.
#include "compress/encoder.h"

#include <cstring>

#include "archive/checksum.h"
#include "compress/block_encoder.h"

namespace {

constexpr int kMaxMatch = 256;
constexpr int kMinMatch = 3;
constexpr int kHashBuckets = 1 << 15;
constexpr unsigned kHashMask = kHashBuckets - 1;
constexpr int kMaxDictionary = 1 << 16;
// The compare reads whole 8-byte words, up to 7 bytes past the look-ahead.
constexpr int kWindowSlack = 16;

std::uint8_t window[2 * kMaxDictionary + kMaxMatch + kWindowSlack];
std::uint32_t head[kHashBuckets];  // 0: empty bucket
std::uint32_t link[kMaxDictionary];
std::uint64_t crowded[kHashBuckets / 64];  // buckets whose chain proved long

std::uint32_t dictionarySize;  // D
std::uint32_t windowSize;      // W = 2D + 256
std::int32_t position;         // window index of the byte being coded
std::uint32_t remainder;       // bytes from position to the end of what was read
unsigned hashValue;            // hash of the three bytes at position
std::int32_t matchLength;
std::int32_t matchPosition;
bool firstFill;  // the window has not slid yet
plat::FileHandle source;
bool inputEnded;
std::uint16_t crc;

// Reads up to count bytes; a failed or short read ends the input for good,
// so the data coded is exactly the data the CRC covers.
std::uint32_t ReadInput(std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t total = 0;
  while (!inputEnded && total < count) {
    long got = plat::ReadFile(source, buffer + total, count - total);
    if (got <= 0) {
      inputEnded = true;
      break;
    }
    total += static_cast<std::uint32_t>(got);
  }
  crc = Crc16Update(crc, buffer, static_cast<long>(total));
  return total;
}

inline bool IsCrowded(unsigned h) { return (crowded[h >> 6] >> (h & 63)) & 1; }
inline void MarkCrowded(unsigned h) { crowded[h >> 6] |= std::uint64_t{1} << (h & 63); }

inline std::uint32_t Rebase(std::uint32_t value) {
  return value >= dictionarySize ? value - dictionarySize : 0;
}

void SlideWindow() {
  firstFill = false;
  std::memmove(window, window + dictionarySize, dictionarySize + kMaxMatch);
  remainder += ReadInput(window + windowSize - dictionarySize, dictionarySize);
  position -= static_cast<std::int32_t>(dictionarySize);
  for (std::uint32_t& h : head) h = Rebase(h);
  std::memset(crowded, 0, sizeof crowded);
  for (std::uint32_t i = 0; i < dictionarySize; i++) link[i] = Rebase(link[i]);
}

inline void AdvancePosition() {
  remainder--;
  position++;
  if (position >= static_cast<std::int32_t>(windowSize - kMaxMatch)) SlideWindow();
  hashValue = ((hashValue << 5) ^ window[position + 2]) & kHashMask;
}

inline void LinkPosition() {
  link[static_cast<std::uint32_t>(position) & (dictionarySize - 1)] = head[hashValue];
  head[hashValue] = static_cast<std::uint32_t>(position);
}

// Number of equal leading bytes of a and b, at most limit.
inline int MatchingBytes(const std::uint8_t* a, const std::uint8_t* b, int limit) {
  int len = 0;
  while (len < limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    std::uint64_t diff = x ^ y;
    if (diff != 0) {
      len += __builtin_ctzll(diff) >> 3;
      return len < limit ? len : limit;
    }
    len += 8;
  }
  return limit;
}

// One walk down the chain of bucket h, whose entries are the positions of
// the three bytes `shift` ahead of a match start. Keeps the first longest
// match; stops at the bound or at a match of the full limit.
void SearchChain(unsigned h, int shift, int limit) {
  const std::uint8_t* current = window + position;
  std::uint32_t bound = firstFill ? dictionarySize + shift : position - dictionarySize + shift;
  std::uint32_t candidate = head[h];
  std::uint32_t mask = dictionarySize - 1;
  int count = 0;
  while (candidate > bound) {
    count++;
    const std::uint8_t* start = window + candidate - shift;
    // Only a candidate equal at the length to beat can beat it.
    if (start[matchLength] == current[matchLength]) {
      int len = MatchingBytes(start, current, limit);
      if (len > matchLength) {
        matchPosition = static_cast<std::int32_t>(candidate) - shift;
        matchLength = len;
        if (len == limit) break;
      }
    }
    candidate = link[candidate & mask];
  }
  if (count > 255) MarkCrowded(h);
}

// Searches for the longest match at the current position, then links it.
void FindMatch() {
  if (matchLength < 2) matchLength = 2;
  matchPosition = position;
  // Crowded buckets are passed over for the bucket of a later three-byte group.
  unsigned h = hashValue;
  int shift = 0;
  while (IsCrowded(h) && shift < kMaxMatch - kMinMatch) {
    h = ((h << 5) ^ window[position + shift + 3]) & kHashMask;
    shift++;
  }
  if (shift == kMaxMatch - kMinMatch) {
    shift = 0;
    h = hashValue;
  }
  SearchChain(h, shift, kMaxMatch);
  // A match longer than shift + 2 would have shown up in the shifted bucket,
  // so look only for short ones in the (crowded) bucket of the position.
  // When the length reached cannot be beaten within that limit the walk would
  // change nothing: the bucket is already marked.
  if (shift != 0 && matchLength < shift + 2) SearchChain(hashValue, 0, shift + 2);
  LinkPosition();
}

inline void ClipMatchLength() {
  if (static_cast<std::uint32_t>(matchLength) > remainder) {
    matchLength = static_cast<std::int32_t>(remainder);
  }
}

}  // namespace

std::uint16_t CompressMember(ArchiveEntry& entry) {
  firstFill = true;
  ResetBitWriter(entry.archive_handle, entry.original_size);
  int dictionaryBits = entry.method_number == 6 ? 15 : entry.method_number == 7 ? 16 : 13;
  dictionarySize = 1u << dictionaryBits;
  windowSize = 2 * dictionarySize + kMaxMatch;
  std::memset(head, 0, sizeof head);
  std::memset(crowded, 0, sizeof crowded);
  // A cleared window makes a member's data depend on its own bytes only.
  std::memset(window, 0, sizeof window);
  StartBlockEncoder(dictionaryBits);

  source = entry.file_handle;
  inputEnded = false;
  crc = 0;
  std::uint32_t n = ReadInput(window + dictionarySize, dictionarySize + kMaxMatch);
  remainder = n;
  matchLength = n < 2 ? static_cast<std::int32_t>(n) : 2;
  position = static_cast<std::int32_t>(dictionarySize);
  matchPosition = position;
  const std::uint8_t* first = window + dictionarySize;
  hashValue = ((((first[0] << 5) ^ first[1]) << 7) ^ first[2]) & kHashMask;
  LinkPosition();

  if (n != 0) {
    do {
      std::int32_t previousLength = matchLength;
      std::int32_t previousOffset = position - matchPosition - 1;
      matchLength--;
      AdvancePosition();
      FindMatch();
      ClipMatchLength();
      if (matchLength > previousLength || previousLength < kMinMatch) {
        QueueSymbol(window[position - 1], 0);
      } else {
        QueueSymbol(static_cast<unsigned>(previousLength + (256 - kMinMatch)),
                    static_cast<unsigned>(previousOffset) & (dictionarySize - 1));
        for (std::int32_t k = previousLength - 2; k > 0; k--) {
          AdvancePosition();
          LinkPosition();
        }
        AdvancePosition();
        matchLength = 2;
        FindMatch();
        ClipMatchLength();
      }
    } while (!bitWriter.givenUp && remainder > 0);
  }

  FinishBlockEncoder();
  // After a failed write the caller stores the file instead, as after
  // giving up on size.
  entry.packed_size = bitWriter.writeFailed ? entry.original_size : bitWriter.produced;
  return crc;
}

bool CompressWriteFailed() { return bitWriter.writeFailed; }

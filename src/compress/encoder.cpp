// The LZSS encoder loop: reads one file through a sliding window, finds
// earlier copies of the bytes ahead with hash chains, picks literals and
// matches with one step of lazy evaluation and queues them for the block
// encoder, computing the CRC-16 of everything read.
//
// The match search is defined as a walk down a 3-byte hash chain with no
// depth limit. Its result is the most recent candidate of the longest match
// (a walk keeps the first of equal lengths, and chains run from the newest
// position back), and a bucket is marked crowded when the walk counted 256
// or more candidates. The walk itself is mostly replaced here by cheaper
// means that give the same result: a second chain over 4-byte groups holds
// every candidate that can be longer than 3 bytes, and a count of the
// positions in each bucket tells how long the walk would have been. Both
// cost time at every position, so they are kept only while chains run long.
#include "compress/encoder.h"

#include <algorithm>
#include <cstring>

#include "lzh/crc16.h"
#include "compress/block_encoder.h"
#include "compress/encoder_testing.h"

namespace {

constexpr int kMaxMatch = 256;
constexpr int kMinMatch = 3;
constexpr int kCrowdedCount = 256;  // candidates that make a bucket crowded
constexpr int kShortChain = 16;     // walked as it is rather than by 4-byte groups
// Average candidates per search over a stretch of D positions below which
// the counts and 4-byte chains are dropped, and from which they are taken
// up again.
constexpr std::uint64_t kShortChains = 4;
constexpr std::uint64_t kLongChains = 8;
constexpr int kHashBuckets = 1 << 15;
constexpr unsigned kHashMask = kHashBuckets - 1;
constexpr int kMaxDictionary = 1 << 16;
// The compare reads whole 8-byte words, up to 7 bytes past the look-ahead.
constexpr int kWindowSlack = 16;
constexpr std::uint32_t kClearAhead = kMaxMatch + 2 * kWindowSlack;
// A link distance that leads below every later search's bound.
constexpr std::uint16_t kChainEnd = 0xFFFF;

std::uint8_t window[2 * kMaxDictionary + kMaxMatch + kWindowSlack];

// The 3-byte hash chains: per bucket its newest position and (while
// fastSearch is set) how many positions within the last D, the reach of a
// search, were linked into it. Heads hold window index + headBase, so they
// need no change when the window slides: a head that falls out of reach
// points below every bound. Each member starts with a headBase above every
// value held, so nothing needs clearing: a count is kept from countBase on,
// and a bucket whose head lies below it has none.
struct Bucket {
  std::uint32_t head;
  std::uint32_t count;
};
Bucket buckets[kHashBuckets];
// Per position (at position AND (D - 1)): the distance back to the position
// linked into the same bucket before it, or kChainEnd when that one is D - 1
// or more bytes back (no later search reaches it); and (while fastSearch is
// set) the bucket itself.
std::uint16_t link[kMaxDictionary];
std::uint16_t bucketOf[kMaxDictionary];
std::uint64_t crowded[kHashBuckets / 64];  // buckets whose chain proved long

// The 4-byte chains, kept the same way while fastSearch is set, for finding
// long matches fast.
std::uint32_t head4[kHashBuckets];
std::uint16_t link4[kMaxDictionary];

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
// The member's second position was linked with a hash that comes from the
// shifted start value, not from its three bytes: the one position whose
// bucket the 4-byte chains cannot tell.
std::int32_t oddPosition;
unsigned oddBucket;
std::uint32_t headBase;  // added to a window index to give a head value
// The counts, buckets and 4-byte chains cost time at every position, so
// they are kept only while chains run long: from the position countBase on.
bool fastSearch;
std::uint32_t countBase;
// Searches of the own bucket since the last slide, and their candidates.
std::uint32_t stretchSearches;
std::uint64_t stretchCandidates;
int searchModeChanges;  // for the tests
// Before head values could overflow they are moved down by this much.
constexpr std::uint32_t kHeadRebase = 1u << 29;

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
  return value > kHeadRebase ? value - kHeadRebase : 0;
}

// The window index of a head value; empty heads give indices below every bound.
inline std::int32_t HeadIndex(std::uint32_t value) {
  return static_cast<std::int32_t>(value - headBase);
}

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

inline std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t value;
  std::memcpy(&value, p, 8);
  return value;
}

inline unsigned Hash4(const std::uint8_t* p) { return (Load32(p) * 2654435761u) >> 17; }

// Moves every head value down before they could overflow; values that fall
// below 0 were far out of reach, and so are their buckets' positions.
void RebaseHeads() {
  if (headBase < 2 * kHeadRebase) return;
  for (Bucket& b : buckets) {
    b.head = Rebase(b.head);
    if (b.head == 0) b.count = 0;
  }
  for (std::uint32_t& h : head4) h = Rebase(h);
  headBase -= kHeadRebase;
  countBase = Rebase(countBase);
}

inline std::uint32_t BucketCount(unsigned h) {
  return buckets[h].head >= countBase ? buckets[h].count : 0;
}

// Candidates lie above this window index: less than D bytes back once the
// window has slid, after the member's first byte before that.
inline std::int32_t LowestBound() {
  return static_cast<std::int32_t>(
      firstFill ? dictionarySize : static_cast<std::uint32_t>(position) - dictionarySize);
}

// Whether the counts and 4-byte chains hold every position a search
// reaches, and the one at its bound.
inline bool FastSearchReady() {
  return fastSearch && countBase <= static_cast<std::uint32_t>(LowestBound()) + headBase;
}

// Drops or takes up the counts and 4-byte chains by the chain lengths of
// the last stretch of D positions.
void ChooseSearch() {
  std::uint64_t average = stretchCandidates / std::max<std::uint32_t>(stretchSearches, 1);
  if (fastSearch && average < kShortChains) {
    fastSearch = false;
    searchModeChanges++;
  } else if (!fastSearch && average >= kLongChains) {
    fastSearch = true;
    searchModeChanges++;
    countBase = static_cast<std::uint32_t>(position) + headBase;
  }
  stretchSearches = 0;
  stretchCandidates = 0;
}

void SlideWindow() {
  firstFill = false;
  std::memmove(window, window + dictionarySize, dictionarySize + kMaxMatch);
  remainder += ReadInput(window + windowSize - dictionarySize, dictionarySize);
  position -= static_cast<std::int32_t>(dictionarySize);
  oddPosition -= static_cast<std::int32_t>(dictionarySize);
  headBase += dictionarySize;
  RebaseHeads();
  std::memset(crowded, 0, sizeof crowded);
  ChooseSearch();
}

inline void AdvancePosition() {
  remainder--;
  position++;
  if (position >= static_cast<std::int32_t>(windowSize - kMaxMatch)) SlideWindow();
  hashValue = ((hashValue << 5) ^ window[position + 2]) & kHashMask;
}

inline std::uint16_t ChainDistance(std::uint32_t from, std::uint32_t to) {
  std::uint32_t distance = from - to;
  return static_cast<std::uint16_t>(distance <= dictionarySize - 2 ? distance : kChainEnd);
}

// Links the current position into its bucket (and its 4-byte chain). Its
// slot last held the position D back, which leaves the reach now.
inline void LinkPosition() {
  const std::uint32_t p = static_cast<std::uint32_t>(position) + headBase;
  const std::uint32_t slot = static_cast<std::uint32_t>(position) & (dictionarySize - 1);
  Bucket& b = buckets[hashValue];
  if (fastSearch) {
    if (p - countBase >= dictionarySize) buckets[bucketOf[slot]].count--;
    bucketOf[slot] = static_cast<std::uint16_t>(hashValue);
    if (b.head < countBase) b.count = 0;
    b.count++;
    std::uint32_t& h4 = head4[Hash4(window + position)];
    link4[slot] = ChainDistance(p, h4);
    h4 = p;
  }
  link[slot] = ChainDistance(p, b.head);
  b.head = p;
}

// Number of equal leading bytes of a and b, at most limit.
inline int MatchingBytes(const std::uint8_t* a, const std::uint8_t* b, int limit) {
  int len = 0;
  while (len < limit) {
    std::uint64_t diff = Load8(a + len) ^ Load8(b + len);
    if (diff != 0) {
      len += __builtin_ctzll(diff) >> 3;
      return len < limit ? len : limit;
    }
    len += 8;
  }
  return limit;
}

// The length of the match at start, at most limit, when it can beat best;
// 0 otherwise. To beat best a candidate must equal the current bytes up to
// that length, which one word compare settles for most candidates.
inline int LengthToBeat(const std::uint8_t* start, const std::uint8_t* current, int best,
                        int limit) {
  if (best < 8) {
    std::uint64_t diff = Load8(start) ^ Load8(current);
    if (diff != 0) {
      int len = __builtin_ctzll(diff) >> 3;
      return len < limit ? len : limit;
    }
    return limit <= 8 ? limit : 8 + MatchingBytes(start + 8, current + 8, limit - 8);
  }
  if (Load8(start + best - 7) != Load8(current + best - 7)) return 0;
  return MatchingBytes(start, current, limit);
}

// The plain walk down the chain of bucket h, whose entries are the positions
// of the three bytes `shift` ahead of a match start. Keeps the first longest
// match; stops at the bound or at a match of the full limit; marks the
// bucket crowded after 256 or more candidates. Returns the candidates met.
int SearchChain(unsigned h, int shift, int limit) {
  const std::uint8_t* current = window + position;
  const std::int32_t bound = LowestBound() + shift;
  const std::uint32_t mask = dictionarySize - 1;
  std::int32_t candidate = HeadIndex(buckets[h].head);
  int best = matchLength;
  std::int32_t bestPosition = matchPosition;
  int count = 0;
  while (candidate > bound) {
    count++;
    int len = LengthToBeat(window + candidate - shift, current, best, limit);
    if (len > best) {
      best = len;
      bestPosition = candidate - shift;
      if (len == limit) break;
    }
    candidate -= link[static_cast<std::uint32_t>(candidate) & mask];
  }
  matchLength = best;
  matchPosition = bestPosition;
  if (count >= kCrowdedCount) MarkCrowded(h);
  return count;
}

// The walk down the 4-byte chain from `head`: the positions that agree with
// the bytes `shift` ahead of the current position on 4 bytes, newest first,
// among others with the same hash. A match starts `shift` below such a
// position; it is taken when its length (at most limit) is at least minimum
// and beats the best. Returns the start of a match of the full limit, or -1.
std::int32_t SearchFourByteChain(std::uint32_t head, int shift, int limit, int minimum) {
  const std::uint8_t* current = window + position;
  const std::int32_t bound = LowestBound() + shift;
  const std::uint32_t mask = dictionarySize - 1;
  std::int32_t candidate = HeadIndex(head);
  int best = matchLength;
  std::int32_t bestPosition = matchPosition;
  std::int32_t result = -1;
  while (candidate > bound) {
    // The odd position is in the bucket of its 3 bytes only by chance.
    if (shift != 0 || candidate != oddPosition || oddBucket == hashValue) {
      int len = LengthToBeat(window + candidate - shift, current, best, limit);
      if (len >= minimum && len > best) {
        best = len;
        bestPosition = candidate - shift;
        if (len == limit) {
          result = bestPosition;
          break;
        }
      }
    }
    candidate -= link4[static_cast<std::uint32_t>(candidate) & mask];
  }
  matchLength = best;
  matchPosition = bestPosition;
  return result;
}

// The number of candidates a walk of bucket h would meet: the positions
// linked into it within the reach of the search, less those at or below
// the shifted bound.
int CandidatesInReach(unsigned h, int shift) {
  int n = static_cast<int>(BucketCount(h));
  // The positions from the lowest bound up to bound + shift that are linked:
  // before the first slide the lowest is the member's first byte (slot 0),
  // after it the one D back, whose slot is the current position's.
  if (firstFill) {
    const int linked = position - static_cast<std::int32_t>(dictionarySize);
    for (int k = 0; k <= shift && k < linked; k++) {
      if (bucketOf[k] == h) n--;
    }
  } else {
    for (int k = 0; k <= shift; k++) {
      if (bucketOf[static_cast<std::uint32_t>(position + k) & (dictionarySize - 1)] == h) n--;
    }
  }
  return n;
}

// Whether the walk of bucket h (shifted by shift) meets 256 or more
// candidates up to and including the position `last`.
bool CrowdedBefore(unsigned h, int shift, std::int32_t last) {
  const std::int32_t bound = LowestBound() + shift;
  std::int32_t candidate = HeadIndex(buckets[h].head);
  int count = 0;
  while (candidate > bound && count < kCrowdedCount) {
    count++;
    if (candidate == last) break;
    candidate -= link[static_cast<std::uint32_t>(candidate) & (dictionarySize - 1)];
  }
  return count >= kCrowdedCount;
}

// Marks bucket h, which has `candidates` in reach, as the plain walk would
// have: after 256 or more candidates, counted up to a match of the full
// limit when one was found.
void MarkLikeTheWalk(unsigned h, int shift, int candidates, std::int32_t fullMatch) {
  if (IsCrowded(h) || candidates < kCrowdedCount) return;
  if (fullMatch < 0 || CrowdedBefore(h, shift, fullMatch + shift)) MarkCrowded(h);
}

// The search of the current position's own bucket, up to limit (4 or
// more). A candidate of 3 bytes or fewer can only win when nothing of 4 or
// more exists: then the newest one that agrees on 3 bytes.
std::int32_t SearchOwnBucket(int limit) {
  std::int32_t fullMatch = SearchFourByteChain(head4[Hash4(window + position)], 0, limit, 4);
  if (matchLength == 2) {
    const std::uint8_t* current = window + position;
    const std::int32_t bound = LowestBound();
    std::int32_t candidate = HeadIndex(buckets[hashValue].head);
    while (candidate > bound) {
      if (std::memcmp(window + candidate, current, 3) == 0) {
        matchLength = 3;
        matchPosition = candidate;
        break;
      }
      candidate -= link[static_cast<std::uint32_t>(candidate) & (dictionarySize - 1)];
    }
  }
  return fullMatch;
}

// When no candidate of bucket h is longer than `length`: takes the newest
// one of exactly that length, if any.
void SearchFirstOfLength(unsigned h, int shift, int length) {
  const std::uint8_t* current = window + position;
  const std::int32_t bound = LowestBound() + shift;
  std::int32_t candidate = HeadIndex(buckets[h].head);
  while (candidate > bound) {
    if (MatchingBytes(window + candidate - shift, current, length) == length) {
      matchLength = length;
      matchPosition = candidate - shift;
      return;
    }
    candidate -= link[static_cast<std::uint32_t>(candidate) & (dictionarySize - 1)];
  }
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
  const bool fast = FastSearchReady();
  if (shift == 0) {
    // Short chains are walked as they are.
    int candidates = fast ? CandidatesInReach(h, 0) : 0;
    if (!fast || candidates < kShortChain) {
      candidates = SearchChain(h, 0, kMaxMatch);
    } else {
      MarkLikeTheWalk(h, 0, candidates, SearchOwnBucket(kMaxMatch));
    }
    stretchSearches++;
    stretchCandidates += static_cast<std::uint32_t>(candidates);
  } else if (fast && matchLength > shift) {
    // Only matches longer than shift + 1 can win. A candidate in bucket h
    // that agrees with the current bytes `shift` ahead on two bytes agrees
    // on the third too (the hash keeps the third byte whole), so such
    // matches have shift + 3 bytes or more; those of shift + 4 or more agree
    // there on 4 bytes.
    const int entryLength = matchLength;
    std::int32_t fullMatch =
        SearchFourByteChain(head4[Hash4(window + position + shift)], shift, kMaxMatch, shift + 4);
    if (matchLength == entryLength && entryLength < shift + 3) {
      SearchFirstOfLength(h, shift, shift + 3);
    }
    MarkLikeTheWalk(h, shift, CandidatesInReach(h, shift), fullMatch);
  } else {
    SearchChain(h, shift, kMaxMatch);
  }
  // A match longer than shift + 2 would have shown up in the shifted bucket,
  // so look only for short ones in the (crowded) bucket of the position.
  // When the length reached cannot be beaten within that limit the walk would
  // change nothing: the bucket is already marked.
  if (shift != 0 && matchLength < shift + 2) {
    if (shift == 1 || !fast) {
      SearchChain(hashValue, 0, shift + 2);
    } else {
      SearchOwnBucket(shift + 2);
    }
  }
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
  // Every value held lies below the old base plus twice the window size.
  headBase += 2 * (2 * kMaxDictionary + kMaxMatch);
  RebaseHeads();
  fastSearch = true;
  searchModeChanges = 0;
  countBase = headBase + dictionarySize;
  stretchSearches = 0;
  stretchCandidates = 0;
  std::memset(crowded, 0, sizeof crowded);
  StartBlockEncoder(dictionaryBits);

  source = entry.file_handle;
  inputEnded = false;
  crc = 0;
  std::uint32_t n = ReadInput(window + dictionarySize, dictionarySize + kMaxMatch);
  // What lies past the input is read (and then clipped) up to 263 bytes
  // ahead of a position below 2D: clearing it makes a member's data depend on
  // its own bytes only. After a slide such bytes come from the same member.
  std::uint32_t clearFrom = dictionarySize + n;
  std::uint32_t clearTo = std::min(clearFrom + kClearAhead, windowSize + kWindowSlack);
  if (clearFrom < clearTo) std::memset(window + clearFrom, 0, clearTo - clearFrom);
  remainder = n;
  matchLength = n < 2 ? static_cast<std::int32_t>(n) : 2;
  position = static_cast<std::int32_t>(dictionarySize);
  matchPosition = position;
  const std::uint8_t* first = window + dictionarySize;
  // The start value shifts by 7 before the third byte, unlike the rolling
  // hash, so the first two positions' buckets differ from their bytes' hash.
  hashValue = ((((first[0] << 5) ^ first[1]) << 7) ^ first[2]) & kHashMask;
  oddPosition = position + 1;
  oddBucket = ((hashValue << 5) ^ first[3]) & kHashMask;
  LinkPosition();

  if (n != 0) {
    do {
      std::int32_t previousLength = matchLength;
      std::int32_t previousOffset = position - matchPosition - 1;
      // A pending match is sent unless the next position has a longer one,
      // so only longer ones need finding (the search would start one below;
      // at 256 it must, to stop at the first full-length candidate as usual).
      if (previousLength < kMinMatch || previousLength == kMaxMatch) matchLength--;
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

std::uint32_t EncoderHeadBase() { return headBase; }
int EncoderSearchModeChanges() { return searchModeChanges; }

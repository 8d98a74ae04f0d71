// The LZSS encoder loop: reads one member's bytes through a sliding window,
// finds earlier copies of the bytes ahead with hash chains, picks literals and
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
// When even the 4-byte chains run long (few distinct bytes, as in DNA or
// other text of a small alphabet), a binary tree per bucket, sorted by the
// bytes ahead, stands for the walk of the own bucket: its walk visits the
// newest position of every length of match, about log2 of the bucket's
// size of them. It costs a walk at every position, so it is kept only while
// it costs less than the chain walks it stands for.
#include "lzh/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "lzh/crc16.h"

namespace lzh {

namespace {

constexpr int kCrowdedCount = 256;  // candidates that make a bucket crowded
constexpr int kShortChain = 16;     // walked as it is rather than by 4-byte groups
// Average candidates per search over a stretch of D positions below which
// the counts and 4-byte chains are dropped, and from which they are taken
// up again.
constexpr std::uint64_t kShortChains = 4;
constexpr std::uint64_t kLongChains = 8;
// Groups passed over one by one before the run of crowded groups found
// earlier is looked at.
constexpr std::int32_t kQuickGroups = 8;
// The searches after which a member's first stretch may take up the trees.
constexpr std::uint32_t kTreeTrial = 1024;
// While the trees are kept, every kProbeInterval-th search of the own
// bucket counts the steps its walk would take, up to kProbeSteps.
constexpr std::uint32_t kProbeInterval = 32;
constexpr int kProbeSteps = 1024;
constexpr unsigned kHashMask = (1u << 15) - 1;
// Positions ahead whose tables AdvanceAndLink fetches early (2 to 6 gave
// the same, 12 less).
constexpr std::int32_t kLinkAhead = 4;
// A link distance that leads below every later search's bound.
constexpr std::uint16_t kChainEnd = 0xFFFF;
// Before head values could overflow they are moved down by this much.
constexpr std::uint32_t kHeadRebase = 1u << 29;

inline std::uint32_t Rebase(std::uint32_t value) {
  return value > kHeadRebase ? value - kHeadRebase : 0;
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
inline unsigned Hash8(const std::uint8_t* p) {
  return static_cast<unsigned>((Load8(p) * 0x9E3779B97F4A7C15u) >> 49);
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

}  // namespace

// Reads up to count bytes; a failed or short read ends the input for good,
// so the data coded is exactly the data the CRC covers.
std::uint32_t Encoder::ReadInput(std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t total = 0;
  while (!inputEnded_ && total < count) {
    long got = source_->Read(buffer + total, count - total);
    if (got <= 0) {
      inputEnded_ = true;
      break;
    }
    total += static_cast<std::uint32_t>(got);
  }
  crc_ = Crc16Update(crc_, buffer, static_cast<long>(total));
  bytesRead_ += total;
  return total;
}

// Moves every head value down before they could overflow; values that fall
// below 0 were far out of reach, and so are their buckets' positions.
void Encoder::RebaseHeads() {
  if (headBase_ < 2 * kHeadRebase) return;
  for (Bucket& b : buckets_) {
    b.head = Rebase(b.head);
    if (b.head == 0) b.count = 0;
  }
  for (ChainHead& h : head4_) h = {Rebase(h.newest), Rebase(h.previous)};
  for (ChainHead& h : head8_) h = {Rebase(h.newest), Rebase(h.previous)};
  headBase_ -= kHeadRebase;
  countBase_ = Rebase(countBase_);
}

inline std::uint32_t Encoder::BucketCount(unsigned h) const {
  return buckets_[h].head >= countBase_ ? buckets_[h].count : 0;
}

// Candidates lie above this window index: less than D bytes back once the
// window has slid, after the member's first byte before that.
inline std::int32_t Encoder::LowestBound() const {
  return static_cast<std::int32_t>(
      firstFill_ ? dictionarySize_ : static_cast<std::uint32_t>(position_) - dictionarySize_);
}

// Whether the counts and 4-byte chains hold every position a search
// reaches, and the one at its bound.
inline bool Encoder::FastSearchReady() const {
  return fastSearch_ && countBase_ <= static_cast<std::uint32_t>(LowestBound()) + headBase_;
}

// Drops or takes up the counts and 4-byte chains by the chain lengths of
// the last stretch of D positions.
void Encoder::ChooseSearch() {
  std::uint64_t average = stretchCandidates_ / std::max<std::uint32_t>(stretchSearches_, 1);
  if (fastSearch_ && average < kShortChains) {
    fastSearch_ = false;
    searchModeChanges_++;
  } else if (!fastSearch_ && average >= kLongChains) {
    fastSearch_ = true;
    searchModeChanges_++;
    countBase_ = static_cast<std::uint32_t>(position_) + headBase_;
  }
  if (treeSearch_ && (!fastSearch_ || !TreesPayOff())) {
    treeSearch_ = false;
    treeModeChanges_++;
  } else if (!treeSearch_ && fastSearch_ && TreesPayOff()) {
    TakeUpTrees(position_);
  }
  StartStretch();
}

void Encoder::StartStretch() {
  stretchStart_ = position_;
  stretchSearches_ = 0;
  stretchCandidates_ = 0;
  ownWalkSteps_ = 0;
  treeSteps_ = 0;
}

// Whether the trees cost less than the walks of the own bucket, by the steps
// of this stretch. A tree step costs two to three steps of a chain (it
// compares and relinks, and its next node depends on the compare), and the
// trees are walked at every position, to a depth of about 1.25 log2 of the
// bucket's size. Taking them up asks twice what keeping them asks, as it
// costs a walk for every position in the reach, and so that the choice does
// not flip to and fro.
bool Encoder::TreesPayOff() const {
  if (treeSearch_) return ownWalkSteps_ >= 2 * treeSteps_;
  const std::uint64_t average = stretchCandidates_ / std::max<std::uint32_t>(stretchSearches_, 1);
  if (average < kShortChain) return false;
  const std::uint64_t positions =
      static_cast<std::uint64_t>(std::max(position_ - stretchStart_, 1));
  const std::uint64_t treeEstimate = positions * std::bit_width(average) * 5 / 4;
  return ownWalkSteps_ >= 4 * treeEstimate;
}

void Encoder::SlideWindow() {
  firstFill_ = false;
  std::memmove(window_, window_ + dictionarySize_, dictionarySize_ + kMaxMatch);
  remainder_ += ReadInput(window_ + windowSize_ - dictionarySize_, dictionarySize_);
  position_ -= static_cast<std::int32_t>(dictionarySize_);
  oddPosition_ -= static_cast<std::int32_t>(dictionarySize_);
  stretchStart_ -= static_cast<std::int32_t>(dictionarySize_);
  treeFrom_ -= static_cast<std::int32_t>(dictionarySize_);
  headBase_ += dictionarySize_;
  RebaseHeads();
  std::memset(crowded_, 0, sizeof crowded_);
  crowdedFrom_ = crowdedTo_ = 0;
  ChooseSearch();
}

inline void Encoder::AdvancePosition() {
  remainder_--;
  position_++;
  if (position_ >= static_cast<std::int32_t>(windowSize_ - kMaxMatch)) SlideWindow();
  hashValue_ = RollHash(hashValue_, position_);
}

// The bucket of `position`, rolled on from `hash`, the previous position's.
// The next position's bucket is known then too: its head is read one step on
// (a prefetch is a hint; it never faults and changes no result).
inline unsigned Encoder::RollHash(unsigned hash, std::int32_t position) const {
  hash = ((hash << 5) ^ window_[position + 2]) & kHashMask;
  __builtin_prefetch(&buckets_[((hash << 5) ^ window_[position + 3]) & kHashMask]);
  return hash;
}

inline std::uint16_t Encoder::ChainDistance(std::uint32_t from, std::uint32_t to) const {
  std::uint32_t distance = from - to;
  return static_cast<std::uint16_t>(distance <= dictionarySize_ - 2 ? distance : kChainEnd);
}

// Links `position`, whose bucket is `hash`, into its bucket (and its 4- and
// 8-byte chains). Its slot last held the position D back, which leaves the
// reach now.
inline void Encoder::LinkPosition(std::int32_t position, unsigned hash) {
  const std::uint32_t p = static_cast<std::uint32_t>(position) + headBase_;
  const std::uint32_t slot = static_cast<std::uint32_t>(position) & (dictionarySize_ - 1);
  Bucket& b = buckets_[hash];
  if (fastSearch_) {
    if (p - countBase_ >= dictionarySize_) buckets_[bucketOf_[slot]].count--;
    bucketOf_[slot] = static_cast<std::uint16_t>(hash);
    if (b.head < countBase_) b.count = 0;
    b.count++;
    LinkIntoChain(head4_[Hash4(window_ + position)], link4_, skip4_, p, slot);
    LinkIntoChain(head8_[Hash8(window_ + position)], link8_, skip8_, p, slot);
  }
  // The head's link is read here rather than kept in the bucket beside the
  // count: a third word per bucket costs more than the read (measured). A
  // link of kChainEnd, or a stale one of a head out of reach, leads out of
  // reach too.
  const std::uint16_t headLink =
      link_[static_cast<std::uint32_t>(HeadIndex(b.head)) & (dictionarySize_ - 1)];
  link_[slot] = ChainDistance(p, b.head);
  skip_[slot] = ChainDistance(p, b.head - headLink);
  b.head = p;
}

// Links the position p (a head value) at `slot` into a 4- or 8-byte chain.
// Both of its distances come from the head, so linking waits for no load
// of a link.
inline void Encoder::LinkIntoChain(ChainHead& head, std::uint16_t* links, std::uint16_t* skips,
                                   std::uint32_t p, std::uint32_t slot) {
  links[slot] = ChainDistance(p, head.newest);
  skips[slot] = ChainDistance(p, head.previous);
  head = {p, head.newest};
}

// Advances over `count` positions inside a match and links each, as that
// many rounds of AdvancePosition and LinkPosition do. Up to the next slide
// the position and hash stay in locals rather than in members. Linking
// waits mostly for the lines of the three heads and of the count it takes
// down, which are as good as random; they are fetched kLinkAhead positions
// early (a prefetch is a hint: it never faults and changes no result).
void Encoder::AdvanceAndLink(int count) {
  // The bytes hashed ahead lie within the look-ahead of the window.
  static_assert(kLinkAhead + 8 <= kMaxMatch);
  while (count > 0) {
    const std::int32_t room = static_cast<std::int32_t>(windowSize_ - kMaxMatch) - 1 - position_;
    if (room <= 0) {  // this advance slides the window
      AdvancePosition();
      LinkPosition(position_, hashValue_);
      count--;
      continue;
    }
    const int run = std::min(count, room);
    std::int32_t position = position_;
    unsigned hash = hashValue_;
    for (int i = 0; i < run; i++) {
      position++;
      hash = RollHash(hash, position);
      if (fastSearch_) {
        const std::int32_t ahead = position + kLinkAhead;
        const std::uint32_t slot = static_cast<std::uint32_t>(ahead) & (dictionarySize_ - 1);
        __builtin_prefetch(&buckets_[bucketOf_[slot]], 1);
        __builtin_prefetch(&head4_[Hash4(window_ + ahead)], 1);
        __builtin_prefetch(&head8_[Hash8(window_ + ahead)], 1);
      }
      LinkPosition(position, hash);
    }
    position_ = position;
    hashValue_ = hash;
    remainder_ -= static_cast<std::uint32_t>(run);
    count -= run;
  }
}

// Inserts the position `at` as the new root of the tree whose root was
// `root` (at or below the bound: an empty tree), splitting the tree along
// the walk into the positions whose 256 bytes sort below those at `at` and
// those that sort above. The walk meets the newest position of every length
// of match: the positions whose match has at least n bytes sort next to
// each other around `at`, and the newest of them has only newer positions
// above it, all sorting on one side of that group, so the walk goes down to
// it. Of two positions with the same 256 bytes the older can never beat the
// newer again, so it leaves the tree. `threshold` asks for the newest
// position whose match has at least that many bytes.
Encoder::TreeMatch Encoder::InsertIntoTree(std::int32_t at, std::int32_t root, int threshold) {
  const std::uint32_t mask = dictionarySize_ - 1;
  const std::int32_t bound = LowestBound();
  const std::uint8_t* current = window_ + at;
  const std::uint32_t slot = static_cast<std::uint32_t>(at) & mask;
  // Per side (0: the positions that sort below `at`, 1: above): the link
  // where the next position of that side hangs, the position that link
  // belongs to, and how many bytes that position agrees on with `at`. Every
  // position left to walk sorts between the two, so it agrees on the
  // shorter length too. The side of a node is as good as random, so it
  // indexes these rather than being branched on.
  std::uint16_t* end[2] = {&subtree_[slot][0], &subtree_[slot][1]};
  std::int32_t owner[2] = {at, at};
  int length[2] = {0, 0};
  TreeMatch found{0, -1, -1};
  std::int32_t node = root;
  while (node > bound) {
    treeSteps_++;
    std::uint16_t* links = subtree_[static_cast<std::uint32_t>(node) & mask];
    // Word by word from the length known to agree (the window has room for a
    // word read past the 256 bytes); unequal words read as big-endian numbers
    // also sort as their bytes do.
    int len = std::min(length[0], length[1]);
    std::uint64_t nodeWord = Load8(window_ + node + len);
    std::uint64_t currentWord = Load8(current + len);
    while (nodeWord == currentWord && len < kMaxMatch - 8) {
      len += 8;
      nodeWord = Load8(window_ + node + len);
      currentWord = Load8(current + len);
    }
    len += nodeWord != currentWord ? __builtin_ctzll(nodeWord ^ currentWord) >> 3 : 8;
    if (len > kMaxMatch) len = kMaxMatch;
    // Nodes come newest first: keep the first of each length.
    const bool longer = len > found.length;
    found.position = longer ? node : found.position;
    found.length = longer ? len : found.length;
    found.atLeast = found.atLeast < 0 && len >= threshold ? node : found.atLeast;
    if (len == kMaxMatch) {
      // `at` takes the node's place and subtrees.
      *end[0] = ChainDistance(owner[0], node - links[0]);
      *end[1] = ChainDistance(owner[1], node - links[1]);
      return found;
    }
    const int side = __builtin_bswap64(nodeWord) > __builtin_bswap64(currentWord);
    *end[side] = ChainDistance(owner[side], node);
    end[side] = &links[1 - side];
    owner[side] = node;
    length[side] = len;
    node -= links[1 - side];
  }
  *end[0] = kChainEnd;
  *end[1] = kChainEnd;
  return found;
}

// Puts the positions linked since the last search into their trees (those
// from treeFrom_ below `end` that are within the reach), oldest first, each
// into the tree of its bucket as its chain stood then: its link leads to the
// newest position linked before it, the tree's root at that time. The trees
// only need them at the next search, so the positions passed over inside a
// match are linked without a tree walk each.
void Encoder::CatchUpTrees(std::int32_t end) {
  const std::uint32_t mask = dictionarySize_ - 1;
  for (std::int32_t at = std::max(treeFrom_, LowestBound() + 1); at < end; at++) {
    InsertIntoTree(at, at - link_[static_cast<std::uint32_t>(at) & mask], kMaxMatch + 1);
  }
  treeFrom_ = end;
}

// Builds the trees of the linked positions within the reach (those below
// `end`). From here on every position linked goes into its tree as well.
void Encoder::TakeUpTrees(std::int32_t end) {
  treeSearch_ = true;
  treeModeChanges_++;
  treeFrom_ = LowestBound() + 1;
  CatchUpTrees(end);
  probeCountdown_ = kProbeInterval;
  StartStretch();
}

// The steps the search of the own bucket would take without the trees: the
// walk of a short chain, else of the 4-byte chain up to the newest match of
// full length (up to kProbeSteps).
int Encoder::ProbeOwnWalk(int candidates, std::int32_t fullMatch) const {
  if (candidates < kShortChain) return candidates;
  const std::int32_t bound = LowestBound();
  std::int32_t candidate = HeadIndex(head4_[Hash4(window_ + position_)].newest);
  int steps = 0;
  while (candidate > bound && steps < kProbeSteps) {
    steps++;
    if (candidate == fullMatch) break;
    candidate -= link4_[static_cast<std::uint32_t>(candidate) & (dictionarySize_ - 1)];
  }
  return steps;
}

// The plain walk down the chain of bucket h, whose entries are the positions
// of the three bytes `shift` ahead of a match start. Keeps the first longest
// match; stops at the bound or at a match of the full limit; marks the
// bucket crowded after 256 or more candidates. Returns the candidates met.
// Inlined like FindMatch: on data with short chains (random bytes) a call's
// register saves cost as much as the walk.
[[gnu::always_inline]] inline int Encoder::SearchChain(unsigned h, int shift, int limit) {
  const std::uint8_t* current = window_ + position_;
  const std::int32_t bound = LowestBound() + shift;
  const std::uint32_t mask = dictionarySize_ - 1;
  std::int32_t candidate = HeadIndex(buckets_[h].head);
  int best = matchLength_;
  std::int32_t bestPosition = matchPosition_;
  int count = 0;
  // Two links at a time, as in SearchFourByteChain.
  std::int32_t next = candidate - link_[static_cast<std::uint32_t>(candidate) & mask];
  while (candidate > bound) {
    count++;
    const std::int32_t afterNext = candidate - skip_[static_cast<std::uint32_t>(candidate) & mask];
    int len = LengthToBeat(window_ + candidate - shift, current, best, limit);
    if (len > best) {
      best = len;
      bestPosition = candidate - shift;
      if (len == limit) break;
    }
    candidate = next;
    next = afterNext;
  }
  matchLength_ = best;
  matchPosition_ = bestPosition;
  if (count >= kCrowdedCount) MarkCrowded(h);
  if (shift == 0) ownWalkSteps_ += static_cast<std::uint32_t>(count);
  return count;
}

// The walk down the 4-byte chain from `head`: the positions that agree with
// the bytes `shift` ahead of the current position on 4 bytes, newest first,
// among others with the same hash. A match starts `shift` below such a
// position; it is taken when its length (at most limit) is at least minimum
// and beats the best. Returns the start of a match of the full limit, or -1.
// Counts its steps into ownWalkSteps_ (kCounted times over) when kCounted.
//
// Once the best has shift + 8 bytes or more, a match that beats it agrees
// with the current bytes on the 8 bytes from `shift` on, so the walk goes on
// down the 8-byte chain, which holds every such position and far fewer
// others: in text most steps of a 4-byte walk come after a match of 8.
//
// A walk is a chase of links, each load waiting for the one before. Here
// the candidate after next comes from the candidate's skip, so two chases
// run interleaved, each half as long. A skip leads where two links lead,
// and the walk stops at the first candidate at or below the bound, so the
// links and skips read past that point (of slots reused since) are never
// used.
template <std::uint32_t kCounted>
std::int32_t Encoder::SearchFourByteChain(std::uint32_t head, int shift, int limit, int minimum) {
  const std::uint8_t* current = window_ + position_;
  const std::int32_t bound = LowestBound() + shift;
  const std::uint32_t mask = dictionarySize_ - 1;
  std::int32_t candidate = HeadIndex(head);
  int best = matchLength_;
  std::int32_t bestPosition = matchPosition_;
  // A candidate is taken when it is longer than this: the best, and at
  // least minimum.
  int floor = std::max(best, minimum - 1);
  std::int32_t result = -1;
  std::uint32_t steps = 0;
  // The probe counts the steps of the whole 4-byte walk.
  const std::uint16_t* links = link4_;
  const std::uint16_t* skips = skip4_;
  if (kCounted == 0 && floor >= shift + 8) {
    candidate = HeadIndex(head8_[Hash8(current + shift)].newest);
    links = link8_;
    skips = skip8_;
  }
  // The odd position is in the own bucket only by chance; -1 is never a
  // candidate (every bound is 0 or more).
  const std::int32_t odd = shift == 0 && oddBucket_ != hashValue_ ? oddPosition_ : -1;
  std::int32_t next = candidate - links[static_cast<std::uint32_t>(candidate) & mask];
  while (candidate > bound) {
    if constexpr (kCounted != 0) steps++;
    std::int32_t afterNext = candidate - skips[static_cast<std::uint32_t>(candidate) & mask];
    if (candidate != odd) {
      const int len = LengthToBeat(window_ + candidate - shift, current, floor, limit);
      if (len > floor) {
        best = floor = len;
        bestPosition = candidate - shift;
        if (len == limit) {
          result = bestPosition;
          break;
        }
        // The candidate agrees on those 8 bytes, so it is in the 8-byte chain.
        if (kCounted == 0 && floor >= shift + 8 && links != link8_) {
          links = link8_;
          skips = skip8_;
          next = candidate - links[static_cast<std::uint32_t>(candidate) & mask];
          afterNext = candidate - skips[static_cast<std::uint32_t>(candidate) & mask];
        }
      }
    }
    candidate = next;
    next = afterNext;
  }
  matchLength_ = best;
  matchPosition_ = bestPosition;
  if constexpr (kCounted != 0) ownWalkSteps_ += kCounted * steps;
  return result;
}

// The number of candidates a walk of bucket h would meet: the positions
// linked into it within the reach of the search, less those at or below
// the shifted bound.
int Encoder::CandidatesInReach(unsigned h, int shift) const {
  int n = static_cast<int>(BucketCount(h));
  // The positions from the lowest bound up to bound + shift that are linked:
  // before the first slide the lowest is the member's first byte (slot 0),
  // after it the one D back, whose slot is the current position's.
  if (firstFill_) {
    const int linked = position_ - static_cast<std::int32_t>(dictionarySize_);
    for (int k = 0; k <= shift && k < linked; k++) {
      if (bucketOf_[k] == h) n--;
    }
  } else {
    for (int k = 0; k <= shift; k++) {
      if (bucketOf_[static_cast<std::uint32_t>(position_ + k) & (dictionarySize_ - 1)] == h) n--;
    }
  }
  return n;
}

// Whether the walk of bucket h (shifted by shift) meets 256 or more
// candidates up to and including the position `last`.
bool Encoder::CrowdedBefore(unsigned h, int shift, std::int32_t last) const {
  const std::int32_t bound = LowestBound() + shift;
  std::int32_t candidate = HeadIndex(buckets_[h].head);
  int count = 0;
  while (candidate > bound && count < kCrowdedCount) {
    count++;
    if (candidate == last) break;
    candidate -= link_[static_cast<std::uint32_t>(candidate) & (dictionarySize_ - 1)];
  }
  return count >= kCrowdedCount;
}

// Marks bucket h, which has `candidates` in reach, as the plain walk would
// have: after 256 or more candidates, counted up to a match of the full
// limit when one was found.
void Encoder::MarkLikeTheWalk(unsigned h, int shift, int candidates, std::int32_t fullMatch) {
  if (IsCrowded(h) || candidates < kCrowdedCount) return;
  if (fullMatch < 0 || CrowdedBefore(h, shift, fullMatch + shift)) MarkCrowded(h);
}

// The search of the current position's own bucket, up to limit (4 or
// more). A candidate of 3 bytes or fewer can only win when nothing of 4 or
// more exists: then the newest one that agrees on 3 bytes.
template <std::uint32_t kCounted>
std::int32_t Encoder::SearchOwnBucket(int limit) {
  std::int32_t fullMatch =
      SearchFourByteChain<kCounted>(head4_[Hash4(window_ + position_)].newest, 0, limit, 4);
  if (matchLength_ == 2) {
    const std::uint8_t* current = window_ + position_;
    const std::int32_t bound = LowestBound();
    std::int32_t candidate = HeadIndex(buckets_[hashValue_].head);
    while (candidate > bound) {
      if (std::memcmp(window_ + candidate, current, 3) == 0) {
        matchLength_ = 3;
        matchPosition_ = candidate;
        break;
      }
      candidate -= link_[static_cast<std::uint32_t>(candidate) & (dictionarySize_ - 1)];
    }
  }
  return fullMatch;
}

// When no candidate of bucket h is longer than `length`: takes the newest
// one of exactly that length, if any.
void Encoder::SearchFirstOfLength(unsigned h, int shift, int length) {
  const std::uint8_t* current = window_ + position_;
  const std::int32_t bound = LowestBound() + shift;
  std::int32_t candidate = HeadIndex(buckets_[h].head);
  while (candidate > bound) {
    if (MatchingBytes(window_ + candidate - shift, current, length) == length) {
      matchLength_ = length;
      matchPosition_ = candidate - shift;
      return;
    }
    candidate -= link_[static_cast<std::uint32_t>(candidate) & (dictionarySize_ - 1)];
  }
}

// The bucket to search when the own bucket is crowded: crowded buckets are
// passed over for the bucket of a later three-byte group, up to the group
// 252 ahead; when all of those are crowded, the own bucket is searched after
// all. Returns how far ahead the group lies, and its bucket in h.
int Encoder::SkipCrowdedBuckets(unsigned& h) {
  constexpr std::int32_t kLastGroup = kMaxMatch - kMinMatch - 1;
  std::int32_t k = 1;
  h = ((h << 5) ^ window_[position_ + 3]) & kHashMask;
  while (k < kQuickGroups && IsCrowded(h)) {
    k++;
    h = ((h << 5) ^ window_[position_ + k + 2]) & kHashMask;
  }
  if (k < kQuickGroups) return k;
  // Marks are only set until the next slide, so groups found crowded stay
  // so: a long walk over the groups need not check them again.
  if (crowdedFrom_ <= position_ + 1 && position_ + k < crowdedTo_) {
    k = std::min(crowdedTo_ - position_, kLastGroup + 1);
    const std::uint8_t* group = window_ + position_ + k;
    h = ((group[0] << 10) ^ (group[1] << 5) ^ group[2]) & kHashMask;
  }
  while (k <= kLastGroup && IsCrowded(h)) {
    k++;
    h = ((h << 5) ^ window_[position_ + k + 2]) & kHashMask;
  }
  crowdedFrom_ = position_ + 1;
  crowdedTo_ = position_ + k;
  if (k <= kLastGroup) return k;
  h = hashValue_;
  return 0;
}

inline void Encoder::CountSearch(int candidates) {
  stretchSearches_++;
  stretchCandidates_ += static_cast<std::uint32_t>(candidates);
}

// The search while the trees are kept: the walk that puts the current
// position into its tree stands for every search of the own bucket. The
// tree holds the positions of the chain, so the walk of the chain would meet
// the same candidates (those of 2 bytes or fewer can never win). Returns
// false when the chains are to be searched instead, as long as the counts
// that stand for the crowded marks are not complete.
bool Encoder::SearchByTree(unsigned h, int shift) {
  CatchUpTrees(position_);
  const TreeMatch own = InsertIntoTree(position_, HeadIndex(buckets_[hashValue_].head), shift + 2);
  treeFrom_ = position_ + 1;
  if (!FastSearchReady()) return false;
  if (shift == 0) {
    if (own.length > matchLength_) {
      matchLength_ = own.length;
      matchPosition_ = own.position;
    }
    const int candidates = CandidatesInReach(h, 0);
    const std::int32_t fullMatch = own.length == kMaxMatch ? own.position : -1;
    MarkLikeTheWalk(h, 0, candidates, fullMatch);
    if (--probeCountdown_ == 0) {
      probeCountdown_ = kProbeInterval;
      ownWalkSteps_ +=
          kProbeInterval * static_cast<std::uint32_t>(ProbeOwnWalk(candidates, fullMatch));
    }
    CountSearch(candidates);
    return true;
  }
  SearchShiftedBucket(h, shift, true);
  // The second pass, limited to shift + 2 bytes, keeps the newest of the
  // longest when that is shorter, else the newest that reaches the limit.
  if (matchLength_ < shift + 2) {
    if (own.atLeast >= 0) {
      matchLength_ = shift + 2;
      matchPosition_ = own.atLeast;
    } else if (own.length > matchLength_) {
      matchLength_ = own.length;
      matchPosition_ = own.position;
    }
  }
  return true;
}

// The first pass over a shifted bucket h (shift of 1 or more).
inline void Encoder::SearchShiftedBucket(unsigned h, int shift, bool fast) {
  if (fast && matchLength_ > shift) {
    // Only matches longer than shift + 1 can win. A candidate in bucket h
    // that agrees with the current bytes `shift` ahead on two bytes agrees
    // on the third too (the hash keeps the third byte whole), so such
    // matches have shift + 3 bytes or more; those of shift + 4 or more agree
    // there on 4 bytes.
    const int entryLength = matchLength_;
    std::int32_t fullMatch = SearchFourByteChain<0>(
        head4_[Hash4(window_ + position_ + shift)].newest, shift, kMaxMatch, shift + 4);
    if (matchLength_ == entryLength && entryLength < shift + 3) {
      SearchFirstOfLength(h, shift, shift + 3);
    }
    MarkLikeTheWalk(h, shift, CandidatesInReach(h, shift), fullMatch);
  } else {
    SearchChain(h, shift, kMaxMatch);
  }
}

// Searches for the longest match at the current position, then links it.
// Inlined into the coding loop, which runs it at every position not inside
// a match (4% fewer instructions on a mix of text, code and random bytes).
[[gnu::always_inline]] inline void Encoder::FindMatch() {
  if (matchLength_ < 2) matchLength_ = 2;
  matchPosition_ = position_;
  // A member whose chains run very long from its start takes up the trees
  // without waiting for the first slide.
  if (stretchSearches_ == kTreeTrial && firstFill_ && !treeSearch_) [[unlikely]] {
    if (fastSearch_ && TreesPayOff()) TakeUpTrees(position_);
  }
  unsigned h = hashValue_;
  const int shift = IsCrowded(h) ? SkipCrowdedBuckets(h) : 0;
  if (treeSearch_) [[unlikely]] {
    if (SearchByTree(h, shift)) {
      LinkPosition(position_, hashValue_);
      return;
    }
  }
  const bool fast = FastSearchReady();
  if (shift == 0) {
    int candidates = fast ? CandidatesInReach(h, 0) : 0;
    if (!fast || candidates < kShortChain) {
      // Short chains are walked as they are.
      candidates = SearchChain(h, 0, kMaxMatch);
    } else if (--probeCountdown_ == 0) {
      // Every kProbeInterval-th walk of the 4-byte chain counts its steps.
      probeCountdown_ = kProbeInterval;
      MarkLikeTheWalk(h, 0, candidates, SearchOwnBucket<kProbeInterval>(kMaxMatch));
    } else {
      MarkLikeTheWalk(h, 0, candidates, SearchOwnBucket<0>(kMaxMatch));
    }
    CountSearch(candidates);
  } else {
    SearchShiftedBucket(h, shift, fast);
    // A match longer than shift + 2 would have shown up in the shifted
    // bucket, so look only for short ones in the (crowded) bucket of the
    // position. When the length reached cannot be beaten within that limit
    // the walk would change nothing: the bucket is already marked.
    if (matchLength_ < shift + 2) {
      if (shift == 1 || !fast) {
        SearchChain(hashValue_, 0, shift + 2);
      } else {
        SearchOwnBucket<0>(shift + 2);
      }
    }
  }
  LinkPosition(position_, hashValue_);
}

inline void Encoder::ClipMatchLength() {
  if (static_cast<std::uint32_t>(matchLength_) > remainder_) {
    matchLength_ = static_cast<std::int32_t>(remainder_);
  }
}

EncodeResult Encoder::Encode(int methodNumber, ByteSource& in, std::uint64_t originalSize,
                             ByteSink& out) {
  firstFill_ = true;
  const MethodInfo& method = MethodForNumber(methodNumber);
  dictionarySize_ = 1u << method.dictionaryBits;
  windowSize_ = 2 * dictionarySize_ + kMaxMatch;
  // Every value held lies below the old base plus twice the window size.
  headBase_ += 2 * (2 * kMaxDictionary + kMaxMatch);
  RebaseHeads();
  fastSearch_ = true;
  treeSearch_ = false;
  probeCountdown_ = kProbeInterval;
  searchModeChanges_ = 0;
  treeModeChanges_ = 0;
  countBase_ = headBase_ + dictionarySize_;
  std::memset(crowded_, 0, sizeof crowded_);
  crowdedFrom_ = crowdedTo_ = 0;
  blocks_.Start(method, out, originalSize);

  source_ = &in;
  inputEnded_ = false;
  crc_ = 0;
  bytesRead_ = 0;
  std::uint32_t n = ReadInput(window_ + dictionarySize_, dictionarySize_ + kMaxMatch);
  // What lies past the input is read (and then clipped) up to 263 bytes
  // ahead of a position below 2D: clearing it makes a member's data depend on
  // its own bytes only. After a slide such bytes come from the same member.
  constexpr std::uint32_t kClearAhead = kMaxMatch + 2 * kWindowSlack;
  std::uint32_t clearFrom = dictionarySize_ + n;
  std::uint32_t clearTo = std::min(clearFrom + kClearAhead, windowSize_ + kWindowSlack);
  if (clearFrom < clearTo) std::memset(window_ + clearFrom, 0, clearTo - clearFrom);
  remainder_ = n;
  matchLength_ = n < 2 ? static_cast<std::int32_t>(n) : 2;
  position_ = static_cast<std::int32_t>(dictionarySize_);
  matchPosition_ = position_;
  StartStretch();
  const std::uint8_t* first = window_ + dictionarySize_;
  // The start value shifts by 7 before the third byte, unlike the rolling
  // hash, so the first two positions' buckets differ from their bytes' hash.
  hashValue_ = ((((first[0] << 5) ^ first[1]) << 7) ^ first[2]) & kHashMask;
  oddPosition_ = position_ + 1;
  oddBucket_ = ((hashValue_ << 5) ^ first[3]) & kHashMask;
  LinkPosition(position_, hashValue_);

  const BitWriter& writer = blocks_.writer();
  if (n != 0) {
    do {
      std::int32_t previousLength = matchLength_;
      std::int32_t previousOffset = position_ - matchPosition_ - 1;
      // A pending match is sent unless the next position has a longer one,
      // so only longer ones need finding (the search would start one below;
      // at 256 it must, to stop at the first full-length candidate as usual).
      if (previousLength < kMinMatch || previousLength == kMaxMatch) matchLength_--;
      AdvancePosition();
      FindMatch();
      ClipMatchLength();
      if (matchLength_ > previousLength || previousLength < kMinMatch) {
        blocks_.QueueSymbol(window_[position_ - 1], 0);
      } else {
        blocks_.QueueSymbol(static_cast<unsigned>(previousLength + (256 - kMinMatch)),
                            static_cast<unsigned>(previousOffset) & (dictionarySize_ - 1));
        AdvanceAndLink(previousLength - 2);
        AdvancePosition();
        matchLength_ = 2;
        FindMatch();
        ClipMatchLength();
      }
    } while (!writer.givenUp() && remainder_ > 0);
  }

  blocks_.Finish();
  EncodeResult result{EncodeResult::Outcome::kOk, crc_, bytesRead_, writer.produced()};
  if (writer.writeFailed()) {
    result.outcome = EncodeResult::Outcome::kWriteError;
  } else if (writer.givenUp() || writer.produced() >= originalSize) {
    result.outcome = EncodeResult::Outcome::kNotSmaller;
  }
  source_ = nullptr;
  return result;
}

}  // namespace lzh

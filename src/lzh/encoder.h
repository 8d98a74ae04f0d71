// The LZSS encoder of -lh5-, -lh6- and -lh7- data: one member's bytes from a
// byte source into compressed data for a byte sink.
#pragma once

#include <cstdint>

#include "lzh/block_encoder.h"
#include "lzh/codec_io.h"

namespace lzh {

struct EncodeResult {
  enum class Outcome {
    kOk,          // packedSize bytes of compressed data went to the sink
    kNotSmaller,  // the data would not be smaller than originalSize: store instead
    kWriteError,  // the sink failed
  } outcome;
  std::uint16_t crc;         // CRC-16 of every byte read
  std::uint64_t bytesRead;   // the caller checks it against the size it expected
  std::uint64_t packedSize;  // bytes of compressed data (valid for kOk)
};

// Owns every table of the match finder and of the block encoder, sized for
// -lh7- and allocated with the object (about 2 MiB: make it on the heap), so
// nothing is allocated per member. One object codes one member at a time;
// separate objects share nothing.
class Encoder {
 public:
  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Compresses everything `in` delivers (up to its end or its first failed
  // read) with method 5, 6 or 7 (any other number codes as 5). Gives up as
  // soon as the data would grow past originalSize bytes.
  EncodeResult Encode(int methodNumber, ByteSource& in, std::uint64_t originalSize, ByteSink& out);

  // How the match finder ran, for tests that must drive it onto its rarer
  // paths: the base of its head values (they move down when it reaches
  // 2^30), and how often the last member dropped or took up its bucket
  // counts and 4-byte chains, and its binary trees.
  struct Inspection {
    std::uint32_t headBase;
    int searchModeChanges;
    int treeModeChanges;
  };
  Inspection Inspect() const { return {headBase_, searchModeChanges_, treeModeChanges_}; }

 private:
  static constexpr int kMaxMatch = 256;
  static constexpr int kMinMatch = 3;
  static constexpr int kHashBuckets = 1 << 15;
  static constexpr int kMaxDictionary = 1 << 16;
  // The compare reads whole 8-byte words, up to 7 bytes past the look-ahead.
  static constexpr int kWindowSlack = 16;

  // Per hash bucket: its newest position (window index + headBase) and, while
  // the fast search runs, how many positions within the reach were linked
  // into it.
  struct Bucket {
    std::uint32_t head;
    std::uint32_t count;
  };

  // The newest position of a 4- or 8-byte chain and the one it links to,
  // so that a position linked in learns both without reading a link.
  struct ChainHead {
    std::uint32_t newest;
    std::uint32_t previous;
  };

  // What a walk down a bucket's tree met: the longest match (0 when none)
  // and the newest position of that length, and the newest position whose
  // match has at least the walk's threshold length (-1 when none).
  struct TreeMatch {
    int length;
    std::int32_t position;
    std::int32_t atLeast;
  };

  std::uint32_t ReadInput(std::uint8_t* buffer, std::uint32_t count);
  bool IsCrowded(unsigned h) const { return (crowded_[h >> 6] >> (h & 63)) & 1; }
  void MarkCrowded(unsigned h) { crowded_[h >> 6] |= std::uint64_t{1} << (h & 63); }
  std::int32_t HeadIndex(std::uint32_t value) const {
    return static_cast<std::int32_t>(value - headBase_);
  }
  void RebaseHeads();
  std::uint32_t BucketCount(unsigned h) const;
  std::int32_t LowestBound() const;
  bool FastSearchReady() const;
  void ChooseSearch();
  void SlideWindow();
  void AdvancePosition();
  unsigned RollHash(unsigned hash, std::int32_t position) const;
  std::uint16_t ChainDistance(std::uint32_t from, std::uint32_t to) const;
  void LinkPosition(std::int32_t position, unsigned hash);
  void LinkIntoChain(ChainHead& head, std::uint16_t* links, std::uint16_t* skips, std::uint32_t p,
                     std::uint32_t slot);
  void AdvanceAndLink(int count);
  TreeMatch InsertIntoTree(std::int32_t at, std::int32_t root, int threshold);
  void CatchUpTrees(std::int32_t end);
  void TakeUpTrees(std::int32_t end);
  bool TreesPayOff() const;
  void StartStretch();
  int ProbeOwnWalk(int candidates, std::int32_t fullMatch) const;
  int SearchChain(unsigned h, int shift, int limit);
  template <std::uint32_t kCounted>
  std::int32_t SearchFourByteChain(std::uint32_t head, int shift, int limit, int minimum);
  int CandidatesInReach(unsigned h, int shift) const;
  bool CrowdedBefore(unsigned h, int shift, std::int32_t last) const;
  void MarkLikeTheWalk(unsigned h, int shift, int candidates, std::int32_t fullMatch);
  template <std::uint32_t kCounted>
  std::int32_t SearchOwnBucket(int limit);
  void SearchFirstOfLength(unsigned h, int shift, int length);
  int SkipCrowdedBuckets(unsigned& h);
  void SearchShiftedBucket(unsigned h, int shift, bool fast);
  void CountSearch(int candidates);
  bool SearchByTree(unsigned h, int shift);
  void FindMatch();
  void ClipMatchLength();

  // ---- input ----
  ByteSource* source_ = nullptr;
  bool inputEnded_ = false;
  std::uint16_t crc_ = 0;
  std::uint64_t bytesRead_ = 0;

  // ---- the window and the position being coded ----
  std::uint32_t dictionarySize_ = 0;  // D
  std::uint32_t windowSize_ = 0;      // W = 2D + 256
  std::int32_t position_ = 0;         // window index of the byte being coded
  std::uint32_t remainder_ = 0;       // bytes from position_ to the end of what was read
  unsigned hashValue_ = 0;            // hash of the three bytes at position_
  std::int32_t matchLength_ = 0;
  std::int32_t matchPosition_ = 0;
  bool firstFill_ = false;  // the window has not slid yet
  // The member's second position was linked with a hash that comes from the
  // shifted start value, not from its three bytes: the one position whose
  // bucket the 4-byte chains cannot tell.
  std::int32_t oddPosition_ = 0;
  unsigned oddBucket_ = 0;
  std::uint32_t headBase_ = 0;  // added to a window index to give a head value
  // The three-byte groups at these positions (from, up to to) were found in
  // crowded buckets since the last slide.
  std::int32_t crowdedFrom_ = 0;
  std::int32_t crowdedTo_ = 0;

  // ---- how the search runs ----
  // The counts, buckets and 4-byte chains cost time at every position, so
  // they are kept only while chains run long: from the position countBase_ on.
  bool fastSearch_ = false;
  std::uint32_t countBase_ = 0;
  // Searches of the own bucket since the last slide, and their candidates.
  std::uint32_t stretchSearches_ = 0;
  std::uint64_t stretchCandidates_ = 0;
  int searchModeChanges_ = 0;
  int treeModeChanges_ = 0;
  // The binary trees are kept while they cost less than the walks of the
  // own bucket that they stand for; they then hold every linked position
  // within the reach.
  bool treeSearch_ = false;
  // The first linked position not yet in its tree.
  std::int32_t treeFrom_ = 0;
  // Since the stretch began at stretchStart_: steps of the walks that the
  // trees stand for (while the trees are kept, estimated from a probe of
  // every kProbeInterval-th search) and steps of the tree walks.
  std::int32_t stretchStart_ = 0;
  std::uint64_t ownWalkSteps_ = 0;
  std::uint64_t treeSteps_ = 0;
  std::uint32_t probeCountdown_ = 0;

  // ---- tables ----
  std::uint8_t window_[2 * kMaxDictionary + kMaxMatch + kWindowSlack] = {};
  Bucket buckets_[kHashBuckets] = {};
  // Per position (at position AND (D - 1)): the distance back to the position
  // linked into the same bucket before it, or kChainEnd when that one is D - 1
  // or more bytes back (no later search reaches it); and (while the fast
  // search runs) the bucket itself. Also the distance two steps down the
  // bucket's chain, for the walks that chase two links at a time.
  std::uint16_t link_[kMaxDictionary] = {};
  std::uint16_t skip_[kMaxDictionary] = {};
  std::uint16_t bucketOf_[kMaxDictionary] = {};
  std::uint64_t crowded_[kHashBuckets / 64] = {};  // buckets whose chain proved long
  // The 4-byte chains, kept the same way while the fast search runs, for
  // finding long matches fast. Each position also keeps the distance two
  // steps down its chain (kChainEnd the same way), so that a walk follows
  // two interleaved chains and waits for one load every other step.
  ChainHead head4_[kHashBuckets] = {};
  std::uint16_t link4_[kMaxDictionary] = {};
  std::uint16_t skip4_[kMaxDictionary] = {};
  // And over 8-byte groups, for the walks after a match of 8 bytes.
  ChainHead head8_[kHashBuckets] = {};
  std::uint16_t link8_[kMaxDictionary] = {};
  std::uint16_t skip8_[kMaxDictionary] = {};

  // Per bucket a binary search tree of its positions within the reach,
  // ordered by the 256 bytes that follow each position, the newer above the
  // older; its root is the bucket's head. Per position (at position AND
  // (D - 1)) the distances back to the roots of its subtrees of positions
  // that sort below it ([0]) and above it ([1]), kChainEnd when there is none
  // within the reach.
  std::uint16_t subtree_[kMaxDictionary][2] = {};

  BlockEncoder blocks_;
};

}  // namespace lzh

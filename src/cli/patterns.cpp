// Name patterns: the wildcard matcher behind member selection (the name list)
// and the store-only patterns of -z<ext>.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cli/frontend.h"

namespace {

// True when text[i] is the second byte of a double-byte character: the run
// of lead-byte values right before it has odd length.
bool IsTrailByte(const unsigned char* text, std::size_t i) {
  std::size_t leads = 0;
  while (leads < i && plat::IsLeadByte(text[i - 1 - leads])) ++leads;
  return leads % 2 == 1;
}

// The byte at text[i] for comparison: the letters a to z in upper case,
// every other byte as it is (both bytes of a double-byte character too).
unsigned char Folded(const unsigned char* text, std::size_t i) {
  unsigned char c = text[i];
  if (c < 'a' || c > 'z' || IsTrailByte(text, i)) return c;
  return static_cast<unsigned char>(c - 'a' + 'A');
}

// The part after the last backslash (a trail byte 0x5C is no separator).
const char* LastComponent(const char* path) {
  const char* slash = plat::FindLastBackslash(path);
  return slash ? slash + 1 : path;
}

// One wildcard match. The natural form is recursive: at a star that is not
// the last pattern character, the rest of the pattern is tried at every
// remaining name position, and when all of them fail the character after the
// star is passed over and matching goes on with the name at its end. A
// "dot seen" flag, set whenever a position holding '.' is examined, is shared
// by every attempt of the whole match and forbids the final-dot rule.
//
// Here the recursion runs on an explicit stack of suspended star loops, so a
// pattern made of many stars cannot exhaust the call stack, and an attempt
// (name position, pattern position) that failed once is never made again,
// which keeps hostile patterns such as *a*a*a*a*b polynomial. Skipping a
// repeated attempt gives exactly the result of making it: the flag only
// ever grows, a set flag only removes successes, so an attempt that failed
// fails again, and it cannot set the flag where its first run did not.
// A successful attempt ends the whole match, so only failures are kept.
class Matcher {
 public:
  Matcher(const char* name, const char* pattern)
      : name_(reinterpret_cast<const unsigned char*>(name)),
        pattern_(reinterpret_cast<const unsigned char*>(pattern)),
        nameLength_(std::strlen(name)),
        patternLength_(std::strlen(pattern)),
        nested_(std::strchr(pattern, '*') && std::strchr(std::strchr(pattern, '*') + 1, '*')) {}

  bool Run() {
    std::size_t s = 0;
    std::size_t p = 0;
    for (;;) {
      Outcome outcome = Advance(s, p);
      if (outcome == Outcome::kMatch) return true;
      if (outcome == Outcome::kStar) {
        // s is the first position to try; p the pattern after the star.
        stack_.push_back(StarLoop{s, s, p});
        if (!HasFailed(s, p)) continue;
      }
      if (!NextAttempt(s, p)) return false;
    }
  }

 private:
  enum class Outcome { kMatch, kFail, kStar };

  // A star loop waiting for its attempts: `next` is the name position being
  // tried (from `first` on), `rest` the pattern position just after the star.
  struct StarLoop {
    std::size_t first;
    std::size_t next;
    std::size_t rest;
  };

  // Runs the main loop of the current attempt from (s, p) until it has a
  // result, or until it reaches a star that must try the rest of the
  // pattern at the remaining name positions (then p is after the star).
  Outcome Advance(std::size_t& s, std::size_t& p) {
    while (pattern_[p] != 0) {
      if (name_[s] == 0) return AtNameEnd(p);
      if (name_[s] == '.') dotSeen_ = true;
      unsigned char c = pattern_[p];
      if (c == '*') {
        if (pattern_[p + 1] == 0) return Outcome::kMatch;
        ++p;
        return Outcome::kStar;
      }
      if (c == '?') {
        ++s;
        ++p;
        continue;
      }
      if (Folded(pattern_, p) == Folded(name_, s)) {
        ++s;
        ++p;
        continue;
      }
      // A final '.' also matches the end of a name, or its last character,
      // when no dot was met.
      bool finalDot = c == '.' && pattern_[p + 1] == 0;
      bool nearEnd = name_[s + 1] == 0;
      return (finalDot && nearEnd && !dotSeen_) ? Outcome::kMatch : Outcome::kFail;
    }
    return name_[s] == 0 ? Outcome::kMatch : Outcome::kFail;
  }

  // The rest of an attempt once the name has run out, which depends on the
  // pattern position alone: a final star matches, a star with one character
  // after it fails, a star with more is passed over with the character that
  // follows it, '?' fails, and a final '.' matches unless a dot was seen.
  // Runs of stars are walked once per match and remembered, so that many
  // attempts ending here stay cheap.
  enum class EndKind : std::int8_t { kUnknown, kMatch, kFail, kFinalDot };

  Outcome AtNameEnd(std::size_t p) {
    std::size_t start = p;
    EndKind kind = EndKind::kUnknown;
    while (kind == EndKind::kUnknown) {
      if (!endKinds_.empty() && endKinds_[p] != EndKind::kUnknown) {
        kind = endKinds_[p];
      } else if (pattern_[p] == 0) {
        kind = EndKind::kMatch;
      } else if (pattern_[p] == '*') {
        if (pattern_[p + 1] == 0) {
          kind = EndKind::kMatch;
        } else if (pattern_[p + 2] == 0) {
          kind = EndKind::kFail;
        } else {
          p += 2;
        }
      } else if (pattern_[p] == '.' && pattern_[p + 1] == 0) {
        kind = EndKind::kFinalDot;
      } else {
        kind = EndKind::kFail;
      }
    }
    if (nested_) {
      if (endKinds_.empty()) endKinds_.assign(patternLength_ + 1, EndKind::kUnknown);
      for (std::size_t q = start; q <= p; q += 2) endKinds_[q] = kind;
    }
    bool match = kind == EndKind::kMatch || (kind == EndKind::kFinalDot && !dotSeen_);
    return match ? Outcome::kMatch : Outcome::kFail;
  }

  // The current attempt failed. Finds the next one to run and sets (s, p)
  // to its start; false when the whole match has failed.
  bool NextAttempt(std::size_t& s, std::size_t& p) {
    // The failed attempt is the current try of the innermost star loop,
    // or the top-level match when no loop is waiting.
    if (stack_.empty()) return false;
    StarLoop& loop = stack_.back();
    ++loop.next;
    if (HasFailed(loop.next, loop.rest)) loop.next = nameLength_;
    if (loop.next < nameLength_) {
      s = loop.next;
      p = loop.rest;
      return true;
    }
    // Every position failed: the attempt that owns this loop goes on from
    // its star with the name at its end.
    if (nested_) failedFrom_[loop.rest] = std::min(failedFrom_[loop.rest], loop.first);
    s = nameLength_;
    p = loop.rest - 1;
    stack_.pop_back();
    return true;
  }

  // While a star loop runs, no other loop with the same rest of the pattern
  // can start (attempts only move forward in the pattern), so the failed
  // attempts with one rest always form the positions from some point to
  // the end of the name. Only nested loops (two stars or more) can repeat.
  bool HasFailed(std::size_t s, std::size_t p) {
    if (!nested_) return false;
    if (failedFrom_.empty()) failedFrom_.assign(patternLength_ + 1, nameLength_);
    return s >= failedFrom_[p];
  }

  const unsigned char* name_;
  const unsigned char* pattern_;
  std::size_t nameLength_;
  std::size_t patternLength_;
  bool nested_;
  bool dotSeen_ = false;
  std::vector<StarLoop> stack_;
  // Per pattern position after a star: every attempt from this name
  // position on failed.
  std::vector<std::size_t> failedFrom_;
  std::vector<EndKind> endKinds_;  // patternLength + 1
};

}  // namespace

bool MatchWildcard(const char* name, const char* pattern) { return Matcher(name, pattern).Run(); }

bool IsSelected(const Options& options, const char* path) {
  if (options.fileNames.empty()) return true;  // no names select every member
  const char* pathPart = options.strictNames ? path : LastComponent(path);
  for (const std::string& listName : options.fileNames) {
    const char* pattern = options.strictNames ? listName.c_str() : LastComponent(listName.c_str());
    if (MatchWildcard(pathPart, pattern)) return true;
  }
  return false;
}

bool IsStoreOnly(const Options& options, const char* path) {
  const char* last = LastComponent(path);
  for (const std::string& pattern : options.storeOnlyPatterns) {
    if (MatchWildcard(last, LastComponent(pattern.c_str()))) return true;
  }
  return false;
}

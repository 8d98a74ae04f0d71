// Name patterns: the wildcard matcher, member selection with and without -p,
// the store-only patterns and the stored path of a member.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli/frontend.h"
#include "support/support.h"

namespace {

struct MatchCase {
  const char* pattern;
  const char* name;
  bool match;
};

TEST(MatchWildcard, Table) {
  const MatchCase cases[] = {
      // A star matches everything, the empty name included.
      {"*", "", true},
      {"*", "abc", true},
      {"*", "a.b.c", true},
      // *.* also matches names without a dot.
      {"*.*", "a.b", true},
      {"*.*", "abc", true},
      {"*.*", "", true},
      // A final dot matches the end of a name without a dot.
      {"*.", "abc", true},
      {"*.", "a.b", false},
      {"abc.", "abc", true},
      {"abc.", "abcd", true},
      {"abc.", "abcde", false},
      {"abc.", "ab", false},
      {"abc.", "abc.", true},
      {"a.", "a.", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "A.TXT", true},
      {"*.TXT", "a.txt", true},
      {"*.txt", "atxt", false},
      {"*.txt", "a.txt.bak", false},
      {"*c", "abc", true},
      {"*c", "abd", false},
      {"?", "", false},
      {"?", "a", true},
      {"?", "ab", false},
      {"a?", "a", false},
      {"a?", "ab", true},
      {"a?c", "abc", true},
      {"", "", true},
      {"", "a", false},
      {"abc", "abc", true},
      {"abc", "ab", false},
      {"abc", "abcd", false},
      {"ABC.TXT", "abc.txt", true},
      // A star followed by one character fails when the name has run out.
      {"**", "", false},
      {"**", "a", true},
      {"a*b", "ab", true},
      {"a*b", "axxb", true},
      {"a*b", "axxc", false},
      {"*a*b", "xaxb", true},
      {"*a*b", "xbxa", false},
      {"?*", "", false},
      // Case is ignored for a to z only.
      {"[", "{", false},
      {"@", "`", false},
      {"\xE0", "\xC0", false},
      // Both bytes of a double-byte character compare as they are: 0x83 0x41
      // and 0x83 0x61 are different characters.
      {"\x83\x41.txt", "\x83\x41.txt", true},
      {"\x83\x41.txt", "\x83\x61.txt", false},
      {"\x83\x61.txt", "\x83\x41.txt", false},
      // '?' takes one byte; the letter a after it is still compared with
      // the second byte of the name's double-byte character, unfolded.
      {"?a.txt", "\x83\x61.txt", false},
      // After two lead-byte values (one whole character) a letter is a
      // letter again; after three it is a second byte.
      {"\x83\x83"
       "a",
       "\x83\x83"
       "A",
       true},
      {"\x83\x83\x83\x61", "\x83\x83\x83\x41", false},
      {"*\x95\x5C", "\x95\x5C", true},
      {"?\x5C", "\x95\x5C", true},
      // Backslashes are plain characters to the matcher; a star crosses them.
      {"*.c", "src\\x.c", true},
      {"src\\*.c", "src\\x.c", true},
      {"src\\*.c", "lib\\x.c", false},
      {"src\\?.c", "src\\x.c", true},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(MatchWildcard(c.name, c.pattern), c.match)
        << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
  }
}

// The matcher as a plain recursive walk, to compare against on many inputs.
// Letters are folded unless they are the second byte of a double-byte
// character, which is found by walking the text from its start.
int Fold(const unsigned char* start, const unsigned char* c) {
  bool trail = false;
  for (const unsigned char* q = start; q < c; ++q) {
    trail = !trail && plat::IsLeadByte(*q);
  }
  return (*c >= 'a' && *c <= 'z' && !trail) ? *c - 32 : *c;
}
const unsigned char* nameStart;
const unsigned char* patternStart;
bool ReferenceMatch(const unsigned char* s, const unsigned char* p, bool& dotSeen) {
  while (*p) {
    if (*s == '.') dotSeen = true;
    if (*p == '*') {
      if (!p[1]) return true;
      ++p;
      for (; *s; ++s) {
        if (ReferenceMatch(s, p, dotSeen)) return true;
      }
      if (!p[1]) return false;
      ++p;
      continue;
    }
    if (*p == '?') {
      if (!*s) return false;
      ++s;
      ++p;
      continue;
    }
    if (Fold(patternStart, p) == Fold(nameStart, s)) {
      ++s;
      ++p;
      continue;
    }
    return *p == '.' && !p[1] && (!*s || !s[1]) && !dotSeen;
  }
  return !*s;
}
bool Reference(const std::string& name, const std::string& pattern) {
  bool dotSeen = false;
  nameStart = reinterpret_cast<const unsigned char*>(name.c_str());
  patternStart = reinterpret_cast<const unsigned char*>(pattern.c_str());
  return ReferenceMatch(nameStart, patternStart, dotSeen);
}

TEST(MatchWildcard, AgreesWithRecursiveWalk) {
  struct Alphabet {
    std::string nameChars;
    std::string patternChars;
    std::size_t nameLength;
    std::size_t patternLength;
    int rounds;
  };
  const Alphabet alphabets[] = {
      {"ab.A\x83", "ab.*?*\x83", 8, 8, 60000},
      // Star-heavy patterns against longer names: the nested star loops and
      // the remembered failures.
      {"aa.", "a.**?", 11, 9, 30000},
  };
  std::mt19937 random(12345);
  for (const Alphabet& alphabet : alphabets) {
    for (int i = 0; i < alphabet.rounds; ++i) {
      std::string name(random() % (alphabet.nameLength + 1), ' ');
      for (char& c : name) c = alphabet.nameChars[random() % alphabet.nameChars.size()];
      std::string pattern(random() % (alphabet.patternLength + 1), ' ');
      for (char& c : pattern) c = alphabet.patternChars[random() % alphabet.patternChars.size()];
      ASSERT_EQ(MatchWildcard(name.c_str(), pattern.c_str()), Reference(name, pattern))
          << "pattern \"" << pattern << "\" name \"" << name << "\"";
    }
  }
}

TEST(MatchWildcard, HostilePatternsFinish) {
  // Many stars against a long name that almost matches: a plain recursive
  // walk would take exponential time here.
  std::string name(259, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  EXPECT_FALSE(MatchWildcard(name.c_str(), (pattern + "*b").c_str()));
  EXPECT_TRUE(MatchWildcard(name.c_str(), (pattern + "*").c_str()));
  EXPECT_FALSE(MatchWildcard(name.c_str(), std::string(259, '*').append("b").c_str()));
  std::string dots(258, '.');
  EXPECT_FALSE(MatchWildcard((dots + "x").c_str(), "*.*.*.*.*.*.*.*.*.*.*.*.*.*.*.*.*."));
  // A pattern far longer than any path does not exhaust the stack.
  std::string stars(50000, '*');
  EXPECT_FALSE(MatchWildcard("abc", (stars + "x").c_str()));
  EXPECT_TRUE(MatchWildcard("abc", (stars + "c").c_str()));
}

// The name list and -p of one test.
class Selection : public ::testing::Test {
 protected:
  bool IsSelected(const char* path) const { return ::IsSelected(options_, path); }
  bool IsStoreOnly(const char* path) const { return ::IsStoreOnly(options_, path); }
  Options options_;
};

TEST_F(Selection, EmptyListSelectsEverything) {
  EXPECT_TRUE(IsSelected("abc.txt"));
  EXPECT_TRUE(IsSelected(""));
  EXPECT_TRUE(IsSelected("dir\\sub\\x.bin"));
}

TEST_F(Selection, WithoutStrictNamesLastComponentsAreCompared) {
  options_.fileNames = {"src\\*.c"};
  EXPECT_TRUE(IsSelected("src\\x.c"));
  EXPECT_TRUE(IsSelected("lib\\x.c"));
  EXPECT_TRUE(IsSelected("x.c"));
  EXPECT_FALSE(IsSelected("src\\x.h"));
  options_.fileNames = {"ABC.TXT"};
  EXPECT_TRUE(IsSelected("abc.txt"));
  EXPECT_TRUE(IsSelected("deep\\dir\\abc.txt"));
  // A directory part alone never matches a member name.
  options_.fileNames = {"dir\\"};
  EXPECT_FALSE(IsSelected("dir\\a.txt"));
}

TEST_F(Selection, WithStrictNamesWholePathsAreCompared) {
  options_.strictNames = true;
  options_.fileNames = {"src\\*.c"};
  EXPECT_TRUE(IsSelected("src\\x.c"));
  EXPECT_FALSE(IsSelected("lib\\x.c"));
  EXPECT_FALSE(IsSelected("x.c"));
  // The star matches across backslashes.
  options_.fileNames = {"*.c"};
  EXPECT_TRUE(IsSelected("src\\x.c"));
  EXPECT_TRUE(IsSelected("a\\b\\c\\x.c"));
  options_.fileNames = {"src\\sub"};
  EXPECT_TRUE(IsSelected("src\\sub"));
  EXPECT_FALSE(IsSelected("sub"));
}

TEST_F(Selection, AnyNameOfTheListSelects) {
  options_.fileNames = {"*.txt", "*.c", "readme"};
  EXPECT_TRUE(IsSelected("a.txt"));
  EXPECT_TRUE(IsSelected("b\\a.c"));
  EXPECT_TRUE(IsSelected("readme"));
  EXPECT_FALSE(IsSelected("a.h"));
}

TEST_F(Selection, TrailByteBackslashIsNoSeparator) {
  // 0x95 0x5C is one double-byte character whose second byte is '\'.
  const std::string sjisName = "\x95\x5C.txt";
  options_.fileNames = {sjisName};
  EXPECT_TRUE(IsSelected(sjisName.c_str()));
  EXPECT_TRUE(IsSelected(("dir\\" + sjisName).c_str()));
  EXPECT_FALSE(IsSelected(".txt"));
  // In a list name the same character does not cut off a "directory".
  options_.fileNames = {"\x95\x5C*"};
  EXPECT_FALSE(IsSelected("other.txt"));
  EXPECT_TRUE(IsSelected(("a\\" + sjisName).c_str()));
}

TEST_F(Selection, StoreOnlyPatterns) {
  EXPECT_FALSE(IsStoreOnly("a.lzh"));
  options_.storeOnlyPatterns = {"*.lzh", "*.zip"};
  EXPECT_TRUE(IsStoreOnly("DIR\\X.LZH"));
  EXPECT_TRUE(IsStoreOnly("x.zip"));
  EXPECT_FALSE(IsStoreOnly("x.txt"));
  EXPECT_FALSE(IsStoreOnly("lzh\\x.txt"));
}

}  // namespace

// The CP932 character walk: a trail byte 0x5C is never a separator, and
// the backward steps agree with a walk from the start of the string.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/platform.h"

namespace {

// 表 = 0x95 0x5C, ソ = 0x83 0x5C, 能 = 0x94 0x5C, ｱ = 0xB1 (single byte).
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";
const std::string kNou = "\x94\x5C";

// Character starts found by walking forward from the start.
std::vector<std::size_t> Starts(const std::string& s) {
  std::vector<std::size_t> starts;
  for (const char* p = s.c_str(); *p; p = plat::CharNext(p)) starts.push_back(p - s.c_str());
  return starts;
}

TEST(Cp932, LeadBytes) {
  for (int c = 0; c < 256; ++c) {
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    EXPECT_EQ(plat::IsLeadByte(static_cast<unsigned char>(c)), lead) << c;
  }
}

TEST(Cp932, WalksKeepDoubleByteCharactersWhole) {
  struct Case {
    std::string text;
    std::vector<std::size_t> starts;
    long lastChar;       // offset of LastChar
    long lastBackslash;  // offset of FindLastBackslash, -1 for none
  } cases[] = {
      {"", {}, 0, -1},
      {"abc", {0, 1, 2}, 2, -1},
      {kHyo, {0}, 0, -1},
      {kSo + ".txt", {0, 2, 3, 4, 5}, 5, -1},
      {"a\\" + kHyo, {0, 1, 2}, 2, 1},
      {kHyo + "\\", {0, 2}, 2, 2},
      {"dir\\" + kSo + kNou + "\\x", {0, 1, 2, 3, 4, 6, 8, 9}, 9, 8},
      {kHyo + "\\" + kSo, {0, 2, 3}, 3, 2},
      {"\\\\" + kHyo + kHyo, {0, 1, 2, 4}, 4, 1},
      {"\xB1\\", {0, 1}, 1, 1},                 // half-width kana is one byte
      {"\x81\x81\x81\\", {0, 2}, 2, -1},        // lead bytes pair up from the left
      {"\x81\x81\x81\x81\\", {0, 2, 4}, 4, 4},  //
      {"a\x95", {0, 1}, 1, -1},                 // a lone lead byte at the end
      {"\xE0\x40\xFC\xFC\\", {0, 2, 4}, 4, 4},  // the last lead byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const char* s = c.text.c_str();
    EXPECT_EQ(Starts(c.text), c.starts);
    EXPECT_EQ(plat::LastChar(s) - s, c.lastChar);
    const char* slash = plat::FindLastBackslash(s);
    EXPECT_EQ(slash ? slash - s : -1, c.lastBackslash);
    // CharPrev from each start gives the previous start.
    for (std::size_t i = 0; i < c.starts.size(); ++i) {
      const char* prev = plat::CharPrev(s, s + c.starts[i]);
      EXPECT_EQ(prev - s, static_cast<long>(i == 0 ? 0 : c.starts[i - 1]));
    }
    EXPECT_EQ(plat::CharNext(s + c.text.size()), s + c.text.size());
  }
}

TEST(Cp932, CharPrevAgreesWithAForwardWalk) {
  // Random strings rich in lead bytes and 0x5C: every backward step must
  // land on a start found by walking forward.
  std::mt19937 rng(932);
  const unsigned char alphabet[] = {'a',  '\\', '.',  0x5C, 0x81, 0x95,
                                    0x9F, 0xE0, 0xFC, 0xB1, 0x40, 0x80};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    std::size_t length = rng() % 12;
    for (std::size_t i = 0; i < length; ++i)
      text += static_cast<char>(alphabet[rng() % sizeof alphabet]);
    std::vector<std::size_t> starts = Starts(text);
    const char* s = text.c_str();
    const char* p = s + text.size();
    for (std::size_t i = starts.size(); i > 0; --i) {
      p = plat::CharPrev(s, p);
      ASSERT_EQ(static_cast<std::size_t>(p - s), starts[i - 1]) << testing::PrintToString(text);
    }
    EXPECT_EQ(plat::CharPrev(s, p), s);
    const char* slash = nullptr;
    for (std::size_t start : starts) {
      if (s[start] == '\\') slash = s + start;
    }
    EXPECT_EQ(plat::FindLastBackslash(s), slash);
  }
}

TEST(Cp932, LowerCaseLeavesDoubleByteCharacters) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"ABC.TXT", "abc.txt"},
      {"\x82\x60Z", "\x82\x60z"},          // Ａ (0x82 0x60) stays, Z lowers
      {"\x83\x41", "\x83\x41"},            // ア: its trail byte 0x41 is not 'A'
      {"\x95\x5C\\DIR", "\x95\x5C\\dir"},  //
      {"\xC0\xDA@[`{", "\xC0\xDA@[`{"},    // only A-Z change
      {"A\x81", "a\x81"},                  // a lone lead byte at the end
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    plat::LowerCaseInPlace(s.data());
    EXPECT_EQ(s, c.out) << testing::PrintToString(c.in);
  }
}

}  // namespace

// Directory search through the platform layer: Windows' wildcard rules,
// sorting, exact names, attributes, errors and names without a CP932 form.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

using test::Internal;

const std::string kHyoTxt = "\x95\x5C.txt";  // 表.txt in CP932

std::vector<std::string> Names(const std::vector<plat::FindData>& found) {
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.name);
  return names;
}

class FindFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& name :
         {std::string("a"), std::string("a.txt"), std::string("B.TXT"), std::string("ab"),
          std::string("abc.tar.gz"), std::string("c.dat"), std::string("noext"),
          std::string(".hidden"), kHyoTxt}) {
      test::WriteFile(dir_ / name, "x");
    }
    test::MakeDirs(dir_ / "sub");
  }
  std::string Pattern(const std::string& pattern) { return Internal(dir_.path()) + "\\" + pattern; }

  test::TempDir dir_;
};

TEST_F(FindFilesTest, WildcardsMatchAsOnWindows) {
  const std::vector<std::string> all = {".hidden",    "B.TXT", "a",     "a.txt", "ab",
                                        "abc.tar.gz", "c.dat", "noext", "sub",   kHyoTxt};
  struct Case {
    std::string pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"*", all},
      {"*.*", all},  // names without a dot too
      {"*.txt", {"B.TXT", "a.txt", kHyoTxt}},
      {"*.TxT", {"B.TXT", "a.txt", kHyoTxt}},
      {"?.txt", {"B.TXT", "a.txt", kHyoTxt}},  // a double-byte character is one
      {"A*", {"a", "a.txt", "ab", "abc.tar.gz"}},
      {"a?", {"a", "ab"}},  // '?' may match nothing at the end
      {"??", {"a", "ab"}},
      {"a??.txt", {"a.txt"}},  // ... or before a dot
      {"a.*", {"a", "a.txt"}},
      {"*.", {"a", "ab", "noext", "sub"}},  // names without a dot
      {"*.gz", {"abc.tar.gz"}},
      {"*.tar.*", {"abc.tar.gz"}},
      {"abc.*", {"abc.tar.gz"}},
      {"*b*", {"B.TXT", "ab", "abc.tar.gz", "sub"}},
      {"\x95\x5C*", {kHyoTxt}},
      {".*", {".hidden"}},
      {"?hidden", {}},  // '?' never matches a dot
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<plat::FindData> found;
    bool ok = plat::FindFiles(Pattern(c.pattern).c_str(), found);
    EXPECT_EQ(ok, !c.names.empty());
    EXPECT_EQ(Names(found), c.names);
    if (!ok) {
      EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
    }
  }
}

TEST_F(FindFilesTest, AttributesOfFoundEntries) {
  chmod((dir_ / "c.dat").c_str(), 0444);
  std::vector<plat::FindData> found;
  ASSERT_TRUE(plat::FindFiles(Pattern("*").c_str(), found));
  for (const auto& f : found) {
    SCOPED_TRACE(f.name);
    std::uint32_t expected = plat::kAttrArchive;
    if (f.name == "sub") expected = plat::kAttrDirectory;
    if (f.name == ".hidden") expected |= plat::kAttrHidden;
    if (f.name == "c.dat") expected |= plat::kAttrReadOnly;
    EXPECT_EQ(f.attributes, expected);
  }
}

TEST_F(FindFilesTest, NameWithoutWildcardsIsLookedUpAsItStands) {
  struct Case {
    std::string pattern;
    bool ok;
    std::vector<std::string> names;
    std::uint32_t attributes;
    int error;
  } cases[] = {
      {"sub", true, {"sub"}, plat::kAttrDirectory, 0},
      {kHyoTxt, true, {kHyoTxt}, plat::kAttrArchive, 0},
      {".hidden", true, {".hidden"}, plat::kAttrArchive | plat::kAttrHidden, 0},
      {"A.TXT", false, {}, 0, plat::kErrorFileNotFound},
      {"absent\\x", false, {}, 0, plat::kErrorPathNotFound},
      {"sub\\", false, {}, 0, plat::kErrorFileNotFound},
      {"sub\\.", true, {}, 0, 0},  // found, as Windows finds ".", but not returned
      {"sub\\..", true, {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<plat::FindData> found;
    EXPECT_EQ(plat::FindFiles(Pattern(c.pattern).c_str(), found), c.ok);
    EXPECT_EQ(Names(found), c.names);
    if (!found.empty()) {
      EXPECT_EQ(found[0].attributes, c.attributes);
    }
    if (!c.ok) {
      EXPECT_EQ(plat::LastError(), c.error);
    }
  }
}

TEST_F(FindFilesTest, EmptyAndMissingDirectories) {
  std::vector<plat::FindData> found;
  // An empty directory still holds "." and "..": the search succeeds.
  EXPECT_TRUE(plat::FindFiles(Pattern("sub\\*").c_str(), found));
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(plat::FindFiles(Pattern("sub\\x*").c_str(), found));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_FALSE(plat::FindFiles(Pattern("absent\\*").c_str(), found));
  EXPECT_EQ(plat::LastError(), plat::kErrorPathNotFound);
  EXPECT_FALSE(plat::FindFiles(Pattern("a.txt\\*").c_str(), found));
  EXPECT_EQ(plat::LastError(), plat::kErrorPathNotFound);
}

TEST_F(FindFilesTest, RelativePatternsSearchTheCurrentDirectory) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  std::vector<plat::FindData> found;
  bool ok = plat::FindFiles("*.dat", found);
  std::vector<plat::FindData> inSub;
  test::WriteFile(dir_ / "sub/x.dat", "x");
  bool okSub = plat::FindFiles("sub\\*", inSub);
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Names(found), std::vector<std::string>{"c.dat"});
  EXPECT_TRUE(okSub);
  EXPECT_EQ(Names(inSub), std::vector<std::string>{"x.dat"});
}

TEST_F(FindFilesTest, NamesThatCannotBeTsuboNamesAreReported) {
  // A single-byte backslash would split the name; a lead byte at the end
  // would swallow the separator after it.
  test::WriteFile(dir_ / "back\\slash.txt", "x");
  test::WriteFile(dir_ / "lead\x81", "x");
  std::vector<plat::FindData> found;
  std::vector<std::string> unconvertible;
  ASSERT_TRUE(plat::FindFiles(Pattern("*").c_str(), found, &unconvertible));
  EXPECT_EQ(unconvertible, (std::vector<std::string>{"back\\slash.txt", "lead\x81"}));
  EXPECT_EQ(found.size(), 10u);
  unconvertible.clear();
  ASSERT_TRUE(plat::FindFiles(Pattern("*.txt").c_str(), found, &unconvertible));
  EXPECT_EQ(unconvertible, std::vector<std::string>{"back\\slash.txt"});
}

TEST_F(FindFilesTest, LinksBackIntoTheSearchAreLeftOut) {
  test::MakeDirs(dir_ / "loop/inner");
  test::MakeDirs(dir_ / "other");
  ASSERT_EQ(symlink("..", (dir_ / "loop/up").c_str()), 0);   // to its own parent
  ASSERT_EQ(symlink(".", (dir_ / "loop/self").c_str()), 0);  // to itself
  ASSERT_EQ(symlink("../../loop", (dir_ / "loop/inner/back").c_str()), 0);
  ASSERT_EQ(symlink("../other", (dir_ / "loop/side").c_str()), 0);     // elsewhere: kept
  ASSERT_EQ(symlink("../a.txt", (dir_ / "loop/file").c_str()), 0);     // a file: kept
  ASSERT_EQ(symlink("nowhere", (dir_ / "loop/dangling").c_str()), 0);  // nothing there
  std::vector<plat::FindData> found;
  ASSERT_TRUE(plat::FindFiles(Pattern("loop\\*").c_str(), found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"file", "inner", "side"}));
  EXPECT_EQ(found[0].attributes, plat::kAttrArchive);
  EXPECT_EQ(found[2].attributes, plat::kAttrDirectory);
  ASSERT_TRUE(plat::FindFiles(Pattern("loop\\inner\\*").c_str(), found));
  EXPECT_TRUE(found.empty());
  // Named on its own, a link is found.
  ASSERT_TRUE(plat::FindFiles(Pattern("loop\\up").c_str(), found));
  EXPECT_EQ(Names(found), std::vector<std::string>{"up"});
}

}  // namespace

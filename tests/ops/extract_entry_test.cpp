// Extraction and testing of single members through CUnlha: paths, the path
// and overwrite questions, attributes and times, directory members,
// unsupported methods, data and CRC errors, and refused long paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "ops/output_paths.h"
#include "ops/unlha.h"
#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Member;

// Answers questions from a script: y, a (all) or anything else (no); an
// exhausted script refuses, like standard input at its end.
class ScriptedInquire : public CInquireEvent {
 public:
  explicit ScriptedInquire(std::string answers = "") : answers_(std::move(answers)) {}
  void AskExtractPath(const char* name, int* yes, int* all) override {
    pathQuestions.push_back(name);
    Answer(yes, all);
  }
  void AskOverwrite(const char* name, int* yes, int* all) override {
    overwriteQuestions.push_back(name);
    Answer(yes, all);
  }
  std::vector<std::string> pathQuestions;
  std::vector<std::string> overwriteQuestions;

 private:
  void Answer(int* yes, int* all) {
    if (answers_.empty()) return;
    char c = answers_[0];
    answers_.erase(0, 1);
    if (c == 'y' || c == 'Y') *yes = 1;
    if (c == 'a' || c == 'A') *yes = *all = 1;
  }
  std::string answers_;
};

struct Settings {
  bool useDirs = false;
  bool noConfirm = false;
  bool compareTimes = true;
  bool allAttributes = false;  // -a: no attribute filter, keep read-only
  bool skipPathCheck = false;
  bool keepGoing = false;
  bool testMode = false;
  bool lowerCase = false;
  bool useBaseDir = true;
};

Settings E() { return {}; }
Settings X() {
  Settings s;
  s.useDirs = true;
  s.noConfirm = true;
  return s;
}
Settings T() {
  Settings s;
  s.testMode = true;
  return s;
}

struct Outcome {
  bool ok;
  StatusCode status;
};

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(out); }

  // Extracts (or tests) every member of an archive made of `members`.
  std::vector<Outcome> Run(const std::vector<Member>& members, const Settings& s,
                           CInquireEvent* inquire) {
    test::WriteFile(dir / "a.lzh", lzhtest::Archive(members));
    ArchiveOptions options;
    options.useDirs = s.useDirs;
    options.noConfirm = s.noConfirm;
    options.compareTimes = s.compareTimes;
    options.skipHidden = options.skipSystem = options.clearReadOnly = !s.allAttributes;
    options.skipPathCheck = s.skipPathCheck;
    options.keepGoing = s.keepGoing;
    options.testMode = s.testMode;
    options.lowerCaseNames = s.lowerCase;
    if (s.useBaseDir) options.baseDir = out;
    CUnlha archive(options, inquire);
    EXPECT_EQ(archive.Open((dir / "a.lzh").c_str(), false), kStatusOk);
    std::vector<Outcome> outcomes;
    for (const ArchiveEntry& entry : archive.entries()) {
      const StatusCode status = archive.ExtractEntry(entry);
      outcomes.push_back({status == kStatusOk, status});
    }
    lastSkipPathCheck = archive.skipPathCheck();
    lastNoConfirm = archive.noConfirm();
    archive.CloseAndCommit();
    return outcomes;
  }
  Outcome RunOne(const Member& member, const Settings& s, CInquireEvent* inquire = nullptr) {
    std::vector<Outcome> all = Run({member}, s, inquire);
    return all.empty() ? Outcome{false, kStatusMemberUnreachable} : all[0];
  }

  test::TempDir dir;
  std::string out = dir / "out";
  bool lastSkipPathCheck = false;
  bool lastNoConfirm = false;
};

using test::IsReadOnly;

std::string Text(std::size_t n, std::uint32_t seed) {
  std::string words[] = {"lorem ", "ipsum ", "dolor ", "sit ", "amet\n", "tsubo ", "lha "};
  std::string s;
  std::uint32_t x = seed;
  while (s.size() < n) {
    x = x * 1103515245 + 12345;
    s += words[(x >> 16) % 7];
  }
  s.resize(n);
  return s;
}

TEST_F(ExtractTest, EveryMethodExtractsWithTimeAndAttributes) {
  std::string content = Text(200000, 1);
  std::vector<Member> members = {
      lzhtest::Stored("s.txt", content), lzhtest::Compressed(5, "c5.txt", content),
      lzhtest::Compressed(6, "c6.txt", content), lzhtest::Compressed(7, "c7.txt", content),
      lzhtest::Stored("empty.txt", "")};
  for (Member& m : members) m.attributes = 0x21;  // read-only in the archive
  std::vector<Outcome> outcomes = Run(members, E(), nullptr);
  for (std::size_t i = 0; i < members.size(); ++i) {
    std::string path = out + "/" + members[i].path;
    EXPECT_TRUE(outcomes[i].ok) << members[i].path << " status " << outcomes[i].status;
    EXPECT_EQ(test::ReadFile(path), i == 4 ? "" : content) << members[i].path;
    EXPECT_EQ(test::GetMTime(path), 1700000000) << members[i].path;
    EXPECT_FALSE(IsReadOnly(path)) << "read-only is cleared without -a";
  }
  // With -a the read-only bit stays.
  test::TempDir other;
  Settings keep = E();
  keep.allAttributes = true;
  Member m = lzhtest::Stored("ro.txt", "x");
  m.attributes = 0x21;
  EXPECT_TRUE(RunOne(m, keep).ok);
  EXPECT_TRUE(IsReadOnly(out + "/ro.txt"));
}

TEST_F(ExtractTest, TestingChecksEveryMemberAndWritesNothing) {
  std::string content = Text(70000, 2);
  Member bad = lzhtest::Compressed(7, "bad.txt", content);
  bad.crc ^= 1;
  Member broken = lzhtest::Compressed(5, "broken.txt", content);
  broken.data[2] = static_cast<char>(0xFF);  // code-length count 31: table rejected
  broken.data[3] = static_cast<char>(0xFF);
  Member unsupported = lzhtest::Stored("old.txt", "abc");
  unsupported.method = "-pm2-";
  Member hidden = lzhtest::Stored("..\\hidden", "h");
  hidden.attributes = 0x06;
  std::vector<Member> members = {
      lzhtest::Compressed(6, "good.txt", content), bad,   broken, unsupported,
      lzhtest::DirectoryMember("dir\\"),           hidden};
  std::vector<Outcome> outcomes = Run(members, T(), nullptr);
  ASSERT_EQ(outcomes.size(), 6u);
  EXPECT_TRUE(outcomes[0].ok);
  EXPECT_EQ(outcomes[1].status, kStatusCrcError);
  EXPECT_EQ(outcomes[2].status, kStatusDataError);
  EXPECT_EQ(outcomes[3].status, kStatusUnsupportedMethod);
  EXPECT_TRUE(outcomes[4].ok);
  EXPECT_TRUE(outcomes[5].ok) << "testing ignores attribute and path rules";
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

TEST_F(ExtractTest, CrcAndDataErrorsOnExtraction) {
  std::string content = Text(150000, 3);
  Member bad = lzhtest::Compressed(7, "bad.txt", content);
  bad.crc ^= 0x8000;
  bad.attributes = 0x20;
  Outcome o = RunOne(bad, E());
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.status, kStatusCrcError);
  // The file stays, whole, with the member's time.
  EXPECT_EQ(test::ReadFile(out + "/bad.txt"), content);
  EXPECT_EQ(test::GetMTime(out + "/bad.txt"), 1700000000);

  // A table rejected in the second block: nothing is left under its name,
  // and no scratch file either, so the next run extracts it again.
  Member broken = lzhtest::Compressed(5, "broken.txt", content);
  std::string truncatedStream = broken.data.substr(0, broken.data.size() / 2);
  broken.data = truncatedStream + std::string(100, '\xFF');
  o = RunOne(broken, E());
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.status, kStatusDataError);
  EXPECT_EQ(test::FolderNames(out), std::vector<std::string>{"bad.txt"});
}

TEST_F(ExtractTest, StoredMemberWhoseSizesDifferIsCorrupt) {
  // Copying by the original size would run into the next member, whose
  // bytes here are zeros like the member's: the CRC would pass.
  Member zeros = lzhtest::Stored("zeros.bin", std::string(100000, '\0'));
  zeros.originalSize = 200000;
  Member next = lzhtest::Stored("next.bin", std::string(200000, '\0'));
  for (const Settings& s : {E(), T()}) {
    std::vector<Outcome> o = Run({zeros, next}, s, nullptr);
    EXPECT_FALSE(o[0].ok);
    EXPECT_EQ(o[0].status, kStatusDataError);
    EXPECT_TRUE(o[1].ok);
  }
  EXPECT_EQ(test::FolderNames(out), std::vector<std::string>{"next.bin"});
}

TEST_F(ExtractTest, LinksAtTheOutputNameAreReplacedNeverFollowed) {
  // A read-only file outside the base folder, reached by a symbolic link and
  // by a hard link named like members: it keeps its data, mode and time.
  const std::string outside = dir / "outside.txt";
  test::WriteFile(outside, "precious");
  test::SetMTime(outside, 1500000000);
  ASSERT_EQ(chmod(outside.c_str(), 0444), 0);
  ASSERT_EQ(symlink(outside.c_str(), (out + "/sym.txt").c_str()), 0);
  ASSERT_EQ(link(outside.c_str(), (out + "/hard.txt").c_str()), 0);
  Settings s = X();
  s.compareTimes = false;  // -c: replace whatever stands there
  std::vector<Outcome> o = Run(
      {lzhtest::Stored("sym.txt", "member one"), lzhtest::Compressed(5, "hard.txt", Text(5000, 4))},
      s, nullptr);
  EXPECT_TRUE(o[0].ok && o[1].ok);
  EXPECT_EQ(test::ReadFile(outside), "precious");
  EXPECT_EQ(test::GetMTime(outside), 1500000000);
  EXPECT_TRUE(IsReadOnly(outside));
  struct stat st;
  ASSERT_EQ(lstat((out + "/sym.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(test::ReadFile(out + "/sym.txt"), "member one");
  EXPECT_EQ(test::ReadFile(out + "/hard.txt"), Text(5000, 4));
  EXPECT_EQ(test::FolderNames(out), (std::vector<std::string>{"hard.txt", "sym.txt"}));
}

TEST_F(ExtractTest, EFlattensAndXKeepsDirectories) {
  std::vector<Member> members = {lzhtest::Stored("docs\\readme.txt", "r"),
                                 lzhtest::DirectoryMember("a\\b\\"),
                                 lzhtest::Stored("a\\b\\c\\deep.txt", "d")};
  std::vector<Outcome> e = Run(members, E(), nullptr);
  EXPECT_TRUE(e[0].ok);
  EXPECT_EQ(e[1].status, kStatusDirectoryNotUsed);
  EXPECT_TRUE(e[2].ok);
  EXPECT_EQ(test::ReadFile(out + "/readme.txt"), "r");
  EXPECT_EQ(test::ReadFile(out + "/deep.txt"), "d");
  EXPECT_FALSE(test::FileExists(out + "/a"));

  std::vector<Outcome> x = Run(members, X(), nullptr);
  for (const Outcome& o : x) EXPECT_TRUE(o.ok) << o.status;
  EXPECT_EQ(test::ReadFile(out + "/docs/readme.txt"), "r");
  EXPECT_TRUE(std::filesystem::is_directory(out + "/a/b"));
  EXPECT_EQ(test::ReadFile(out + "/a/b/c/deep.txt"), "d");
  // Again: existing directories count as made.
  x = Run({lzhtest::DirectoryMember("a\\b\\")}, X(), nullptr);
  EXPECT_TRUE(x[0].ok);
}

TEST_F(ExtractTest, DirectoryMemberWithDataNeedsKeepGoing) {
  Member member = lzhtest::DirectoryMember("d\\");
  member.data = "xyz";
  member.originalSize = 3;
  Outcome o = RunOne(member, X());
  EXPECT_EQ(o.status, kStatusBadHeader);
  Settings y = X();
  y.keepGoing = true;
  EXPECT_TRUE(RunOne(member, y).ok);
  EXPECT_TRUE(std::filesystem::is_directory(out + "/d"));
}

TEST_F(ExtractTest, HiddenAndSystemMembersAreSkippedUnlessAll) {
  for (std::uint16_t attributes : {0x22, 0x24, 0x26}) {
    Member m = lzhtest::Stored("h.txt", "h");
    m.attributes = attributes;
    Outcome o = RunOne(m, E());
    EXPECT_EQ(o.status, kStatusAttributeSkip) << attributes;
    EXPECT_FALSE(test::FileExists(out + "/h.txt"));
    Settings all = E();
    all.allAttributes = true;
    EXPECT_TRUE(RunOne(m, all).ok);
    std::filesystem::remove(out + "/h.txt");
  }
  Member d = lzhtest::DirectoryMember("hd\\");
  d.attributes = 0x12;
  EXPECT_EQ(RunOne(d, X()).status, kStatusAttributeSkip);
}

TEST_F(ExtractTest, UnsupportedMethodLeavesAnExistingFileAlone) {
  Member m = lzhtest::Stored("old.txt", "new content");
  m.method = "-pm2-";
  test::WriteFile(out + "/old.txt", "old");
  chmod((out + "/old.txt").c_str(), 0444);
  Settings s = X();
  s.compareTimes = false;
  Outcome o = RunOne(m, s);
  EXPECT_EQ(o.status, kStatusUnsupportedMethod);
  EXPECT_EQ(test::ReadFile(out + "/old.txt"), "old");
  EXPECT_TRUE(IsReadOnly(out + "/old.txt"));
}

// ---- path safety ----

struct PathCase {
  const char* path;    // member path (backslashes as stored)
  bool unsafeUnderX;   // asks under x
  bool unsafeUnderE;   // asks under e (only the name is checked)
  const char* landsX;  // where it lands under x with yes, relative to out ("" = skip check)
};

TEST(IsUnsafePath, Rules) {
  EXPECT_TRUE(IsUnsafePath("..\\x"));
  EXPECT_TRUE(IsUnsafePath("a\\..\\..\\x"));
  EXPECT_TRUE(IsUnsafePath("\\abs"));
  EXPECT_TRUE(IsUnsafePath("/abs"));
  EXPECT_TRUE(IsUnsafePath("C:\\x"));
  EXPECT_TRUE(IsUnsafePath("c:x"));
  EXPECT_TRUE(IsUnsafePath("a..b"));
  EXPECT_TRUE(IsUnsafePath(".."));
  EXPECT_FALSE(IsUnsafePath("a.b\\c.d"));
  EXPECT_FALSE(IsUnsafePath("\x95\x5C.txt"));         // 表.txt
  EXPECT_FALSE(IsUnsafePath("\x95\x5C\\\x95\x5Cx"));  // 表\表x
  EXPECT_FALSE(IsUnsafePath("ab:c"));
  EXPECT_FALSE(IsUnsafePath(".x"));
}

TEST_F(ExtractTest, UnsafePathsAreRefusedWithoutConsent) {
  const std::vector<std::string> paths = {"..\\x1", "a\\..\\..\\x2", "C:\\x3",   "a..b",
                                          "/abs4",  "\\abs5",        "..\\dir\\"};
  for (const char* answers : {"", "n", "nnnnnnnn"}) {
    for (const std::string& p : paths) {
      Member m = p.back() == '\\' ? lzhtest::DirectoryMember(p) : lzhtest::Stored(p, "evil");
      ScriptedInquire inquire(answers);
      Outcome o = RunOne(m, X(), &inquire);
      EXPECT_EQ(o.status, kStatusUnsafePath) << p;
      EXPECT_EQ(inquire.pathQuestions.size(), 1u) << p;
      if (!inquire.pathQuestions.empty()) {
        EXPECT_EQ(inquire.pathQuestions[0],
                  p.back() == '\\' ? "<dir>" : m.path.substr(m.path.rfind('\\') + 1));
      }
      // Without a question object the member is refused as well.
      EXPECT_EQ(RunOne(m, X(), nullptr).status, kStatusUnsafePath) << p;
    }
  }
  // Nothing was written anywhere in the temporary folder but the archive.
  EXPECT_TRUE(std::filesystem::is_empty(out));
  std::size_t files = 0;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(ExtractTest, UnderEOnlyTheNameIsChecked) {
  ScriptedInquire inquire;
  std::vector<Outcome> o =
      Run({lzhtest::Stored("..\\evil.txt", "e"), lzhtest::Stored("a\\..\\..\\e2.txt", "e2"),
           lzhtest::Stored("x\\a..b", "ab")},
          E(), &inquire);
  EXPECT_TRUE(o[0].ok);
  EXPECT_TRUE(o[1].ok);
  EXPECT_EQ(o[2].status, kStatusUnsafePath);
  EXPECT_EQ(inquire.pathQuestions, std::vector<std::string>{"a..b"});
  EXPECT_EQ(test::ReadFile(out + "/evil.txt"), "e");
  EXPECT_EQ(test::ReadFile(out + "/e2.txt"), "e2");
}

TEST_F(ExtractTest, ConsentedPathsLandWhereTheyPoint) {
  // Relative escapes go below the base directory's parent; a leading
  // backslash is an absolute path (inside the temporary folder here).
  std::string absolute = dir.path() + "/abs";
  std::string absoluteMember = "\\" + absolute.substr(1);
  for (char& c : absoluteMember) {
    if (c == '/') c = '\\';
  }
  absoluteMember += "\\file.txt";
  struct Case {
    std::string member;
    std::string lands;
  };
  std::vector<Case> cases = {{"..\\up1.txt", dir / "up1.txt"},
                             {"a\\..\\..\\up2.txt", dir / "up2.txt"},
                             {"a..b", out + "/a..b"},
                             {"C:\\drive.txt", out + "/C:/drive.txt"},
                             {absoluteMember, absolute + "/file.txt"}};
  for (const char* mode : {"y", "a", "-b"}) {
    for (const Case& c : cases) {
      Settings s = X();
      s.skipPathCheck = std::string(mode) == "-b";
      ScriptedInquire inquire(mode);
      Outcome o = RunOne(lzhtest::Stored(c.member, "ok"), s, &inquire);
      EXPECT_TRUE(o.ok) << c.member << " " << mode << " status " << o.status;
      EXPECT_EQ(test::ReadFile(c.lands), "ok") << c.member << " " << mode;
      EXPECT_EQ(inquire.pathQuestions.size(), s.skipPathCheck ? 0u : 1u);
      if (std::string(mode) == "a") {
        EXPECT_TRUE(lastSkipPathCheck);
      }
      if (std::string(mode) == "y") {
        EXPECT_FALSE(lastSkipPathCheck);
      }
      std::filesystem::remove(c.lands);
    }
  }
  // A leading slash with a base directory stays below it.
  ScriptedInquire yes("y");
  std::string slashMember = "/sub/slash.txt";
  Outcome o = RunOne(lzhtest::Stored(slashMember, "s"), E(), &yes);
  EXPECT_TRUE(o.ok) << o.status;
  EXPECT_EQ(yes.pathQuestions.size(), 1u);
  EXPECT_EQ(test::ReadFile(out + "/sub/slash.txt"), "s");
}

TEST_F(ExtractTest, AllAtThePathQuestionStopsAsking) {
  ScriptedInquire inquire("a");
  std::vector<Outcome> o =
      Run({lzhtest::Stored("x\\a..1", "1"), lzhtest::Stored("x\\a..2", "2")}, X(), &inquire);
  EXPECT_TRUE(o[0].ok);
  EXPECT_TRUE(o[1].ok);
  EXPECT_EQ(inquire.pathQuestions.size(), 1u);
}

TEST_F(ExtractTest, DoubleByteNamesWithBackslashTrailBytes) {
  // 表 is 0x95 0x5C: its second byte is no separator.
  const std::string hyo = "\x95\x5C";
  std::vector<Member> members = {lzhtest::Stored(hyo + ".txt", "flat"),
                                 lzhtest::Stored(hyo + "\\" + hyo + "x.txt", "nested"),
                                 lzhtest::DirectoryMember(hyo + "d\\" + hyo + "\\")};
  ScriptedInquire inquire;
  std::vector<Outcome> o = Run(members, X(), &inquire);
  for (const Outcome& r : o) EXPECT_TRUE(r.ok) << r.status;
  EXPECT_TRUE(inquire.pathQuestions.empty());
  EXPECT_EQ(test::ReadFile(out + "/" + hyo + ".txt"), "flat");
  EXPECT_EQ(test::ReadFile(out + "/" + hyo + "/" + hyo + "x.txt"), "nested");
  EXPECT_TRUE(std::filesystem::is_directory(out + "/" + hyo + "d/" + hyo));
}

TEST_F(ExtractTest, BaseDirectoryEndingInTrailByte5CGetsASeparator) {
  const std::string hyo = "\x95\x5C";
  std::string base = dir / ("b" + hyo);
  test::MakeDirs(base);
  test::WriteFile(dir / "a.lzh", lzhtest::Archive({lzhtest::Stored("f.txt", "f")}));
  ArchiveOptions options;
  options.baseDir = base;
  options.compareTimes = true;
  CUnlha archive(options);
  ASSERT_EQ(archive.Open((dir / "a.lzh").c_str(), false), kStatusOk);
  EXPECT_EQ(archive.ExtractEntry(archive.entries()[0]), kStatusOk);
  archive.CloseAndCommit();
  EXPECT_EQ(test::ReadFile(base + "/f.txt"), "f");
}

TEST(MakeOutputPath, Joins) {
  char output[kPathSize];
  ASSERT_TRUE(MakeOutputPath("base", "a\\b.txt", false, output));
  EXPECT_STREQ(output, "base\\a\\b.txt");
  ASSERT_TRUE(MakeOutputPath("base\\", "b.txt", false, output));
  EXPECT_STREQ(output, "base\\b.txt");
  ASSERT_TRUE(MakeOutputPath("b\x95\x5C", "b.txt", false, output));
  EXPECT_STREQ(output, "b\x95\x5C\\b.txt");
  ASSERT_TRUE(MakeOutputPath("base", "\\abs\\b.txt", false, output));
  EXPECT_STREQ(output, "\\abs\\b.txt");
  ASSERT_TRUE(MakeOutputPath("", "b.txt", false, output));
  EXPECT_STREQ(output, "b.txt");
  ASSERT_TRUE(MakeOutputPath("BASE", "DIR\\\x83\x41.TXT", true, output));
  EXPECT_STREQ(output, "base\\dir\\\x83\x41.txt");
  // 259 bytes fit, 260 do not.
  std::string base(200, 'b');
  EXPECT_TRUE(MakeOutputPath(base.c_str(), std::string(58, 'r').c_str(), false, output));
  EXPECT_EQ(std::string(output).size(), 259u);
  EXPECT_FALSE(MakeOutputPath(base.c_str(), std::string(59, 'r').c_str(), false, output));
}

TEST_F(ExtractTest, OutputPathTooLongIsRefused) {
  // The base directory and the member path together pass 259 bytes.
  std::string base = out;
  while (base.size() < 200) base += "/deeper";
  test::MakeDirs(base);
  Member m = lzhtest::Stored(std::string(100, 'n') + ".txt", "x");
  test::WriteFile(dir / "a.lzh", lzhtest::Archive({m}));
  ArchiveOptions options;
  options.baseDir = base;
  CUnlha archive(options);
  ASSERT_EQ(archive.Open((dir / "a.lzh").c_str(), false), kStatusOk);
  EXPECT_EQ(archive.ExtractEntry(archive.entries()[0]), kStatusPathTooLong);
  archive.CloseAndCommit();
  EXPECT_TRUE(std::filesystem::is_empty(base));
}

TEST_F(ExtractTest, LowerCaseNamesWithoutBaseDirectory) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(out.c_str()), 0);
  Settings s = X();
  s.lowerCase = true;
  s.useBaseDir = false;
  std::vector<Outcome> o = Run({lzhtest::Stored("DIR\\Sub\\FILE.TXT", "lower")}, s, nullptr);
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_TRUE(o[0].ok) << o[0].status;
  EXPECT_EQ(test::ReadFile(out + "/dir/sub/file.txt"), "lower");
}

TEST_F(ExtractTest, SlashesInNamesGetTheirDirectories) {
  Member m = lzhtest::Stored("top\\sub/deeper/file.txt", "slash");
  Outcome o = RunOne(m, X());
  EXPECT_TRUE(o.ok) << o.status;
  EXPECT_EQ(test::ReadFile(out + "/top/sub/deeper/file.txt"), "slash");
}

// ---- overwriting ----

struct OverwriteCase {
  const char* what;
  Settings settings;
  std::int64_t existingTime;  // the member's time is 1700000000
  const char* answers;
  bool replaced;
  std::size_t questions;
};

Settings WithoutTimes(Settings s) {
  s.compareTimes = false;
  return s;
}
Settings Confirmless(Settings s) {
  s.noConfirm = true;
  return s;
}

TEST_F(ExtractTest, OverwriteRules) {
  const std::int64_t t = 1700000000;
  const std::vector<OverwriteCase> cases = {
      {"e, older, no answer", E(), t - 10, "", false, 1},
      {"e, older, n", E(), t - 10, "n", false, 1},
      {"e, older, y", E(), t - 10, "y", true, 1},
      {"e, older, Y", E(), t - 10, "Y", true, 1},
      {"e, older, a", E(), t - 10, "a", true, 1},
      {"e, same second", E(), t, "y", false, 0},
      {"e, newer", E(), t + 1, "y", false, 0},
      {"e -c, same second, y", WithoutTimes(E()), t, "y", true, 1},
      {"e -c, newer, n", WithoutTimes(E()), t + 100, "n", false, 1},
      {"e -m, older", Confirmless(E()), t - 10, "", true, 0},
      {"e -m, same second", Confirmless(E()), t, "", false, 0},
      {"x, older", X(), t - 10, "", true, 0},
      {"x, newer", X(), t + 5, "", false, 0},
      {"x -c, newer", WithoutTimes(X()), t + 5, "", true, 0},
  };
  for (const OverwriteCase& c : cases) {
    test::WriteFile(out + "/f.txt", "existing");
    test::SetMTime(out + "/f.txt", c.existingTime);
    ScriptedInquire inquire(c.answers);
    Outcome o = RunOne(lzhtest::Stored("f.txt", "member"), c.settings, &inquire);
    EXPECT_EQ(o.ok, c.replaced) << c.what;
    if (!c.replaced) {
      EXPECT_EQ(o.status, kStatusNotNewer) << c.what;
    }
    EXPECT_EQ(test::ReadFile(out + "/f.txt"), c.replaced ? "member" : "existing") << c.what;
    EXPECT_EQ(inquire.overwriteQuestions.size(), c.questions) << c.what;
    if (c.questions) {
      EXPECT_EQ(inquire.overwriteQuestions[0], "f.txt");
    }
    if (std::string(c.answers) == "a") {
      EXPECT_TRUE(lastNoConfirm) << c.what;
    }
  }
}

TEST_F(ExtractTest, SubSecondTimesCompareAsWholeSeconds) {
  test::WriteFile(out + "/f.txt", "existing");
  struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 900000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, (out + "/f.txt").c_str(), times, 0), 0);
  ScriptedInquire inquire("y");
  Outcome o = RunOne(lzhtest::Stored("f.txt", "member"), E(), &inquire);
  EXPECT_EQ(o.status, kStatusNotNewer);
  EXPECT_TRUE(inquire.overwriteQuestions.empty());
}

TEST_F(ExtractTest, AllAtTheOverwriteQuestionStopsAsking) {
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
    test::WriteFile(out + "/" + name, "old");
    test::SetMTime(out + "/" + name, 1600000000);
  }
  ScriptedInquire inquire("a");
  std::vector<Outcome> o = Run({lzhtest::Stored("1.txt", "n1"), lzhtest::Stored("2.txt", "n2"),
                                lzhtest::Stored("3.txt", "n3")},
                               E(), &inquire);
  for (const Outcome& r : o) EXPECT_TRUE(r.ok);
  EXPECT_EQ(inquire.overwriteQuestions.size(), 1u);
  EXPECT_EQ(test::ReadFile(out + "/3.txt"), "n3");
}

TEST_F(ExtractTest, ReadOnlyExistingFileIsReplaced) {
  for (bool all : {false, true}) {
    test::WriteFile(out + "/ro.txt", "old");
    test::SetMTime(out + "/ro.txt", 1600000000);
    chmod((out + "/ro.txt").c_str(), 0444);
    Member m = lzhtest::Stored("ro.txt", "new");
    m.attributes = 0x21;
    Settings s = X();
    s.allAttributes = all;
    Outcome o = RunOne(m, s);
    EXPECT_TRUE(o.ok) << o.status;
    EXPECT_EQ(test::ReadFile(out + "/ro.txt"), "new");
    EXPECT_EQ(IsReadOnly(out + "/ro.txt"), all);
    chmod((out + "/ro.txt").c_str(), 0644);
  }
}

TEST_F(ExtractTest, OutputFileThatCannotBeCreated) {
  // A directory stands where the file should go.
  test::MakeDirs(out + "/taken.txt/inner");
  Settings s = X();
  s.compareTimes = false;
  Outcome o = RunOne(lzhtest::Stored("taken.txt", "x"), s);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.status, kStatusCannotCreateOutput);
}

TEST_F(ExtractTest, FullDiskFailsTheMember) {
  // A file-size limit makes writes past 64 KiB fail, as a full disk would.
  std::string content = Text(300000, 9);
  test::WriteFile(dir / "a.lzh", lzhtest::Archive({lzhtest::Compressed(7, "c.txt", content),
                                                   lzhtest::Stored("s.txt", content)}));
  ArchiveOptions options;
  options.baseDir = out;
  CUnlha archive(options);
  ASSERT_EQ(archive.Open((dir / "a.lzh").c_str(), false), kStatusOk);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 65536;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const StatusCode decoded = archive.ExtractEntry(archive.entries()[0]);
  const StatusCode stored = archive.ExtractEntry(archive.entries()[1]);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  archive.CloseAndCommit();
  // Both fail as write errors and leave nothing: no cut-short file that a
  // later run would take for a newer one.
  EXPECT_EQ(decoded, kStatusCannotCreateOutput);
  EXPECT_EQ(stored, kStatusCannotCreateOutput);
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

TEST_F(ExtractTest, MemberWhoseDataCannotBePositioned) {
  test::WriteFile(dir / "a.lzh", lzhtest::Archive({lzhtest::Stored("f.txt", "f")}));
  CUnlha archive;
  ASSERT_EQ(archive.Open((dir / "a.lzh").c_str(), false), kStatusOk);
  const ArchiveEntry entry = archive.entries()[0];
  archive.CloseAndCommit();  // the archive file is closed
  EXPECT_EQ(archive.ExtractEntry(entry), kStatusMemberUnreachable);
}

}  // namespace

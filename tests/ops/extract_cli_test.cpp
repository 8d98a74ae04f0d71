// Extraction through the executable: unsafe member paths with answers from
// standard input, the overwrite rules of e, x, -m, -c and -a, and the exit
// codes of CRC errors, data errors, unsupported methods and internal errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Member;
using test::Sjis;

class ExtractCli : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(out); }
  void Write(const std::vector<Member>& members) {
    test::WriteFile(dir / "a.lzh", lzhtest::Archive(members));
  }
  test::RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    test::RunOptions options;
    options.cwd = dir.path();
    options.input = input;
    return test::RunTsubo(args, options);
  }
  // Regular files anywhere in the temporary folder, the archive excepted.
  std::vector<std::string> FilesOutside() {
    std::vector<std::string> found;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
      std::string p = e.path().string();
      if (e.is_regular_file() && p != dir / "a.lzh" && p.rfind(out + "/", 0) != 0) {
        found.push_back(p);
      }
    }
    return found;
  }

  test::TempDir dir;
  std::string out = dir / "out";
};

std::string Text(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i % 977) + " of text\n";
  s.resize(n);
  return s;
}

std::string PathQuestion(const std::string& name) {
  return Sjis("書庫内のファイル[") + name +
         Sjis(
             "]が意図しないフォルダに展開される可能性があります。\n展開しますか？[y:はい n:"
             "いいえ a:すべてはい]");
}

std::string OverwriteQuestion(const std::string& name) {
  return Sjis("既に[") + name +
         Sjis("]が存在します。上書きしますか？[y:はい n:いいえ a:すべてはい]");
}

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// Unsafe members: where each lands once allowed (base directory out/).
struct Unsafe {
  std::string member;  // stored path
  std::string name;    // what the question shows
  std::string lands;   // file system path when allowed
};

std::vector<Unsafe> UnsafeMembers(const test::TempDir& dir, const std::string& out) {
  std::string absolute = dir / "abs";
  std::string absoluteMember = absolute;
  for (char& c : absoluteMember) {
    if (c == '/') c = '\\';
  }
  return {
      {"..\\up1.txt", "up1.txt", dir / "up1.txt"},
      {"a\\..\\..\\up2.txt", "up2.txt", dir / "up2.txt"},
      {absoluteMember + "\\x3.txt", "x3.txt", absolute + "/x3.txt"},
      {"C:\\x4.txt", "x4.txt", out + "/C:/x4.txt"},
      {"a..b", "a..b", out + "/a..b"},
  };
}

TEST_F(ExtractCli, UnsafePathsStayOutWithoutConsent) {
  std::vector<Unsafe> unsafe = UnsafeMembers(dir, out);
  std::vector<Member> members;
  for (const Unsafe& u : unsafe) members.push_back(lzhtest::Stored(u.member, "evil"));
  // A double-byte name whose second byte is 0x5C is safe.
  members.push_back(lzhtest::Stored("\x95\x5C\\\x95\x5C.txt", "fine"));
  Write(members);
  for (const char* input : {"", "n\nn\nn\nn\nn\n", "nnnnn"}) {
    test::RunResult r = Run({"x", "a.lzh", "out/"}, input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const Unsafe& u : unsafe) {
      EXPECT_TRUE(Contains(r.out, PathQuestion(u.name))) << u.member;
      std::string shown = u.member;
      EXPECT_TRUE(Contains(r.out, "Skipped " + shown + Sjis(" : 要注意なパス\n"))) << u.member;
      EXPECT_FALSE(test::FileExists(u.lands)) << u.member;
    }
    // The name's bytes as they are, or in UTF-8 where Windows stores Unicode.
    std::string hyo = test::RunningUnderRunner() ? "\xE8\xA1\xA8" : "\x95\x5C";
    EXPECT_EQ(test::ReadFile(out + "/" + hyo + "/" + hyo + ".txt"), "fine");
    EXPECT_TRUE(Contains(r.out, "Total 6 files No errors\n"));
    EXPECT_TRUE(FilesOutside().empty());
  }
}

TEST_F(ExtractCli, ConsentedUnsafePathsLandWhereTheyPoint) {
  std::vector<Unsafe> unsafe = UnsafeMembers(dir, out);
  std::vector<Member> members;
  for (const Unsafe& u : unsafe) members.push_back(lzhtest::Stored(u.member, "landed"));
  Write(members);
  struct Mode {
    std::vector<std::string> args;
    std::string input;
    std::size_t questions;
  };
  const std::vector<Mode> modes = {
      {{"x", "a.lzh", "out/"}, "y\ny\ny\ny\ny\n", 5},
      {{"x", "a.lzh", "out/"}, "Y Y Y Y Y", 5},
      {{"x", "a.lzh", "out/"}, "a\n", 1},
      {{"x", "-b", "a.lzh", "out/"}, "", 0},
  };
  for (const Mode& m : modes) {
    test::RunResult r = Run(m.args, m.input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::size_t asked = 0;
    for (std::size_t at = 0; (at = r.out.find(Sjis("展開しますか？"), at)) != std::string::npos;
         ++at) {
      ++asked;
    }
    EXPECT_EQ(asked, m.questions) << m.input;
    for (const Unsafe& u : unsafe) {
      EXPECT_EQ(test::ReadFile(u.lands), "landed") << u.member << " with " << m.input;
      std::filesystem::remove(u.lands);
    }
  }
}

TEST_F(ExtractCli, LeadingSlashWithoutBaseDirectory) {
  // A name that holds slashes and begins with one is an absolute path.
  std::string target = dir / "slash.txt";
  Write({lzhtest::Stored(target, "s")});
  test::RunResult r = Run({"e", "a.lzh"});
  EXPECT_TRUE(Contains(r.out, PathQuestion(target)));
  EXPECT_FALSE(test::FileExists(target));
  r = Run({"e", "a.lzh"}, "y\n");
  EXPECT_EQ(test::ReadFile(target), "s");
}

TEST_F(ExtractCli, UnderEOnlyTheNameCounts) {
  Write({lzhtest::Stored("..\\evil.txt", "e")});
  test::RunResult r = Run({"e", "a.lzh", "out/"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(Contains(r.out, Sjis("展開しますか")));
  EXPECT_EQ(test::ReadFile(out + "/evil.txt"), "e");
  EXPECT_FALSE(test::FileExists(dir / "evil.txt"));
}

// ---- overwriting ----

struct OverwriteCase {
  const char* what;
  std::vector<std::string> args;
  std::int64_t existingTime;  // member time: 1700000000
  std::string input;
  bool replaced;
  bool asked;
};

TEST_F(ExtractCli, OverwriteRules) {
  const std::int64_t t = 1700000000;
  const std::vector<OverwriteCase> cases = {
      {"e asks, at end of input", {"e", "a.lzh", "out/"}, t - 60, "", false, true},
      {"e asks, n", {"e", "a.lzh", "out/"}, t - 60, "n\n", false, true},
      {"e asks, y", {"e", "a.lzh", "out/"}, t - 60, "y\n", true, true},
      {"e skips the same second", {"e", "a.lzh", "out/"}, t, "y\n", false, false},
      {"e skips newer", {"e", "a.lzh", "out/"}, t + 60, "y\n", false, false},
      {"e -c asks the same second", {"e", "-c", "a.lzh", "out/"}, t, "y\n", true, true},
      {"e -c asks newer, n", {"e", "-c", "a.lzh", "out/"}, t + 60, "n\n", false, true},
      {"e -m replaces older", {"e", "-m", "a.lzh", "out/"}, t - 60, "", true, false},
      {"x replaces older", {"x", "a.lzh", "out/"}, t - 60, "", true, false},
      {"x skips newer", {"x", "a.lzh", "out/"}, t + 60, "", false, false},
      {"x -c replaces newer", {"x", "-c", "a.lzh", "out/"}, t + 60, "", true, false},
      {"e -c -m replaces newer", {"e", "-c", "-m", "a.lzh", "out/"}, t + 60, "", true, false},
      {"x -m0 asks again", {"x", "-m0", "a.lzh", "out/"}, t - 60, "n\n", false, true},
  };
  Write({lzhtest::Compressed(6, "f.txt", Text(50000))});
  for (const OverwriteCase& c : cases) {
    test::WriteFile(out + "/f.txt", "existing");
    test::SetMTime(out + "/f.txt", c.existingTime);
    test::RunResult r = Run(c.args, c.input);
    EXPECT_EQ(r.exitCode, 0) << c.what;
    EXPECT_EQ(test::ReadFile(out + "/f.txt") != "existing", c.replaced) << c.what;
    EXPECT_EQ(Contains(r.out, OverwriteQuestion("f.txt")), c.asked) << c.what;
    if (c.replaced) {
      EXPECT_TRUE(Contains(r.out, "Extracted f.txt\n")) << c.what;
      EXPECT_EQ(test::GetMTime(out + "/f.txt"), t) << c.what;
    } else {
      EXPECT_TRUE(Contains(r.out, Sjis("Skipped f.txt : 最新のファイルが存在\n"))) << c.what;
    }
  }
}

TEST_F(ExtractCli, AllAtTheOverwriteQuestion) {
  Write({lzhtest::Stored("1.txt", "n1"), lzhtest::Stored("2.txt", "n2"),
         lzhtest::Stored("3.txt", "n3")});
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
    test::WriteFile(out + "/" + name, "old");
    test::SetMTime(out + "/" + name, 1600000000);
  }
  test::RunResult r = Run({"e", "a.lzh", "out/"}, "a\n");
  EXPECT_TRUE(Contains(r.out, OverwriteQuestion("1.txt")));
  EXPECT_FALSE(Contains(r.out, OverwriteQuestion("2.txt")));
  EXPECT_EQ(test::ReadFile(out + "/3.txt"), "n3");
}

using test::IsReadOnly;

TEST_F(ExtractCli, ReadOnlyExistingFileIsReplaced) {
  Member m = lzhtest::Compressed(5, "ro.txt", Text(20000));
  m.attributes = 0x21;
  Write({m});
  for (bool all : {false, true}) {
    test::WriteFile(out + "/ro.txt", "old");
    test::SetMTime(out + "/ro.txt", 1600000000);
    chmod((out + "/ro.txt").c_str(), 0444);
    std::vector<std::string> args = {"x", "a.lzh", "out/"};
    if (all) args.insert(args.begin() + 1, "-a");
    test::RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadFile(out + "/ro.txt"), Text(20000));
    EXPECT_EQ(IsReadOnly(out + "/ro.txt"), all);
    chmod((out + "/ro.txt").c_str(), 0644);
  }
}

// ---- exit codes ----

Member BadCrc(const std::string& name) {
  Member m = lzhtest::Compressed(7, name, Text(80000));
  m.crc ^= 0x0101;
  return m;
}

Member Broken(const std::string& name) {
  // The code-length count 31 brings lengths of 20: the table is rejected.
  Member m = lzhtest::Compressed(5, name, Text(80000));
  m.data[2] = static_cast<char>(0xFF);
  m.data[3] = static_cast<char>(0xFF);
  return m;
}

TEST_F(ExtractCli, ExitCodeFollowsTheLastError) {
  struct Case {
    const char* what;
    std::vector<Member> members;
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    bool crcError;
    bool dataError;
  };
  const std::string crcLine = Sjis("エラー: CRCエラー\n");
  const std::string dataLine = Sjis("エラー: ハフマン符号エラー\n");
  std::vector<Case> cases = {
      {"crc last, -m", {Broken("d"), BadCrc("c")}, {"e", "-m", "a.lzh", "out/"}, "", 1, true, true},
      {"data last, -m",
       {BadCrc("c"), Broken("d")},
       {"e", "-m", "a.lzh", "out/"},
       "",
       2,
       true,
       true},
      {"data last, y", {BadCrc("c"), Broken("d")}, {"e", "a.lzh", "out/"}, "y\ny\n", 2, true, true},
      {"crc last, y", {Broken("d"), BadCrc("c")}, {"e", "a.lzh", "out/"}, "y\ny\n", 1, true, true},
      {"crc, test", {BadCrc("c")}, {"t", "-m", "a.lzh"}, "", 1, true, false},
      {"data, test", {Broken("d")}, {"t", "-m", "a.lzh"}, "", 2, false, true},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(out);
    test::MakeDirs(out);
    Write(c.members);
    test::RunResult r = Run(c.args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what << r.out << r.err;
    EXPECT_EQ(Contains(r.err, crcLine), c.crcError) << c.what;
    EXPECT_EQ(Contains(r.err, dataLine), c.dataError) << c.what;
    EXPECT_TRUE(Contains(r.out, "NG ")) << c.what;
  }
}

TEST_F(ExtractCli, CrcErrorAnsweredNoStops) {
  Write({BadCrc("c"), lzhtest::Stored("after.txt", "a")});
  test::RunResult r = Run({"e", "a.lzh", "out/"}, "n\n");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_FALSE(test::FileExists(out + "/after.txt"));
  // The file with the wrong CRC stays, whole, with its time.
  EXPECT_EQ(test::ReadFile(out + "/c"), Text(80000));
}

TEST_F(ExtractCli, UnsupportedMethodIsSkippedAndCountedAsNg) {
  Member old = lzhtest::Stored("old.txt", "pm2 data");
  old.method = "-pm2-";
  Write({old, lzhtest::Compressed(7, "new.txt", Text(3000))});
  for (const char* command : {"e", "t"}) {
    test::RunResult r = Run({command, "a.lzh", "out/"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_TRUE(Contains(r.out, Sjis("Skipped old.txt : 非対応の圧縮法\n"))) << command;
    EXPECT_TRUE(Contains(r.out, "Total 2 files NG 1 files\n")) << command;
  }
  EXPECT_FALSE(test::FileExists(out + "/old.txt"));
  EXPECT_EQ(test::ReadFile(out + "/new.txt"), Text(3000));
}

TEST_F(ExtractCli, InternalErrorStopsTheRun) {
  Member member = lzhtest::DirectoryMember("d\\");
  member.data = "xx";
  member.originalSize = 2;
  Write({member, lzhtest::Stored("after.txt", "a")});
  test::RunResult r = Run({"x", "a.lzh", "out/"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Contains(r.err, Sjis("エラー: 内部エラー [8]\n")));
  EXPECT_FALSE(Contains(r.out, "Total"));
  EXPECT_FALSE(test::FileExists(out + "/after.txt"));
  // -y lets it through.
  r = Run({"x", "-y", "a.lzh", "out/"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(test::ReadFile(out + "/after.txt"), "a");
}

TEST_F(ExtractCli, TestingEveryMethod) {
  std::string text = Text(300000);
  Write({lzhtest::Stored("s", text), lzhtest::Compressed(5, "c5", text),
         lzhtest::Compressed(6, "c6", text), lzhtest::Compressed(7, "c7", text),
         lzhtest::DirectoryMember("d\\"), lzhtest::Stored("empty", "")});
  test::RunResult r = Run({"t", "a.lzh"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Archive file a.lzh\n\nTest OK s\nTest OK c5\nTest OK c6\nTest OK c7\n"
            "Test OK d\nTest OK empty\n\nTotal 6 files No errors\n");
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

TEST_F(ExtractCli, LowerCaseNames) {
  Write({lzhtest::Stored("Dir\\FILE.TXT", "f")});
  test::RunResult r = Run({"x", "-i", "a.lzh", "out/"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFile(out + "/dir/file.txt"), "f");
}

TEST_F(ExtractCli, OverlongOutputPathIsRefused) {
  std::string base = "out";
  while (base.size() < 230) base += "/deeper_directory";
  test::MakeDirs(dir / base);
  Write({lzhtest::Stored(std::string(60, 'n'), "x"), lzhtest::Stored("short", "s")});
  test::RunResult r = Run({"e", "a.lzh", base + "/"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, Sjis("展開先のパスが長すぎます")));
  EXPECT_TRUE(Contains(r.out, "Total 2 files NG 1 files\n"));
  EXPECT_EQ(test::ReadFile(dir / base + "/short"), "s");
}

}  // namespace

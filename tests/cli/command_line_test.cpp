// In-process tests of the command line: every option with its accepted and
// refused values, command letters, archive names, the order of arguments,
// response files and the expansion of names for the add commands.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/frontend.h"
#include "support/support.h"

namespace {

// Everything ParseCommandLine may change, so one comparison shows any
// setting that moved without being asked to.
struct State {
  int command = 0;
  std::string archiveName;
  std::string baseDirectory;
  int listWithDirs = 0, quietLevel = 0, strictNames = 0, showTime = 0;
  int storeDirEntries = 0, recurse = 0, noResponseFiles = 0;
  std::vector<std::string> fileNames, storeOnlyPatterns;
  int skipPathCheck = 0, skipHidden = 1, skipSystem = 1, clearReadOnly = 1, noConfirm = 0;
  int compareTimes = 1, useDirs = 0, testMode = 0, keepGoing = 0, lowerCaseNames = 0;
  std::string baseDir;
  int freshenOnly = 0, headerLevel = 2, storeOnly = 0, methodChoice = 1;
  bool operator==(const State&) const = default;
};

std::ostream& operator<<(std::ostream& os, const State& s) {
  os << "cmd=" << s.command << " arc=" << s.archiveName << " base=" << s.baseDirectory
     << " lwd=" << s.listWithDirs << " q=" << s.quietLevel << " strict=" << s.strictNames
     << " time=" << s.showTime << " dirs=" << s.storeDirEntries << " rec=" << s.recurse
     << " noresp=" << s.noResponseFiles << " names=[";
  for (auto& n : s.fileNames) os << n << ",";
  os << "] z=[";
  for (auto& n : s.storeOnlyPatterns) os << n << ",";
  os << "] b=" << s.skipPathCheck << " hid=" << s.skipHidden << " sys=" << s.skipSystem
     << " ro=" << s.clearReadOnly << " m=" << s.noConfirm << " cmp=" << s.compareTimes
     << " use=" << s.useDirs << " test=" << s.testMode << " y=" << s.keepGoing
     << " i=" << s.lowerCaseNames << " baseDir=" << s.baseDir << " fresh=" << s.freshenOnly
     << " h=" << s.headerLevel << " store=" << s.storeOnly << " meth=" << s.methodChoice;
  return os;
}

State Capture(const Options& o, int command) {
  State s;
  const ArchiveOptions& a = o.archive;
  s.command = command;
  s.archiveName = o.archiveName;
  s.baseDirectory = o.baseDirectory;
  s.listWithDirs = o.listWithDirs;
  s.quietLevel = o.quietLevel;
  s.strictNames = o.strictNames;
  s.showTime = o.showTime;
  s.storeDirEntries = o.storeDirEntries;
  s.recurse = o.recurse;
  s.noResponseFiles = o.noResponseFiles;
  s.fileNames = o.fileNames;
  s.storeOnlyPatterns = o.storeOnlyPatterns;
  s.skipPathCheck = a.skipPathCheck;
  s.skipHidden = a.skipHidden;
  s.skipSystem = a.skipSystem;
  s.clearReadOnly = a.clearReadOnly;
  s.noConfirm = a.noConfirm;
  s.compareTimes = a.compareTimes;
  s.useDirs = a.useDirs;
  s.testMode = a.testMode;
  s.keepGoing = a.keepGoing;
  s.lowerCaseNames = a.lowerCaseNames;
  s.baseDir = a.baseDir;
  s.freshenOnly = a.freshenOnly;
  s.headerLevel = a.headerLevel;
  s.storeOnly = a.storeOnly;
  s.methodChoice = a.methodChoice;
  return s;
}

// Host path -> tsubo's internal form ('\' separators).
std::string Internal(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// Standard error while `action` runs.
std::string ErrorsOf(const std::function<void()>& action) {
  testing::internal::CaptureStderr();
  action();
  plat::FlushConsole();
  return testing::internal::GetCapturedStderr();
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultOptions(options_); }
  // A fresh options value for every parse; the arguments are CP932 already.
  int Parse(const std::vector<std::string>& args) {
    SetDefaultOptions(options_);
    std::vector<plat::Argument> arguments;
    for (const std::string& arg : args) arguments.push_back(plat::Argument{arg, arg});
    return ParseCommandLine(arguments, options_);
  }
  Options options_;
};

using Edit = std::function<void(State&)>;
struct ParseCase {
  std::vector<std::string> args;
  int code;   // -1: refused
  Edit edit;  // the expected state: listing of arc.lzh, defaults, then this
};

const Edit kNone = [](State&) {};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

TEST_F(CommandLineTest, OptionsCommandsAndArchiveNames) {
  const std::string n255 = Repeat('n', 255), n256 = Repeat('n', 256);
  const std::string lzh259 = Repeat('n', 255) + ".lzh", lzh260 = Repeat('n', 256) + ".lzh";
  const std::string exe256 = Repeat('n', 252) + ".exe";
  const std::string dir259 = Repeat('d', 258) + "\\", dir260 = Repeat('d', 259) + "\\";
  const std::vector<ParseCase> cases = {
      // command letters
      {{"arc"}, 0, kNone},
      {{"l", "arc"}, 0, kNone},
      {{"q", "arc"}, 0, kNone},
      {{"A", "arc"}, 0, kNone},
      {{"v", "arc"}, 0, [](State& s) { s.listWithDirs = 1; }},
      {{"a", "arc"}, 2, [](State& s) { s.compareTimes = 0; }},
      {{"u", "arc"}, 2, kNone},
      {{"f", "arc"}, 2, [](State& s) { s.freshenOnly = 1; }},
      {{"d", "arc"}, 3, kNone},
      {{"e", "arc"}, 1, kNone},
      {{"x", "arc"}, 1, [](State& s) { s.useDirs = s.noConfirm = 1; }},
      {{"t", "arc"}, 1, [](State& s) { s.testMode = 1; }},
      {{"arc", "e"}, 1, kNone},  // no command yet: a one-letter argument is the command
      {{"e", "a", "b"},
       1,
       [](State& s) {
         s.archiveName = "a.lzh";
         s.fileNames = {"b"};
       }},
      {{"e", "arc", "x", "b", "x"},
       1,
       [](State& s) {
         s.fileNames = {"x", "b", "x"};
       }},
      // options take effect in order
      {{"x", "-m0", "arc"}, 1, [](State& s) { s.useDirs = 1; }},
      {{"-m0", "x", "arc"}, 1, [](State& s) { s.useDirs = s.noConfirm = 1; }},
      {{"a", "-c0", "arc"}, 2, kNone},
      {{"-c0", "a", "arc"}, 2, [](State& s) { s.compareTimes = 0; }},
      // --
      {{"--", "arc"}, 0, [](State& s) { s.noResponseFiles = 1; }},
      {{"--", "--0", "arc"}, 0, kNone},
      {{"--", "--+", "arc"}, 0, kNone},
      {{"--2", "arc"}, -1, kNone},
      {{"e", "arc", "--", "@list"},
       1,
       [](State& s) {
         s.noResponseFiles = 1;
         s.fileNames = {"@list"};
       }},
      // -a
      {{"-a", "arc"}, 0, [](State& s) { s.skipHidden = s.skipSystem = s.clearReadOnly = 0; }},
      {{"-a1", "arc"}, 0, [](State& s) { s.skipHidden = s.skipSystem = s.clearReadOnly = 0; }},
      {{"-a2", "arc"}, 0, [](State& s) { s.skipHidden = s.skipSystem = s.clearReadOnly = 0; }},
      {{"-a", "-a0", "arc"}, 0, kNone},
      {{"-a", "-a-", "arc"}, 0, kNone},
      {{"-a", "-a+", "arc"}, 0, kNone},
      {{"-a3", "arc"}, -1, kNone},
      {{"-a11", "arc"}, -1, kNone},
      {{"/a", "arc"}, 0, [](State& s) { s.skipHidden = s.skipSystem = s.clearReadOnly = 0; }},
      // -b
      {{"-b", "arc"}, 0, [](State& s) { s.skipPathCheck = 1; }},
      {{"-b", "-b0", "arc"}, 0, kNone},
      {{"-b2", "arc"}, -1, kNone},
      // -c
      {{"-c", "arc"}, 0, [](State& s) { s.compareTimes = 0; }},
      {{"-c", "-c0", "arc"}, 0, kNone},
      {{"-c2", "arc"}, -1, kNone},
      // -d
      {{"-d", "arc"}, 0, [](State& s) { s.storeDirEntries = s.recurse = s.useDirs = 1; }},
      {{"-d", "-d0", "arc"}, 0, kNone},
      {{"-d2", "arc"}, -1, kNone},
      // -g
      {{"-g", "arc"}, 0, [](State& s) { s.showTime = 1; }},
      {{"-g", "-g0", "arc"}, 0, kNone},
      {{"-g2", "arc"}, -1, kNone},
      // -h
      {{"-h", "arc"}, 0, [](State& s) { s.headerLevel = 1; }},
      {{"-h0", "arc"}, 0, [](State& s) { s.headerLevel = 0; }},
      {{"-h1", "arc"}, 0, [](State& s) { s.headerLevel = 1; }},
      {{"-h2", "arc"}, 0, kNone},
      {{"-h-", "arc"}, 0, [](State& s) { s.headerLevel = 0; }},
      {{"-h3", "arc"}, -1, kNone},
      {{"-h10", "arc"}, -1, kNone},
      // -i
      {{"-i", "arc"}, 0, [](State& s) { s.lowerCaseNames = 1; }},
      {{"-i", "-i0", "arc"}, 0, kNone},
      {{"-i5", "arc"}, -1, kNone},
      // -m
      {{"-m", "arc"}, 0, [](State& s) { s.noConfirm = 1; }},
      {{"-m", "-m0", "arc"}, 0, kNone},
      {{"-m2", "arc"}, -1, kNone},
      // -n
      {{"-n", "arc"}, 0, [](State& s) { s.quietLevel = 1; }},
      {{"-n2", "arc"}, 0, [](State& s) { s.quietLevel = 2; }},
      {{"-n", "-n0", "arc"}, 0, kNone},
      {{"-n3", "arc"}, -1, kNone},
      // -o
      {{"-o", "arc"}, -1, kNone},
      {{"-o1", "arc"}, -1, kNone},
      {{"-o2", "arc"}, 0, [](State& s) { s.methodChoice = 0; }},
      {{"-o2", "-o0", "arc"}, 0, kNone},
      {{"-o2", "-o3", "arc"}, 0, kNone},
      {{"-o2", "-o-", "arc"}, 0, kNone},
      {{"-o4", "arc"}, 0, [](State& s) { s.methodChoice = 2; }},
      {{"-o5", "arc"}, -1, kNone},
      {{"-o22", "arc"}, -1, kNone},
      // -p
      {{"-p", "arc"}, 0, [](State& s) { s.strictNames = 1; }},
      {{"-p", "-p0", "arc"}, 0, kNone},
      {{"-p2", "arc"}, -1, kNone},
      // -r
      {{"-r", "arc"}, -1, kNone},
      {{"-r1", "arc"}, -1, kNone},
      {{"-r2", "arc"}, 0, [](State& s) { s.recurse = 1; }},
      {{"-r2", "-r0", "arc"}, 0, kNone},
      {{"-r3", "arc"}, -1, kNone},
      // -x
      {{"-x", "arc"}, 0, [](State& s) { s.listWithDirs = s.useDirs = 1; }},
      {{"-x", "-x0", "arc"}, 0, kNone},
      {{"-x2", "arc"}, -1, kNone},
      // -y
      {{"-y", "arc"}, 0, [](State& s) { s.keepGoing = 1; }},
      {{"-y", "-y0", "arc"}, 0, kNone},
      {{"-y2", "arc"}, -1, kNone},
      // -z
      {{"-z", "arc"}, 0, [](State& s) { s.storeOnly = 1; }},
      {{"-z1", "arc"}, 0, [](State& s) { s.storeOnly = 1; }},
      {{"-z0", "arc"}, 0, kNone},
      {{"-z", "-z0", "arc"}, 0, [](State& s) { s.storeOnly = 1; }},
      {{"-zc", "arc"}, 0, [](State& s) { s.storeOnlyPatterns = {"*.c"}; }},
      {{"-ztxt", "arc"}, 0, [](State& s) { s.storeOnlyPatterns = {"*.txt"}; }},
      {{"-z.txt", "arc"}, 0, [](State& s) { s.storeOnlyPatterns = {"*.txt"}; }},
      {{"-z-", "arc"}, 0, [](State& s) { s.storeOnlyPatterns = {"*.-"}; }},
      {{"-z2", "arc"}, 0, [](State& s) { s.storeOnlyPatterns = {"*.2"}; }},
      {{"-zc", "-z.gz", "arc"},
       0,
       [](State& s) {
         s.storeOnlyPatterns = {"*.c", "*.gz"};
       }},
      {{"-z" + Repeat('e', 257), "arc"},
       0,
       [](State& s) { s.storeOnlyPatterns = {"*." + Repeat('e', 257)}; }},
      {{"-z" + Repeat('e', 258), "arc"}, -1, kNone},
      // bad option letters and lengths
      {{"-", "arc"}, -1, kNone},
      {{"/", "arc"}, -1, kNone},
      {{"-A", "arc"}, -1, kNone},
      {{"-R2", "arc"}, -1, kNone},
      {{"-Z", "arc"}, -1, kNone},
      {{"-e", "arc"}, -1, kNone},
      {{"-q", "arc"}, -1, kNone},
      {{"-mm0", "arc"}, -1, kNone},
      {{"e", "arc", "-x12"}, -1, kNone},
      // archive names
      {{"l", "arc.LZH"}, 0, [](State& s) { s.archiveName = "arc.LZH"; }},
      {{"l", "arc.tar"}, 0, [](State& s) { s.archiveName = "arc.tar.lzh"; }},
      {{"l", "setup.exe"}, 0, [](State& s) { s.archiveName = "setup.exe"; }},
      {{"l", "SETUP.Exe"}, 0, [](State& s) { s.archiveName = "SETUP.Exe"; }},
      {{"l", "arc.lzh.bak"}, 0, [](State& s) { s.archiveName = "arc.lzh.bak.lzh"; }},
      {{"l", "d.lzh\\arc"}, 0, [](State& s) { s.archiveName = "d.lzh\\arc.lzh"; }},
      {{"l", "arc.lzhx"}, 0, [](State& s) { s.archiveName = "arc.lzhx.lzh"; }},
      {{"l", n255}, 0, [&](State& s) { s.archiveName = n255 + ".lzh"; }},
      {{"l", n256}, -1, kNone},
      {{"l", lzh259}, 0, [&](State& s) { s.archiveName = lzh259; }},
      {{"l", lzh260}, -1, kNone},
      {{"l", exe256}, 0, [&](State& s) { s.archiveName = exe256; }},
      // base directory: the last one counts; it is not a name
      {{"e", "arc", "src\\", "a.c"},
       1,
       [](State& s) {
         s.baseDirectory = s.baseDir = "src\\";
         s.fileNames = {"a.c"};
       }},
      {{"e", "arc", "one\\", "two\\"}, 1, [](State& s) { s.baseDirectory = s.baseDir = "two\\"; }},
      {{"e", "arc", dir259}, 1, [&](State& s) { s.baseDirectory = s.baseDir = dir259; }},
      {{"e", "arc", dir260}, -1, kNone},
      // a trail byte 0x5C is not a backslash: "表" is 0x95 0x5C
      {{"e", "arc", "dir\x95\x5C"}, 1, [](State& s) { s.fileNames = {"dir\x95\x5C"}; }},
  };
  for (const ParseCase& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += "[" + a.substr(0, 20) + "]";
    SCOPED_TRACE(label);
    int code = Parse(c.args);
    ASSERT_EQ(code, c.code);
    if (code < 0) continue;
    State expected;
    expected.command = code;
    expected.archiveName = "arc.lzh";
    c.edit(expected);
    EXPECT_EQ(Capture(options_, code), expected);
  }
}

TEST_F(CommandLineTest, ParseModifierValues) {
  const struct {
    const char* arg;
    int value;
  } cases[] = {{"", -1},   {"-", -1},  {"-a", 1},  {"-a0", 0},   {"-a7", 7},
               {"-a-", 0}, {"-a+", 0}, {"-ax", 0}, {"-a12", -1}, {"-zlong", -1}};
  for (const auto& c : cases) EXPECT_EQ(ParseModifier(c.arg), c.value) << c.arg;
}

TEST_F(CommandLineTest, SetDefaultOptionsRestoresEveryDefault) {
  ASSERT_EQ(Parse({"x", "-a", "-b", "-c", "-d", "-g", "-i", "-m", "-n2", "-p", "-y", "-o4", "-h0",
                   "--", "arc", "base\\"}),
            1);
  SetDefaultOptions(options_);
  State s = Capture(options_, 1);
  EXPECT_EQ(s.listWithDirs, 0);
  EXPECT_EQ(s.quietLevel, 0);
  EXPECT_EQ(s.strictNames, 0);
  EXPECT_EQ(s.showTime, 0);
  EXPECT_EQ(s.storeDirEntries, 0);
  EXPECT_EQ(s.recurse, 0);
  EXPECT_EQ(s.noResponseFiles, 0);
  EXPECT_EQ(s.compareTimes, 1);
  EXPECT_EQ(s.skipHidden, 1);
  EXPECT_EQ(s.skipSystem, 1);
  EXPECT_EQ(s.clearReadOnly, 1);
  EXPECT_EQ(s.noConfirm, 0);
  EXPECT_EQ(s.methodChoice, 1);
  EXPECT_EQ(s.freshenOnly, 0);
  EXPECT_EQ(s.baseDirectory, "");
  EXPECT_EQ(s.baseDir, "");
}

// ---- response files -------------------------------------------------------

class ResponseFileTest : public CommandLineTest {
 protected:
  test::TempDir dir;
  std::vector<std::string> Read(const std::string& content) {
    test::WriteFile(dir / "list", content);
    SetDefaultOptions(options_);
    EXPECT_TRUE(ReadResponseFile(Internal(dir / "list").c_str(), options_));
    return options_.fileNames;
  }
};

TEST_F(ResponseFileTest, LinesBecomeNames) {
  using V = std::vector<std::string>;
  const struct {
    std::string content;
    V names;
  } cases[] = {
      {"a.txt\r\nb.txt", V{"a.txt", "b.txt"}},  // last line without a line end
      {"a.txt\r\nb.txt\r\n", V{"a.txt", "b.txt"}},
      {"a.txt\r\n\r\n", V{"a.txt", ""}},  // an empty line is an empty name
      {"\r\na.txt\r\n", V{"", "a.txt"}},
      {"a\nb\r\n", V{"a\nb"}},  // a lone line feed stays in the name
      {"a.txt\nb.txt", V{"a.txt\nb.txt"}},
      {"", V{}},
      {" spaced name \r\n", V{" spaced name "}},  // nothing is trimmed
      {"a\rb\r", V{"a", "b"}},                    // a lone CR ends a line too
      {"*.c\r\n", V{"*.c"}},                      // not expanded
      {Repeat('r', 259) + "\r\n", V{Repeat('r', 259)}},
      {Repeat('r', 259), V{Repeat('r', 259)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 30));
    EXPECT_EQ(Read(c.content), c.names);
  }
}

TEST_F(ResponseFileTest, ReadAtItsPlaceInTheArguments) {
  test::WriteFile(dir / "list", "b\r\nc\r\n");
  const std::string at = "@" + Internal(dir / "list");
  ASSERT_EQ(Parse({"e", "arc", "a", at, "d"}), 1);
  EXPECT_EQ(options_.fileNames, (std::vector<std::string>{"a", "b", "c", "d"}));
  // The add commands take response-file lines as they stand.
  test::WriteFile(dir / "list", "*.none\r\n");
  ASSERT_EQ(Parse({"a", "arc", at}), 2);
  EXPECT_EQ(options_.fileNames, (std::vector<std::string>{"*.none"}));
  // After -- an '@' argument is a name; --0 turns the files on again.
  ASSERT_EQ(Parse({"e", "arc", "--", at, "--0", at}), 1);
  EXPECT_EQ(options_.fileNames, (std::vector<std::string>{at, "*.none"}));
}

TEST_F(ResponseFileTest, OverlongLineOrMissingFileStopsTheRun) {
  test::WriteFile(dir / "list", "ok\r\n" + Repeat('r', 260) + "\r\nlater\r\n");
  const std::string path = Internal(dir / "list");
  EXPECT_NE(
      ErrorsOf([&] { EXPECT_FALSE(ReadResponseFile(path.c_str(), options_)); }).find("list"),
      std::string::npos);
  EXPECT_EQ(Parse({"e", "arc", "@" + path}), kParseStopped);
  // A huge line without any line end is refused without holding it all.
  test::WriteFile(dir / "list", Repeat('r', 1 << 20));
  EXPECT_NE(
      ErrorsOf([&] { EXPECT_FALSE(ReadResponseFile(path.c_str(), options_)); }).find("list"),
      std::string::npos);
  const std::string missing = Internal(dir / "missing");
  EXPECT_NE(ErrorsOf([&] {
              EXPECT_FALSE(ReadResponseFile(missing.c_str(), options_));
            }).find("missing"),
            std::string::npos);
}

// ---- collecting files for the add commands ----------------------------------

class CollectFilesTest : public CommandLineTest {
 protected:
  test::TempDir dir;
  std::string base;
  void SetUp() override {
    CommandLineTest::SetUp();
    for (const char* f : {"a.c", "b.c", "A.TXT", "sub.c/x.c", "sub.c/y.txt", "src/m.c",
                          "src/deep/n.c", "src/deep/o.txt"}) {
      std::string path = dir / f;
      test::MakeDirs(path.substr(0, path.rfind('/')));
      test::WriteFile(path, f);
    }
    test::MakeDirs(dir / "empty");
    base = Internal(dir.path()) + "\\";
  }
  std::vector<std::string> Collect(const std::vector<std::string>& options,
                                   const std::vector<std::string>& names) {
    std::vector<std::string> args = {"a", "arc"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(base);
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_EQ(Parse(args), 2);
    return options_.fileNames;
  }
};

TEST_F(CollectFilesTest, ExpandsNamesInSortedOrder) {
  using V = std::vector<std::string>;
  const struct {
    V options, names, expected;
  } cases[] = {
      {V{}, V{"*.c"}, V{"a.c", "b.c"}},  // the directory sub.c is not entered
      {V{}, V{"*.C"}, V{"a.c", "b.c"}},
      {V{}, V{"*.txt"}, V{"A.TXT"}},
      {V{}, V{"a.c", "a.c"}, V{"a.c", "a.c"}},  // duplicates stay
      {V{}, V{"src"}, V{}},                     // a directory alone adds nothing
      {V{}, V{"src\\*.c"}, V{"src\\m.c"}},      // the argument's directory part is kept
      {V{}, V{"src\\deep\\*"}, V{"src\\deep\\n.c", "src\\deep\\o.txt"}},
      {V{"-r2"}, V{"*.c"}, V{"a.c", "b.c", "sub.c\\x.c", "sub.c\\y.txt"}},
      {V{"-r2"}, V{"src"}, V{"src\\deep\\n.c", "src\\deep\\o.txt", "src\\m.c"}},
      {V{"-r2"}, V{"s*"},
       V{"src\\deep\\n.c", "src\\deep\\o.txt", "src\\m.c", "sub.c\\x.c", "sub.c\\y.txt"}},
      {V{"-d"}, V{"src"}, V{"src", "src\\deep", "src\\deep\\n.c", "src\\deep\\o.txt", "src\\m.c"}},
      {V{"-d"}, V{"empty"}, V{"empty"}},
      {V{"-r2"}, V{"empty"}, V{}},
      {V{}, V{"none.*"}, V{}},  // reported, and the run goes on
      {V{}, V{"none.*", "a.c"}, V{"a.c"}},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& o : c.options) label += o + " ";
    for (const auto& n : c.names) label += n + " ";
    SCOPED_TRACE(label);
    EXPECT_EQ(Collect(c.options, c.names), c.expected);
  }
}

TEST_F(CollectFilesTest, OptionsAffectOnlyLaterNames) {
  using V = std::vector<std::string>;
  // -r2 after the name does not expand it.
  ASSERT_EQ(Parse({"a", "arc", base, "*.c", "-r2"}), 2);
  EXPECT_EQ(options_.fileNames, (V{"a.c", "b.c"}));
  ASSERT_EQ(Parse({"a", "arc", base, "*.c", "-r2", "src"}), 2);
  EXPECT_EQ(options_.fileNames,
            (V{"a.c", "b.c", "src\\deep\\n.c", "src\\deep\\o.txt", "src\\m.c"}));
  // Names of the other commands stay as typed.
  ASSERT_EQ(Parse({"e", "arc", base, "*.c"}), 1);
  EXPECT_EQ(options_.fileNames, (V{"*.c"}));
  // The base directory counts from its place on: src\ then *.c finds src\m.c as m.c.
  ASSERT_EQ(Parse({"a", "arc", base, "a.c", base + "src\\", "*.c"}), 2);
  EXPECT_EQ(options_.fileNames, (V{"a.c", "m.c"}));
  EXPECT_EQ(options_.archive.baseDir, base + "src\\");
}

TEST_F(CollectFilesTest, AnEmptyDirectoryIsNotAMissingPath) {
  testing::internal::CaptureStdout();
  Collect({"-r2"}, {"empty", "none.*"});
  plat::FlushConsole();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("empty\\*"), std::string::npos) << out;
  EXPECT_NE(out.find("none.*"), std::string::npos) << out;
}

TEST_F(CollectFilesTest, ReturnsTheCountOfItsOwnLevel) {
  options_.recurse = true;
  options_.storeDirEntries = true;
  options_.baseDirectory = base;
  EXPECT_EQ(CollectFiles("src", options_), 1);  // src itself; the rest comes from below
  EXPECT_EQ(options_.fileNames.size(), 5u);
  EXPECT_EQ(CollectFiles("nothing", options_), 0);
}

TEST_F(CollectFilesTest, OverlongNamesStopTheRun) {
  // base + "L\" + file name: one file fits 259 bytes exactly, one is a byte longer.
  const std::string sub(100, 'L');
  const std::size_t fits = 259 - base.size() - sub.size() - 1;
  ASSERT_LT(fits, 250u);
  test::MakeDirs(dir / sub);
  test::MakeDirs(dir / "long2");
  test::WriteFile(dir / sub + "/" + std::string(fits, 'f'), "x");
  ASSERT_EQ(Collect({}, {sub + "\\*"}),
            (std::vector<std::string>{sub + "\\" + std::string(fits, 'f')}));

  test::WriteFile(dir / sub + "/" + std::string(fits + 1, 'g'), "x");
  EXPECT_NE(ErrorsOf([&] {
              EXPECT_EQ(Parse({"a", "arc", base, sub + "\\*"}), kParseStopped);
            }).find("ggg"),
            std::string::npos);
  // The argument itself is too long together with the base directory.
  const std::string longName(260 - base.size(), 'p');
  EXPECT_NE(ErrorsOf([&] {
              EXPECT_EQ(Parse({"a", "arc", base, longName}), kParseStopped);
            }).find("ppp"),
            std::string::npos);
}

}  // namespace

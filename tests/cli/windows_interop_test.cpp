// tsubo.exe (the Windows build, run under $TSUBO_RUNNER) against the Linux
// build and the outside readers: the same tree added by both gives the same
// archive bytes, each build extracts the other's archive with names
// (Japanese ones with a 0x5C trail byte included), contents, times and the
// read-only attribute, both list an archive alike, and bsdtar, 7zz and
// lhasa read what tsubo.exe wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/support.h"

namespace {

using test::RunOptions;
using test::RunResult;
using test::Sjis;

struct Item {
  std::string bytes;
  std::int64_t mtime = 0;  // files only
  bool directory = false;
  bool writable = true;
};
using Tree = std::map<std::string, Item>;  // path with '/' -> item

std::string Text(std::size_t size) {
  std::string s;
  for (unsigned i = 0; s.size() < size; ++i) s += "line " + std::to_string(i % 97) + " of text\n";
  s.resize(size);
  return s;
}

// Names on disk are UTF-8. 表 (0x95 0x5C), ソ (0x83 0x5C) and 能 (0x94 0x5C)
// end in the byte of the backslash; Hangul has no CP932 form.
Tree FullTree() {
  Tree t;
  t["text.txt"] = {Text(60000), 1600000000};
  t["random.bin"] = {test::RandomBytes(30000, 7), 1600000002};
  t["empty.txt"] = {"", 1600000004};
  t["表.txt"] = {"hyou\n", 1600000006};
  t["ソフト"] = {"", 0, true};
  t["ソフト/能力.txt"] = {Text(3000), 1600000008};
  t["ソフト/空"] = {"", 0, true};
  t["readonly.txt"] = {"keep me\n", 1600000010, false, false};
  t[".hidden"] = {"hidden\n", 1600000012};
  t["ソフト/한국어.txt"] = {"hangul\n", 1600000014};  // no CP932 form: UTF-16 beside it
  return t;
}

// For 7zz and lhasa, which take a 0x5C trail byte for a separator: their
// names are written as the CP932 bytes of the archive.
Tree PlainTree() {
  Tree t;
  t["text.txt"] = {Text(20000), 1600000000};
  t["random.bin"] = {test::RandomBytes(5000, 8), 1600000002};
  t["日本.txt"] = {"nihon\n", 1600000004};
  t["dir"] = {"", 0, true};
  t["dir/sub"] = {"", 0, true};
  t["dir/sub/x.txt"] = {"x\n", 1600000006};
  return t;
}

void WriteTree(const std::string& root, const Tree& tree) {
  test::MakeDirs(root);
  for (const auto& [path, item] : tree) {
    std::string full = root + "/" + path;
    if (item.directory) {
      test::MakeDirs(full);
      continue;
    }
    test::WriteFile(full, item.bytes);
    test::SetMTime(full, item.mtime);
    if (!item.writable) chmod(full.c_str(), 0444);
  }
}

Tree ReadTree(const std::string& root) {
  Tree t;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string path = entry.path().string().substr(root.size() + 1);
    struct stat st;
    if (stat(entry.path().c_str(), &st) != 0) {
      ADD_FAILURE() << "cannot stat " << path;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      t[path] = {"", 0, true};
    } else {
      t[path] = {test::ReadFile(entry.path()), st.st_mtim.tv_sec, false, (st.st_mode & 0200) != 0};
    }
  }
  return t;
}

void ExpectSameTree(const Tree& expected, const Tree& got, bool permissions) {
  for (const auto& [path, item] : expected) {
    SCOPED_TRACE(path);
    auto it = got.find(path);
    ASSERT_NE(it, got.end());
    EXPECT_EQ(it->second.directory, item.directory);
    EXPECT_EQ(it->second.bytes == item.bytes, true) << "contents differ";
    if (!item.directory) {
      EXPECT_EQ(it->second.mtime, item.mtime);
      if (permissions) {
        EXPECT_EQ(it->second.writable, item.writable);
      }
    }
  }
  EXPECT_EQ(got.size(), expected.size());
}

RunOptions In(const std::string& dir) {
  RunOptions options;
  options.cwd = dir;
  options.env["LC_ALL"] = "C.UTF-8";  // names on disk are UTF-8
  return options;
}

// The Linux build of the same source, which the tests were built with.
RunResult RunLinuxTsubo(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv{TSUBO_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunCommand(argv, options);
}

// Every top-level entry of the tree, as arguments for an add with -d.
std::vector<std::string> TopLevel(const Tree& tree) {
  std::vector<std::string> names;
  for (const auto& [path, item] : tree) {
    if (path.find('/') == std::string::npos) names.push_back(path);
  }
  return names;
}

class WindowsInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::RunningUnderRunner()) {
      GTEST_SKIP() << "compares tsubo.exe under $TSUBO_RUNNER with the Linux build";
    }
  }
};

TEST_F(WindowsInterop, BothBuildsWriteTheSameArchiveAndReadEachOther) {
  for (const std::string level : {"-h0", "-h1", "-h2"}) {
    SCOPED_TRACE(level);
    // Levels 0 and 1 refuse a name with no CP932 form and go on.
    Tree tree = FullTree();
    if (level != "-h2") tree.erase("ソフト/한국어.txt");
    test::TempDir dir;
    std::string src = dir / "src";
    WriteTree(src, FullTree());
    // -d stores directories and recurses; -a takes hidden files as well.
    std::vector<std::string> add{"a", "-d", "-a", level, "../win.lzh"};
    for (const auto& name : TopLevel(tree)) add.push_back(name);
    RunResult win = test::RunTsubo(add, In(src));
    ASSERT_EQ(win.exitCode, 0) << win.out << win.err;
    add[4] = "../lin.lzh";
    RunResult lin = RunLinuxTsubo(add, In(src));
    ASSERT_EQ(lin.exitCode, 0) << lin.out << lin.err;
    // Same names, attributes, times and data: the very same bytes.
    EXPECT_TRUE(test::ReadFile(dir / "win.lzh") == test::ReadFile(dir / "lin.lzh"));

    // Each build extracts the other's archive; -a keeps read-only.
    test::MakeDirs(dir / "by-linux");
    test::MakeDirs(dir / "by-windows");
    RunResult x = RunLinuxTsubo({"x", "-a", "../win.lzh"}, In(dir / "by-linux"));
    EXPECT_EQ(x.exitCode, 0) << x.out << x.err;
    ExpectSameTree(tree, ReadTree(dir / "by-linux"), true);
    x = test::RunTsubo({"x", "-a", "../lin.lzh"}, In(dir / "by-windows"));
    EXPECT_EQ(x.exitCode, 0) << x.out << x.err;
    ExpectSameTree(tree, ReadTree(dir / "by-windows"), true);

    // Test and list: the same lines from both builds (the Linux build
    // writes these CP932 bytes in the C locale).
    RunOptions cLocale;
    cLocale.cwd = dir.path();
    for (const char* command : {"t", "v", "l"}) {
      RunResult w = test::RunTsubo({command, "lin.lzh"}, In(dir.path()));
      RunResult l = RunLinuxTsubo({command, "lin.lzh"}, cLocale);
      EXPECT_EQ(w.exitCode, 0);
      EXPECT_EQ(w.out, l.out) << command;
      EXPECT_EQ(w.err, l.err) << command;
    }
  }
}

TEST_F(WindowsInterop, OutsideReadersExtractWhatTsuboExeWrote) {
  struct Reader {
    const char* command;
    std::vector<std::string> args;
    bool plainNames;  // names as CP932 bytes (no 0x5C trail bytes in the tree)
  };
  const Reader readers[] = {
      {"bsdtar", {"bsdtar", "--options", "hdrcharset=CP932", "-xf", "../arc.lzh"}, false},
      {"7zz", {"7zz", "x", "-y", "../arc.lzh"}, true},
      {"lhasa", {"lhasa", "x", "../arc.lzh"}, true},
  };
  for (const auto& reader : readers) {
    SCOPED_TRACE(reader.command);
    if (!test::CommandExists(reader.command)) continue;
    const Tree tree = reader.plainNames ? PlainTree() : FullTree();
    test::TempDir dir;
    WriteTree(dir / "src", tree);
    std::vector<std::string> add{"a", "-d", "-a", "../arc.lzh"};
    for (const auto& name : TopLevel(tree)) add.push_back(name);
    RunResult r = test::RunTsubo(add, In(dir / "src"));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    test::MakeDirs(dir / "out");
    r = test::RunCommand(reader.args, In(dir / "out"));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    Tree expected;
    for (const auto& [path, item] : tree) {
      expected[reader.plainNames ? Sjis(path) : path] = item;
    }
    ExpectSameTree(expected, ReadTree(dir / "out"), false);
  }
}

}  // namespace

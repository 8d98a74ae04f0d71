// tsubo in a UTF-8 locale against the C locale: what every stream gets (a
// pipe or a file, standard output or standard error), how paths are shown,
// and the one rule for names that have no CP932 form, whichever way they
// are given. The POSIX build only: tsubo.exe has no locale rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using test::RunResult;

// Runs tsubo with standard output and standard error going to files.
RunResult RunToFiles(const std::vector<std::string>& args, const test::RunOptions& options) {
  std::string command = "\"$0\"";
  for (std::size_t i = 0; i < args.size(); ++i) command += " \"$" + std::to_string(i + 1) + "\"";
  command += " >stdout.txt 2>stderr.txt";
  std::vector<std::string> argv = {"sh", "-c", command, test::TsuboPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r = test::RunCommand(argv, options);
  r.out = test::ReadFile(options.cwd + "/stdout.txt");
  r.err = test::ReadFile(options.cwd + "/stderr.txt");
  return r;
}

// The text expected in the C locale: the CP932 bytes with '\' (the UTF-8
// text of a row uses '/' only as a separator).
std::string InCLocale(std::string utf8) {
  for (char& c : utf8) {
    if (c == '/') c = '\\';
  }
  return test::Sjis(utf8);
}

struct OutputRow {
  const char* what;
  std::vector<std::string> args;  // UTF-8; given as CP932 in the C locale
  std::string input;
  std::string out;  // UTF-8, '/' as separator; a part of standard output
  std::string err;  // standard error, whole
  int exitCode;
  std::string cOut = "";  // the part of standard output in the C locale, when not InCLocale(out)
};

// 表 is 0x95 0x5C in CP932: its second byte must never be shown as '/'.
TEST(Utf8Locale, EveryStreamFollowsTheLocale) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "tsubo.exe has no locale rule";
  lzhtest::Member inDocs = lzhtest::Stored("docs\\notes\\tiny.txt", "tiny");
  lzhtest::Member inTable = lzhtest::Stored(test::Sjis("表\\表示.txt"), "abcd");
  lzhtest::Member longName = lzhtest::Stored(test::Sjis("a表示用の長い名前.txt"), "");
  // The listings below show 2009-12-01 10:00 (UTC).
  for (lzhtest::Member* m : {&inDocs, &inTable, &longName}) m->unixTime = 1259661600;
  const std::string archive = "Archive file 表/arc.lzh\n\n";
  const std::string question =
      "既に[表示.txt]が存在します。上書きしますか？[y:はい n:いいえ a:すべてはい]";
  const std::vector<OutputRow> rows = {
      {"v",
       {"v", "-n1", "表/arc.lzh"},
       "",
       archive + "docs/notes/tiny.txt\n表/表示.txt\na表示用の長い名前.txt\n",
       "",
       0},
      {"l", {"l", "表/arc.lzh"}, "", "\n+ 表示.txt               4         4 100.0% ", "", 0},
      // The name column is cut to 16 CP932 bytes, the width a terminal gives
      // them; in UTF-8 the half of a character cut in two shows as '?'.
      {"l cut",
       {"l", "表/arc.lzh"},
       "",
       "\na表示用の長い名?         0         0   0.0% ",
       "",
       0,
       "\n" + test::Sjis("a表示用の長い名") + "\x91         0         0   0.0% "},
      {"t",
       {"t", "表/arc.lzh"},
       "",
       archive +
           "Test OK docs/notes/tiny.txt\nTest OK 表/表示.txt\nTest OK a表示用の長い名前.txt\n",
       "",
       0},
      {"x", {"x", "-c", "表/arc.lzh", "表示.txt"}, "", archive + "Extracted 表/表示.txt\n", "", 0},
      {"question", {"x", "-c", "-m0", "表/arc.lzh", "表示.txt"}, "n\n", archive + question, "", 0},
      {"help",
       {},
       "",
       "使用法:tsubo [aufdexlvt] [-xcnpamizhrdoyb-] lzhfile [dir/] [files]\n",
       "",
       2},
      {"error",
       {"l", "表/arc.lzh", "@表/none.lst"},
       "",
       "",
       "エラー: レスポンスファイルのオープンに失敗しました。[表/none.lst]\n",
       2},
  };
  for (const char* locale : {"C", "C.UTF-8"}) {
    const bool utf8 = std::string(locale) == "C.UTF-8";
    // Names on disk are UTF-8 in the UTF-8 locale, the CP932 bytes in C.
    test::TempDir dir;
    const std::string folder = utf8 ? "表" : test::Sjis("表");
    test::MakeDirs(dir / folder);
    lzhtest::WriteArchive(dir / (folder + "/arc.lzh"), {inDocs, inTable, longName});
    for (const OutputRow& row : rows) {
      std::vector<std::string> args;
      for (const std::string& arg : row.args) args.push_back(utf8 ? arg : test::Sjis(arg));
      for (const bool toFiles : {false, true}) {
        SCOPED_TRACE(std::string(locale) + " " + row.what + (toFiles ? " to files" : " to pipes"));
        test::RunOptions options;
        options.cwd = dir.path();
        options.env["LC_ALL"] = locale;
        options.input = row.input;
        const RunResult r = toFiles ? RunToFiles(args, options) : test::RunTsubo(args, options);
        const std::string out = utf8 ? row.out : !row.cOut.empty() ? row.cOut : InCLocale(row.out);
        EXPECT_NE(r.out.find(out), std::string::npos) << r.out;
        EXPECT_EQ(r.err, utf8 ? row.err : InCLocale(row.err));
        EXPECT_EQ(r.exitCode, row.exitCode);
      }
    }
  }
}

struct NameRow {
  const char* source;
  std::vector<std::string> args;  // after "a -hN"
  std::string wide;               // the name with no CP932 form, as shown
  std::string added;              // the other name
};

// A name with no CP932 form (Korean here) is treated alike wherever it
// comes from: at level 2 it is stored under its exact name, at level 1
// refused with the same message (shown as typed) while the run goes on.
TEST(Utf8Locale, NameWithoutCp932FormIsTreatedAlikeFromEverySource) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "tsubo.exe takes names in UTF-16";
  test::TempDir dir;
  for (const char* name :
       {"src/한국어.txt", "src/ok.txt", "src/docs/한국어.txt", "src/docs/ok.txt"}) {
    test::MakeDirs((dir / name).substr(0, (dir / name).rfind('/')));
    test::WriteFile(dir / name, name);
  }
  test::WriteFile(dir / "list", "한국어.txt\r\nok.txt\r\n");
  const std::vector<NameRow> rows = {
      {"wildcard", {"../arc.lzh", "*.txt"}, "한국어.txt", "ok.txt"},
      {"folder search", {"-r2", "../arc.lzh", "docs"}, "docs/한국어.txt", "docs/ok.txt"},
      {"response file", {"../arc.lzh", "@../list"}, "한국어.txt", "ok.txt"},
      {"command line", {"../arc.lzh", "한국어.txt", "ok.txt"}, "한국어.txt", "ok.txt"},
  };
  test::RunOptions options;
  options.cwd = dir / "src";
  options.env["LC_ALL"] = "C.UTF-8";
  for (const NameRow& row : rows) {
    for (const std::string level : {"-h1", "-h2"}) {
      SCOPED_TRACE(std::string(row.source) + " " + level);
      std::remove((dir / "arc.lzh").c_str());
      std::vector<std::string> args = {"a", level};
      args.insert(args.end(), row.args.begin(), row.args.end());
      RunResult r = test::RunTsubo(args, options);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_NE(r.out.find("Added " + row.added + "\n"), std::string::npos) << r.out;
      const std::string refusal =
          "エラー: ファイル名をシフトJISに変換できないため追加しません [" + row.wide + "]\n";
      EXPECT_EQ(r.err, level == "-h1" ? refusal : "");
      r = test::RunTsubo({"l", "-n1", "../arc.lzh"}, options);
      if (level == "-h1") {
        EXPECT_EQ(r.out.find(row.wide), std::string::npos);
      } else {
        EXPECT_NE(r.out.find("한국어.txt\n"), std::string::npos) << r.out;
      }
    }
  }
  // Other commands select the member by that name; an archive may be so named.
  RunResult r = test::RunTsubo({"d", "../arc.lzh", "한국어.txt"}, options);
  EXPECT_EQ(r.exitCode, 0);
  r = test::RunTsubo({"l", "-n1", "../arc.lzh"}, options);
  EXPECT_EQ(r.out, "Archive file ../arc.lzh\n\nok.txt\n");
  r = test::RunTsubo({"a", "한국어.lzh", "한국어.txt"}, options);
  EXPECT_EQ(r.exitCode, 0);
  // bsdtar reads the exact name; lhasa and 7zz fall back to the '_' form.
  const std::string archive = dir / "src/한국어.lzh";
  for (const std::vector<std::string>& reader : {std::vector<std::string>{"bsdtar", "-tf", archive},
                                                 {"lhasa", "-l", archive},
                                                 {"7zz", "l", archive}}) {
    if (!test::CommandExists(reader[0])) continue;
    const std::string expected = reader[0] == "bsdtar" ? "한국어.txt" : "___.txt";
    EXPECT_NE(test::RunCommand(reader, options).out.find(expected), std::string::npos) << reader[0];
  }
}

// A C1 control (U+009B starts a terminal command) or a bidirectional
// override in a name is shown as '?', like a C0 control.
TEST(Utf8Locale, UnsafeCharactersOfWideNamesAreNotShown) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "tsubo.exe has no locale rule";
  test::TempDir dir;
  test::WriteFile(dir / "a\u009B2J\u202Eb.txt", "x");
  test::RunOptions options;
  options.cwd = dir.path();
  options.env["LC_ALL"] = "C.UTF-8";
  EXPECT_EQ(test::RunTsubo({"a", "arc.lzh", "*.txt"}, options).out,
            "Archive file arc.lzh\n\nAdded a?2J?b.txt\n");
  EXPECT_EQ(test::RunTsubo({"l", "-n1", "arc.lzh"}, options).out,
            "Archive file arc.lzh\n\na?2J?b.txt\n");
}

}  // namespace

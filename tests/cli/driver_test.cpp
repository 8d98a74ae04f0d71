// Runs the tsubo executable: the help screen, bad command lines, open
// failures and their messages, warnings, the elapsed time, response-file and
// name errors, and the text bridge between a UTF-8 locale and CP932.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

namespace {

using test::RunOptions;
using test::RunResult;
using test::RunTsubo;
using test::Sjis;

std::string HelpScreen() {
  const std::string rule(79, '-');
  return Sjis(
      "TSUBO - LHA archiver for the console\n"
      " Version 2.12\n"
      "使用法:tsubo [aufdexlvt] [-xcnpamizhrdoyb-] lzhfile [dir\\] [files]\n" +
      rule + "\n" +
      "＜コマンド＞\n"
      "  a: ファイルを追加                  u: ファイルが新しければ追加\n"
      "  f: ファイルを更新                  d: ファイルを削除\n"
      "  e: ファイルの展開                  x: ファイルの展開（ディレクトリ付）\n"
      "  l: 書庫の一覧表示                  v: 書庫の一覧表示（ディレクトリ付）\n"
      "  t: 書庫のテスト\n"
      "＜オプション＞\n"
      "  x: ディレクトリを有効にする        c: 最終更新日時の照合を行わない\n"
      "  n: 経過表示をしない                p: 名前の比較を厳密に行う\n"
      "  a: 全属性を処理の対象とする        m: 上書き等の確認をしない\n"
      "  i: ファイル名を小文字に変換する    z: 圧縮しない\n"
      "  h: ヘッダ形式                      r: サブディレクトリも検索する\n"
      "  d: ディレクトリも格納する          o: 圧縮形式を指定する\n"
      "  y: できるだけ処理を続行する　　　　b: 書庫内のパスのチェックを行わない\n"
      "  -: '@'の機能を抑制する\n" +
      rule + "\n");
}

RunOptions In(const test::TempDir& dir, const std::string& input = "") {
  RunOptions options;
  options.cwd = dir.path();
  options.input = input;
  return options;
}

const std::string kBadCommandLine = Sjis("不正なコマンドラインです\n");

TEST(DriverTest, NoArgumentsShowsHelp) {
  RunResult r = RunTsubo({});
  EXPECT_EQ(r.out, HelpScreen());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 2);
}

TEST(DriverTest, BadCommandLines) {
  test::TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {"-Q", "arc"},
      {"e", "-o", "arc"},
      {"e", "arc", "-r"},
      {"-", "arc"},
      {"l", std::string(260, 'n') + ".lzh"},
      {"e", "-abc", "arc"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[1].substr(0, 20));
    RunResult r = RunTsubo(args, In(dir));
    EXPECT_EQ(r.out, kBadCommandLine);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, 2);
  }
}

// An archive that cannot be opened: the name line, the message of its status
// on standard error, exit code 2, and nothing created.
TEST(DriverTest, OpenFailures) {
  // 21 bytes whose level byte (offset 20) is 3.
  std::string level3("\x20\x00-lh0-", 7);
  level3 += std::string(13, '\0') + "\x03" + std::string(20, '\0');
  const struct {
    std::string file, content;  // archive put in place first ("" file: none)
    std::vector<std::string> args;
    std::string out, err;
  } cases[] = {
      {"",
       "",
       {"e", "new.lzh"},
       "Archive file new.lzh\n\n",
       Sjis("エラー: 書庫が開けませんでした\n")},
      {"", "", {"t", "new"}, "Archive file new.lzh\n\n", Sjis("エラー: 書庫が開けませんでした\n")},
      {"",
       "",
       {"d", "new.lzh", "x"},
       "Archive file new.lzh\n\n",
       Sjis("エラー: 書庫が開けませんでした\n")},
      {"",
       "",
       {"a", "prog.exe", "f"},
       "Archive file prog.exe\n\n",
       Sjis("エラー: 自己展開書庫は作成できません\n")},
      {"bad.lzh",
       level3,
       {"l", "bad.lzh"},
       "Archive file bad.lzh\n\n",
       Sjis("エラー: 未知のヘッダが見つかりました")},  // no line end
      {"short.lzh",
       "abcde",
       {"l", "short"},
       "Archive file short.lzh\n\n",
       Sjis("エラー: ヘッダーが不正です\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    test::TempDir dir;
    test::WriteFile(dir / "f", "data");
    if (!c.file.empty()) test::WriteFile(dir / c.file, c.content);
    RunResult r = RunTsubo(c.args, In(dir));
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(test::FileExists(dir / "new.lzh"));
    EXPECT_FALSE(test::FileExists(dir / "prog.exe"));
    if (!c.file.empty()) {
      EXPECT_EQ(test::ReadFile(dir / c.file), c.content);
    }
  }
}

// Only the add commands start a new archive; the failed first open says
// nothing.
TEST(DriverTest, AddCreatesMissingArchive) {
  test::TempDir dir;
  test::WriteFile(dir / "file.txt", "some text");
  RunResult r = RunTsubo({"a", "new.lzh", "file.txt"}, In(dir));
  EXPECT_EQ(r.out.substr(0, 22), "Archive file new.lzh\n\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(test::FileExists(dir / "new.lzh"));
  r = RunTsubo({"l", "-n", "new"}, In(dir));
  EXPECT_NE(r.out.find("file.txt"), std::string::npos);
  EXPECT_EQ(r.exitCode, 0);
}

TEST(DriverTest, ListingWithoutCommandLetter) {
  test::TempDir dir;
  test::WriteFile(dir / "arc.lzh", std::string(1, '\0'));  // just the end mark
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"arc"}, {"q", "arc"}, {"l", "arc.lzh"}}) {
    RunResult r = RunTsubo(args, In(dir));
    EXPECT_EQ(r.out.substr(0, 22), "Archive file arc.lzh\n\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, 0);
  }
}

TEST(DriverTest, MissingEndMarkWarnsAndGoesOn) {
  test::TempDir dir;
  test::WriteFile(dir / "empty.lzh", "");
  RunResult r = RunTsubo({"l", "empty.lzh"}, In(dir));
  EXPECT_EQ(r.out.substr(0, 24), "Archive file empty.lzh\n\n");
  EXPECT_NE(r.out.find(Sjis("警告：ファイルの末尾にエンドマークがありません\n")),
            std::string::npos);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST(DriverTest, ElapsedTime) {
  test::TempDir dir;
  test::WriteFile(dir / "arc.lzh", std::string(1, '\0'));
  RunResult r = RunTsubo({"l", "-g", "arc"}, In(dir));
  const std::string last = Sjis("処理時間 0 sec\n");
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
  EXPECT_EQ(r.exitCode, 0);
  r = RunTsubo({"l", "-g", "-g0", "arc"}, In(dir));
  EXPECT_EQ(r.out.find(Sjis("処理時間")), std::string::npos);
}

TEST(DriverTest, MissingResponseFile) {
  test::TempDir dir;
  RunResult r = RunTsubo({"e", "arc.lzh", "@missing.txt"}, In(dir));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Sjis("エラー: レスポンスファイルのオープンに失敗しました。[missing.txt]\n"));
  EXPECT_EQ(r.exitCode, 2);
  // A name far longer than any path comes out whole in the message.
  const std::string longName(5000, 'm');
  r = RunTsubo({"e", "arc.lzh", "@" + longName}, In(dir));
  EXPECT_EQ(r.err,
            Sjis("エラー: レスポンスファイルのオープンに失敗しました。[") + longName + "]\n");
  EXPECT_EQ(r.exitCode, 2);
}

TEST(DriverTest, OverlongResponseLine) {
  test::TempDir dir;
  test::WriteFile(dir / "list", "a.txt\r\n" + std::string(260, 'x') + "\r\n");
  RunResult r = RunTsubo({"e", "arc.lzh", "@list"}, In(dir));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Sjis("エラー: レスポンスファイルの2行目が長すぎます。[list]\n"));
  EXPECT_EQ(r.exitCode, 2);
}

TEST(DriverTest, OverlongCollectedName) {
  test::TempDir dir;
  const std::string sub(200, 'd'), file(100, 'f');
  test::MakeDirs(dir / sub);
  test::WriteFile(dir / sub + "/" + file, "x");
  RunResult r = RunTsubo({"a", "arc.lzh", "-r2", sub}, In(dir));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Sjis("エラー: パス名が長すぎます [") + sub + "\\" + file + "]\n");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_FALSE(test::FileExists(dir / "arc.lzh"));
}

TEST(DriverTest, PatternWithoutMatchIsReported) {
  test::TempDir dir;
  RunResult r = RunTsubo({"a", "arc.lzh", "none.*"}, In(dir));
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), Sjis("指定されたパスが存在しません [none.*]\n"));
  EXPECT_NE(r.out.find("Archive file arc.lzh\n\n"), std::string::npos);
}

// In a UTF-8 locale the arguments are converted to CP932 inside and the
// file on disk keeps its UTF-8 name; a pipe gets UTF-8 (tsubo.exe, under the
// runner, has no locale rule and writes CP932 to a pipe).
TEST(DriverTest, JapaneseArchiveNameInUtf8Locale) {
  test::TempDir dir;
  test::WriteFile(dir / "表.lzh", std::string(1, '\0'));
  RunOptions options = In(dir);
  options.env["LC_ALL"] = "C.UTF-8";
  RunResult r = RunTsubo({"l", "表.lzh"}, options);
  const std::string line =
      "Archive file " + (test::RunningUnderRunner() ? Sjis("表.lzh") : "表.lzh") + "\n\n";
  EXPECT_EQ(r.out.substr(0, line.size()), line);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

// A name on disk with no CP932 form is reported, and the run goes on.
// A name on disk that is not UTF-8 in a UTF-8 locale names nothing tsubo
// could store: it is reported and the run goes on.
TEST(DriverTest, UnconvertibleNameIsReported) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "Windows names are always UTF-16";
  test::TempDir dir;
  test::WriteFile(dir / "\xFF.txt", "x");
  test::WriteFile(dir / "ok.txt", "x");
  RunOptions options = In(dir);
  options.env["LC_ALL"] = "C.UTF-8";
  RunResult r = RunTsubo({"a", "arc.lzh", "*.txt"}, options);
  EXPECT_EQ(r.err, "エラー: ファイル名をシフトJISに変換できないため追加しません [?.txt]\n");
  EXPECT_NE(r.out.find("Archive file arc.lzh\n\n"), std::string::npos);
}

}  // namespace

// The console questions, asked in a child process whose standard input is a
// pipe holding the answers and whose standard output is captured.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "cli/frontend.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

struct Asked {
  std::string out;      // what the questions printed
  std::string answers;  // what the body reported
};

// Runs body in a child with `input` on standard input; what the body
// reports comes back on standard error.
Asked AskInChild(const std::string& input, const std::function<std::string()>& body) {
  plat::FlushConsole();  // nothing of ours may be inherited half written
  test::RunOptions options;
  options.input = input;
  test::Process child(
      [&] {
        const std::string answers = body();
        plat::FlushConsole();
        return std::fwrite(answers.data(), 1, answers.size(), stderr) == answers.size() ? 0 : 3;
      },
      options);
  const test::RunResult& r = child.Wait();
  EXPECT_EQ(r.exitCode, 0);
  return {r.out, r.err};
}

// Asks `count` overwrite questions and reports "yes,all" of each.
std::string Overwrite(int count) {
  std::string answers;
  CUserInquireEvent event;
  for (int i = 0; i < count; ++i) {
    int yes = 0, all = 0;
    event.AskOverwrite("a.txt", &yes, &all);
    answers += std::to_string(yes) + std::to_string(all) + " ";
  }
  return answers;
}

TEST(UserInquireTest, OverwriteAnswers) {
  const struct {
    std::string input;
    int questions;
    std::string answers;
  } cases[] = {
      {"y\n", 1, "10 "},
      {"Y\n", 1, "10 "},
      {"a\n", 1, "11 "},
      {"A\n", 1, "11 "},
      {"n\n", 1, "00 "},
      {"x\n", 1, "00 "},
      {"", 1, "00 "},                 // end of input refuses
      {"\n\n  \t\r\ny\n", 1, "10 "},  // blank lines are skipped
      {"yes\n", 3, "10 00 00 "},      // y, then e, then s
      {"yna\n", 4, "10 00 11 00 "},   // the fourth meets the end of input
      {"y\nn\ny\n", 3, "10 00 10 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    Asked asked = AskInChild(c.input, [&] { return Overwrite(c.questions); });
    EXPECT_EQ(asked.answers, c.answers);
  }
}

TEST(UserInquireTest, QuestionTexts) {
  Asked asked = AskInChild("y\n", [] { return Overwrite(1); });
  EXPECT_EQ(asked.out,
            test::Sjis("既に[a.txt]が存在します。上書きしますか？[y:はい n:いいえ a:すべてはい]"));

  asked = AskInChild("n\na\n", [] {
    CUserInquireEvent event;
    std::string answers;
    for (int i = 0; i < 2; ++i) {
      int yes = 0, all = 0;
      event.AskExtractPath("<dir>", &yes, &all);
      answers += std::to_string(yes) + std::to_string(all) + " ";
    }
    return answers;
  });
  const std::string question = test::Sjis(
      "書庫内のファイル[<dir>]が意図しないフォルダに展開される可能性があります。\n"
      "展開しますか？[y:はい n:いいえ a:すべてはい]");
  EXPECT_EQ(asked.out, question + question);
  EXPECT_EQ(asked.answers, "00 11 ");
}

TEST(UserInquireTest, ContinueQuestion) {
  const struct {
    std::string input;
    std::string answers;
  } cases[] = {
      {"y\n", "1"}, {"Y\n", "1"}, {"n\n", "0"}, {"a\n", "0"}, {"", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    Asked asked = AskInChild(c.input, [] { return std::to_string(AskContinue()); });
    EXPECT_EQ(asked.answers, c.answers);
    EXPECT_EQ(asked.out, test::Sjis("処理を続けますか[y:はい n:いいえ]"));
  }
}

// What an overwrite answer left on its line is thrown away before the
// continue question reads.
TEST(UserInquireTest, ContinueDiscardsTheRestOfALine) {
  for (const auto& [input, expected] :
       {std::pair<std::string, std::string>{"yes\ny\n", "10 1"}, {"yes\nn\n", "10 0"}}) {
    SCOPED_TRACE(input);
    Asked asked = AskInChild(input, [] {
      std::string answers = Overwrite(1);
      return answers + std::to_string(AskContinue());
    });
    EXPECT_EQ(asked.answers, expected);
  }
}

}  // namespace

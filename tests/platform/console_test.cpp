// The console: console text by the locale, written unchanged to pipes and
// terminals in order, flushing at exit, and reading answers.
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

void SetLocale(const char* locale) {
  setenv("LC_ALL", locale, 1);
  char program[] = "tsubo";
  char* argv[] = {program, nullptr};
  plat::StartUp(1, argv);
}

// Reads whatever arrives on fd until it stays quiet or closes.
std::string Drain(int fd) {
  std::string text;
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) break;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// Points standard output and standard error at `fd` for one scope.
class Redirect {
 public:
  explicit Redirect(int fd) : out_(dup(1)), err_(dup(2)) {
    plat::FlushConsole();
    fflush(stdout);
    dup2(fd, 1);
    dup2(fd, 2);
  }
  ~Redirect() {
    plat::FlushConsole();
    dup2(out_, 1);
    dup2(err_, 2);
    close(out_);
    close(err_);
  }

 private:
  int out_, err_;
};

void Write(plat::Stream stream, const std::string& text) {
  plat::ConsoleWrite(stream, text.data(), text.size());
}

class ConsoleTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { SetLocale(GetParam()); }
  void TearDown() override { SetLocale("C"); }
};

TEST_P(ConsoleTest, PipeGetsTheBytesInOrder) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    Redirect redirect(fds[1]);
    Write(plat::Stream::Out, "\x95\x5C\x8E\xA6 ");              // 表示
    Write(plat::Stream::Out, "\x95");                           // a character split
    Write(plat::Stream::Out, "\x5C\n");                         // between two writes
    Write(plat::Stream::Err, "\x83\x47\x83\x89\x81\x5B: x\n");  // エラー
    Write(plat::Stream::Out, std::string("\0\xFF\x81", 3));     // not CP932 at all
  }
  close(fds[1]);
  std::string expected = "\x95\x5C\x8E\xA6 \x95\x5C\n\x83\x47\x83\x89\x81\x5B: x\n";
  expected += std::string("\0\xFF\x81", 3);
  EXPECT_EQ(Drain(fds[0]), expected);
  close(fds[0]);
}

INSTANTIATE_TEST_SUITE_P(Locales, ConsoleTest, testing::Values("C", "C.UTF-8"));

// Console text follows the locale alone: UTF-8 in a UTF-8 locale, the CP932
// bytes otherwise, and valid UTF-8 either way in a UTF-8 locale.
TEST(Console, ConsoleTextFollowsTheLocale) {
  struct Case {
    const char* locale;
    std::string cp932, shown;
  } cases[] = {
      {"C", "\x95\x5C\x8E\xA6 \x95\x5C\\", "\x95\x5C\x8E\xA6 \x95\x5C\\"},
      {"C", "\xFF!\x81", "\xFF!\x81"},
      {"C.UTF-8", "\x95\x5C\x8E\xA6 \x95\x5C\\", "表示 表\\"},  // 0x5C stays a trail byte
      {"C.UTF-8", "ascii", "ascii"},
      // Not CP932 but UTF-8: as it stands, the name it has on disk.
      {"C.UTF-8", "한국어.txt", "한국어.txt"},
      // Neither: every byte of a character without a Unicode form is '?'.
      {"C.UTF-8", "\x95\x5C\xFF!\x81", "表?!?"},
      {"C.UTF-8", "\x81\x20x", "??x"},
  };
  for (const Case& c : cases) {
    SetLocale(c.locale);
    EXPECT_EQ(plat::ConsoleText(c.cp932), c.shown) << c.locale << " " << c.shown;
    std::string appended = "[";
    plat::AppendConsoleText(appended, c.cp932);
    EXPECT_EQ(appended, "[" + c.shown) << c.locale;
    EXPECT_EQ(plat::PathsShownWithSlash(), std::string(c.locale) == "C.UTF-8");
  }
  SetLocale("C");
}

TEST(Console, OutputIsFlushedAtExit) {
  plat::FlushConsole();
  test::Process child([]() -> int {
    // More than any buffer holds, with characters across its edges.
    std::string line = "x\x95\x5C\x83\x5C\n";
    for (int i = 0; i < 40000; ++i) plat::ConsoleWrite(plat::Stream::Out, line.data(), line.size());
    std::exit(0);
  });
  const std::string text = child.Wait().out;
  EXPECT_EQ(text.size(), 40000u * 6);
  std::string expected;
  for (int i = 0; i < 40000; ++i) expected += "x\x95\x5C\x83\x5C\n";
  EXPECT_TRUE(text == expected);
}

class InputTest : public testing::Test {
 protected:
  // Feeds `text` to standard input for the test.
  void Feed(const std::string& text) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    saved_ = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
  }
  void TearDown() override {
    // Use up what is left so the next test starts clean.
    while (plat::ReadInputChar() != -1) {
    }
    if (saved_ >= 0) {
      dup2(saved_, 0);
      close(saved_);
    }
  }
  int saved_ = -1;
};

TEST_F(InputTest, DiscardDropsTheRestOfAPartlyReadLine) {
  Feed("yes\nn\n\nabc");
  plat::DiscardPendingInput();  // nothing read yet: nothing dropped
  EXPECT_EQ(plat::ReadInputChar(), 'y');
  plat::DiscardPendingInput();  // drops "es\n"
  EXPECT_EQ(plat::ReadInputChar(), 'n');
  EXPECT_EQ(plat::ReadInputChar(), '\n');
  plat::DiscardPendingInput();  // the line was finished: nothing dropped
  EXPECT_EQ(plat::ReadInputChar(), '\n');
  EXPECT_EQ(plat::ReadInputChar(), 'a');
  plat::DiscardPendingInput();  // drops "bc" up to the end
  EXPECT_EQ(plat::ReadInputChar(), -1);
  EXPECT_EQ(plat::ReadInputChar(), -1);
}

TEST_F(InputTest, LongInputIsReadWhole) {
  std::string text(10000, 'q');
  text += "\n!";
  Feed(text);
  EXPECT_EQ(plat::ReadInputChar(), 'q');
  plat::DiscardPendingInput();  // across several reads
  EXPECT_EQ(plat::ReadInputChar(), '!');
  EXPECT_EQ(plat::ReadInputChar(), -1);
}

}  // namespace

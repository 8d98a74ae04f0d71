// tsubo at a terminal: the help screen and a question come out as UTF-8 in
// a UTF-8 locale, and the answer typed on the terminal is taken. For
// tsubo.exe under the runner this is the console path (WriteConsoleW and
// ReadConsoleW on Wine's terminal console); for the POSIX build the bridge
// of a UTF-8 locale.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

// One tsubo run on a pseudo-terminal of its own.
class TerminalRun {
 public:
  TerminalRun(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<std::string> argv;
    bool runner = test::RunningUnderRunner();
    if (runner) {
      std::istringstream words(std::getenv("TSUBO_RUNNER"));
      for (std::string w; words >> w;) argv.push_back(w);
    }
    argv.push_back(test::TsuboPath());
    for (const std::string& a : args) argv.push_back(runner ? test::ArgumentForRunner(a, true) : a);
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      throw std::runtime_error("pseudo-terminal");
    }
    std::string slaveName = ptsname(master_);
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      int slave = open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
      if (slave < 0) _exit(127);
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
      if (slave > 2) close(slave);
      close(master_);
      if (chdir(cwd.c_str()) != 0) _exit(127);
      setenv("LC_ALL", "C.UTF-8", 1);
      setenv("TZ", "UTC", 1);
      setenv("TERM", "xterm", 1);
      setenv("WINEDEBUG", "-all", 0);
      std::vector<char*> raw;
      for (auto& s : argv) raw.push_back(s.data());
      raw.push_back(nullptr);
      execvp(raw[0], raw.data());
      _exit(127);
    }
  }
  ~TerminalRun() {
    if (!waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
  }

  // Reads the terminal until `text` has appeared (or the run ended, or a
  // bound that only keeps a broken build from hanging the suite).
  bool WaitFor(const std::string& text) {
    for (int rounds = 0; rounds < 1200 && out_.find(text) == std::string::npos; ++rounds) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;  // EIO: the terminal's last user has gone
      out_.append(buf, static_cast<std::size_t>(n));
    }
    return out_.find(text) != std::string::npos;
  }

  // Types on the terminal. Wine's console puts the terminal into raw mode
  // when the program starts reading; keys typed before that would go through
  // the line discipline (CR turned into LF) and not end the line. The
  // POSIX build reads the terminal as it is.
  void Type(const std::string& keys) {
    for (int rounds = 0; test::RunningUnderRunner() && rounds < 1200; ++rounds) {
      termios mode;
      if (tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) == 0) break;
      usleep(10000);
    }
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
      throw std::runtime_error("typing");
    }
  }

  // Reads until the run has ended. (Wine's own services may keep the
  // terminal open after tsubo.exe is gone, so its end is not awaited.)
  int Finish() {
    int status = 0;
    for (int rounds = 0; rounds < 1200; ++rounds) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
          out_.append(buf, static_cast<std::size_t>(n));
          continue;
        }
        // Nobody holds the terminal any more: the run is ending.
        waited_ = waitpid(pid_, &status, 0) == pid_;
        break;
      }
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        waited_ = true;
        break;
      }
    }
    // What the run wrote last is still in the terminal's buffer.
    for (pollfd p{master_, POLLIN, 0}; poll(&p, 1, 0) > 0;) {
      char buf[4096];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out_.append(buf, static_cast<std::size_t>(n));
    }
    return waited_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& out() const { return out_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool waited_ = false;
  std::string out_;
};

TEST(TerminalTest, HelpScreenIsReadableJapanese) {
  test::TempDir dir;
  TerminalRun run({}, dir.path());
  EXPECT_EQ(run.Finish(), 2);
  EXPECT_NE(run.out().find("使用法"), std::string::npos) << run.out();
  EXPECT_EQ(run.out().find(test::Sjis("使用法")), std::string::npos);
}

TEST(TerminalTest, QuestionIsAnsweredOnTheTerminal) {
  test::TempDir dir;
  test::RunOptions in;
  in.cwd = dir.path();
  test::WriteFile(dir / "a.txt", "member\n");
  ASSERT_EQ(test::RunTsubo({"a", "arc.lzh", "a.txt"}, in).exitCode, 0);
  test::WriteFile(dir / "a.txt", "old\n");
  TerminalRun run({"e", "-c", "arc.lzh"}, dir.path());
  ASSERT_TRUE(run.WaitFor("上書きしますか")) << run.out();
  run.Type("y\r");
  EXPECT_EQ(run.Finish(), 0) << run.out();
  EXPECT_NE(run.out().find("Extracted a.txt"), std::string::npos) << run.out();
  EXPECT_EQ(test::ReadFile(dir / "a.txt"), "member\n");
}

}  // namespace

namespace {

// A member that takes seconds to test (4 GiB - 1 bytes from a few packed
// ones) shows its progress on a terminal's standard error after about a
// second, and nowhere else. Both runs end once that second has passed.
TEST(TerminalTest, LongMemberShowsProgressOnATerminalOnly) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "the POSIX terminal";
  test::TempDir dir;
  lzhtest::Member huge = lzhtest::Compressed(5, "huge.bin", "a");
  huge.data = lzhtest::RepeatedByteStream();
  huge.originalSize = 0xFFFFFFFFu;
  test::WriteFile(dir / "huge.lzh", lzhtest::Archive({huge}));
  {
    TerminalRun run({"t", "huge.lzh"}, dir.path());
    EXPECT_TRUE(run.WaitFor(" MB/s")) << run.out();
    EXPECT_NE(run.out().find("\rhuge.bin "), std::string::npos) << run.out();
  }
  test::RunOptions piped;
  piped.cwd = dir.path();
  const test::RunResult r =
      test::RunCommand({"timeout", "-s", "KILL", "2", test::TsuboPath(), "t", "huge.lzh"}, piped);
  EXPECT_EQ(r.err.find("MB/s"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

}  // namespace

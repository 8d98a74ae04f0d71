// Two runs on one archive: while one tsubo holds the archive (waiting at a
// question), a second one that would read or change it fails cleanly and
// the archive loses nothing. Windows gives this with sharing modes, the
// POSIX build with locks; under a runner both runs are tsubo.exe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "support/support.h"

namespace {

using test::RunOptions;
using test::RunResult;
using test::RunTsubo;
using test::Sjis;

// A tsubo run that goes on in the background, with its standard input kept
// open so that it waits at a question.
class BackgroundRun {
 public:
  BackgroundRun(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<std::string> argv;
    RunOptions env;
    if (test::RunningUnderRunner()) {
      std::istringstream words(std::getenv("TSUBO_RUNNER"));
      for (std::string w; words >> w;) argv.push_back(w);
    }
    argv.push_back(test::TsuboPath());
    for (const std::string& a : args) {
      argv.push_back(test::RunningUnderRunner() ? test::ArgumentForRunner(a, false) : a);
    }
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      if (chdir(cwd.c_str()) != 0) _exit(127);
      setenv("LC_ALL", test::RunningUnderRunner() ? "C.UTF-8" : "C", 1);
      setenv("TZ", "UTC", 1);
      setenv("WINEDEBUG", "-all", 0);
      std::vector<char*> raw;
      for (auto& s : argv) raw.push_back(s.data());
      raw.push_back(nullptr);
      execvp(raw[0], raw.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~BackgroundRun() {
    if (input_ >= 0) close(input_);
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(output_);
  }

  // Reads its output until `text` has appeared; false if it ended first.
  // (The bound only keeps a broken build from hanging the suite.)
  bool WaitFor(const std::string& text) {
    for (int rounds = 0; rounds < 1200 && out_.find(text) == std::string::npos; ++rounds) {
      pollfd p{output_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      ssize_t n = read(output_, buf, sizeof buf);
      if (n <= 0) break;
      out_.append(buf, static_cast<std::size_t>(n));
    }
    return out_.find(text) != std::string::npos;
  }

  // Answers, closes its input and waits for its end; returns the exit code.
  int Finish(const std::string& answer) {
    if (!answer.empty() && write(input_, answer.data(), answer.size()) < 0) return -1;
    close(input_);
    input_ = -1;
    char buf[4096];
    for (ssize_t n; (n = read(output_, buf, sizeof buf)) > 0;)
      out_.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& out() const { return out_; }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
  int input_ = -1;
  int output_ = -1;
  std::string out_;
};

bool WorkFilesLeft(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("lhawk", 0) == 0) return true;
  }
  return false;
}

struct SecondRun {
  const char* name;
  std::vector<std::string> args;
};

TEST(SharingTest, HeldArchiveRefusesASecondRunAndKeepsItsData) {
  test::TempDir dir;
  RunOptions in;
  in.cwd = dir.path();
  test::WriteFile(dir / "a.txt", "first member\n");
  test::WriteFile(dir / "b.txt", "second file\n");
  ASSERT_EQ(RunTsubo({"a", "arc.lzh", "a.txt"}, in).exitCode, 0);
  const std::string archive = test::ReadFile(dir / "arc.lzh");
  ASSERT_FALSE(archive.empty());

  // -c: the existing a.txt gets the overwrite question, and the run waits
  // for its answer with the archive open.
  BackgroundRun holder({"e", "-c", "arc.lzh"}, dir.path());
  const std::string question = Sjis("上書きしますか");
  ASSERT_TRUE(holder.WaitFor(question)) << holder.out();

  const SecondRun seconds[] = {
      {"add", {"a", "arc.lzh", "b.txt"}},    {"update", {"u", "arc.lzh", "b.txt"}},
      {"delete", {"d", "arc.lzh", "a.txt"}}, {"list", {"l", "arc.lzh"}},
      {"extract", {"x", "arc.lzh"}},
  };
  for (const auto& second : seconds) {
    SCOPED_TRACE(second.name);
    RunResult r = RunTsubo(second.args, in);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, Sjis("エラー: 書庫が開けませんでした\n"));
    EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), archive);
    EXPECT_FALSE(WorkFilesLeft(dir.path()));
  }

  EXPECT_EQ(holder.Finish("n\n"), 0) << holder.out();
  EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), archive);
  EXPECT_EQ(test::ReadFile(dir / "a.txt"), "first member\n");

  // Once the first run has ended, the same add goes through.
  RunResult r = RunTsubo({"a", "arc.lzh", "b.txt"}, in);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  r = RunTsubo({"l", "-n", "arc.lzh"}, in);
  EXPECT_NE(r.out.find("a.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("b.txt"), std::string::npos) << r.out;
  EXPECT_FALSE(WorkFilesLeft(dir.path()));
}

}  // namespace

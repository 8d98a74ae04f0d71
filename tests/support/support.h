// Helpers shared by the tests: running the tsubo executable or any command
// with given arguments, standard input and environment, in the background
// too; CP932 text; scratch folders and files; time zones and calendar times.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

struct RunResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;    // standard output, exact bytes
  std::string err;    // standard error, exact bytes
  long peakKiB = 0;   // the child's peak resident size
};

struct RunOptions {
  std::string cwd;    // "" = current directory
  std::string input;  // fed to standard input, which is closed when the run is awaited
  // Extra environment; LC_ALL=C and TZ=UTC are set unless given here.
  std::map<std::string, std::string> env;
  // A pseudo-terminal of its own as controlling terminal, standard input,
  // output and error (all output then lands in `out`).
  bool terminal = false;
};

// A child process, a command or a function of this program, started in a
// folder with an environment. Its standard input gets options.input and
// what Write adds; its output is collected while the test waits for it.
class Process {
 public:
  // Runs argv (argv[0] searched in PATH).
  Process(const std::vector<std::string>& argv, const RunOptions& options = {});
  // Runs `body` in a copy of this process; what it returns is the exit code.
  Process(const std::function<int()>& body, const RunOptions& options = {});
  ~Process();  // kills a child still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void Write(const std::string& text) { pending_ += text; }
  // Collects output until `text` is in it; false if the output ended first
  // (or after two minutes, so that a broken build does not hang the suite).
  bool WaitFor(const std::string& text);
  // Waits (twelve seconds at most) until the child has switched its terminal
  // to raw input, without line editing.
  void AwaitRawTerminal();
  // Closes standard input (unless a terminal), collects the output and
  // waits for the end.
  const RunResult& Wait();
  const RunResult& Signal(int signal);  // sends `signal`, then waits
  const RunResult& result() const { return result_; }

 private:
  void Start(const std::function<void()>& exec, const RunOptions& options);
  void Send();
  int Pump(int timeoutMs);
  bool Reap(bool block);

  int pid_ = -1;
  int input_ = -1;   // a pipe, or the terminal
  int output_ = -1;  // a pipe, or the terminal
  int error_ = -1;   // a pipe; none with a terminal
  bool closing_ = false;
  std::string pending_;  // input not yet taken
  RunResult result_;
};

// The executable under test: $TSUBO_EXE, else the one built with the tests.
// $TSUBO_RUNNER (for example "wine") is put in front of it when set.
std::string TsuboPath();
bool RunningUnderRunner();  // true when $TSUBO_RUNNER is set
// Under a runner (tsubo.exe under Wine) each argument is handed over in the
// form that gives tsubo.exe the text the POSIX build would see (see
// ArgumentForRunner), so tests may name files by POSIX paths either way.
Process StartTsubo(const std::vector<std::string>& args, const RunOptions& options = {});
RunResult RunTsubo(const std::vector<std::string>& args, const RunOptions& options = {});
// The argument for Wine: the CP932 text the POSIX build would take it for
// (UTF-8 converted in a UTF-8 locale), with '\\' for '/' and "Z:" before an
// absolute path (Wine's drive for the Unix root, as '/' starts an option on
// Windows), as UTF-8: "/tmp/a/b" -> "Z:\\tmp\\a\\b".
std::string ArgumentForRunner(const std::string& arg, bool utf8Locale);
// Runs any command line (argv[0] searched in PATH).
RunResult RunCommand(const std::vector<std::string>& argv, const RunOptions& options = {});
bool CommandExists(const std::string& name);

// UTF-8 text -> CP932 bytes (for expected console output) and back.
std::string Sjis(const std::string& utf8);
std::string Utf8(const std::string& cp932);

// A fresh folder removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);  // "" when absent
bool FileExists(const std::string& path);
bool IsReadOnly(const std::string& path);  // the owner may not write it
void MakeDirs(const std::string& path);
// Sets the last-write time (seconds since 1970, UTC).
void SetMTime(const std::string& path, std::int64_t unixSeconds);
std::int64_t GetMTime(const std::string& path);
// Reproducible pseudo-random bytes.
std::string RandomBytes(std::size_t count, std::uint32_t seed);
// A POSIX path in the form tsubo's modules take: '\\' for '/'.
std::string Internal(std::string path);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);
// The names of the work files (lhawk*.dat) in a folder, sorted.
std::vector<std::string> WorkFiles(const std::string& folder);

// Sets TZ for one scope and puts the old value back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

// Seconds since 1970 of a UTC calendar time.
std::int64_t UnixSeconds(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0);
// The same time as a FILETIME (100 ns since 1601), plus `ticks`.
std::uint64_t FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         std::uint64_t ticks = 0);

}  // namespace test

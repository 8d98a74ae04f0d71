// Implementation of the shared test helpers (POSIX only: tests may talk to
// the OS directly).
#include "support/support.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace test {

std::string TsuboPath() {
  const char* exe = std::getenv("TSUBO_EXE");
  return exe && *exe ? exe : TSUBO_EXE;
}

bool RunningUnderRunner() {
  const char* runner = std::getenv("TSUBO_RUNNER");
  return runner && *runner;
}

// Converts text between encodings; false when it has no form in `to`.
static bool TryConvert(const std::string& text, const char* to, const char* from,
                       std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  out.assign(text.size() * 4 + 4, '\0');
  char* inPtr = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != (size_t)-1 &&
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != (size_t)-1;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return ok;
}

// Whether the run's locale is a UTF-8 one: RunCommand sets LC_ALL=C and
// drops the caller's locale unless the options name one.
static bool Utf8Locale(const RunOptions& options) {
  auto value = [&](const char* variable) {
    auto it = options.env.find(variable);
    return it == options.env.end() ? std::string() : it->second;
  };
  std::string name = "C";
  if (options.env.count("LC_ALL") != 0) {
    name = value("LC_ALL");
    if (name.empty()) name = value("LC_CTYPE");
    if (name.empty()) name = value("LANG");
  }
  std::string lower;
  for (char c : name) {
    if (c != '-') lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return lower.find("utf8") != std::string::npos;
}

std::string ArgumentForRunner(const std::string& arg, bool utf8Locale) {
  // The CP932 text the POSIX build would take the argument for: in a UTF-8
  // locale a valid UTF-8 argument is converted, any other is CP932 already.
  std::string internal = arg;
  std::string converted, back;
  if (utf8Locale && TryConvert(arg, "CP932", "UTF-8", converted) &&
      TryConvert(converted, "UTF-8", "CP932", back) && back == arg) {
    internal = converted;
  }
  for (char& c : internal) {
    if (c == '/') c = '\\';
  }
  if (!internal.empty() && internal[0] == '\\') internal.insert(0, "Z:");
  // Wine, run in a UTF-8 locale, hands UTF-8 arguments to tsubo.exe as
  // UTF-16, which tsubo.exe turns into the same CP932 text.
  std::string utf8;
  return TryConvert(internal, "UTF-8", "CP932", utf8) ? utf8 : internal;
}

Process StartTsubo(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv;
  if (!RunningUnderRunner()) {
    argv.push_back(TsuboPath());
    argv.insert(argv.end(), args.begin(), args.end());
    return Process(argv, options);
  }
  std::istringstream words(std::getenv("TSUBO_RUNNER"));
  for (std::string w; words >> w;) argv.push_back(w);
  argv.push_back(TsuboPath());
  bool utf8 = Utf8Locale(options);
  for (const std::string& arg : args) argv.push_back(ArgumentForRunner(arg, utf8));
  // Wine reads Unix file names and arguments as UTF-8 only in a UTF-8
  // locale (in the C locale it strips their high bits); tsubo.exe itself
  // does not look at the locale.
  RunOptions runnerOptions = options;
  runnerOptions.env["LC_ALL"] = "C.UTF-8";
  // Wine's own diagnostics would mix with tsubo's standard error.
  if (!std::getenv("WINEDEBUG") && options.env.count("WINEDEBUG") == 0) {
    runnerOptions.env["WINEDEBUG"] = "-all";
  }
  return Process(argv, runnerOptions);
}

RunResult RunTsubo(const std::vector<std::string>& args, const RunOptions& options) {
  return StartTsubo(args, options).Wait();
}

static std::vector<std::string> BuildEnvironment(const RunOptions& options) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    auto eq = kv.find('=');
    if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  env.erase("LANG");
  env.erase("LANGUAGE");
  for (auto it = env.begin(); it != env.end();) {
    if (it->first.rfind("LC_", 0) == 0)
      it = env.erase(it);
    else
      ++it;
  }
  env["LC_ALL"] = "C";
  env["TZ"] = "UTC";
  for (const auto& [k, v] : options.env) {
    if (v.empty())
      env.erase(k);
    else
      env[k] = v;
  }
  std::vector<std::string> out;
  for (const auto& [k, v] : env) {
    std::string kv = k;
    kv.append("=").append(v);
    out.push_back(kv);
  }
  return out;
}

// Rounds of WaitFor (100 ms) and AwaitRawTerminal (10 ms): the bound only
// keeps a broken build from hanging the suite.
constexpr int kRounds = 1200;

Process::Process(const std::vector<std::string>& argv, const RunOptions& options) {
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (auto& s : copy) args.push_back(s.data());
  args.push_back(nullptr);
  Start([&] { execvp(args[0], args.data()); }, options);
}

Process::Process(const std::function<int()>& body, const RunOptions& options) {
  Start([&] { _exit(body()); }, options);
}

void Process::Start(const std::function<void()>& exec, const RunOptions& options) {
  // Input sent to a child that has gone fails instead of killing the tests.
  static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)ignored;
  std::vector<std::string> envStrings = BuildEnvironment(options);
  std::vector<char*> envp;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  std::string terminal;
  if (options.terminal) {
    output_ = input_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (output_ < 0 || grantpt(output_) != 0 || unlockpt(output_) != 0) {
      throw std::runtime_error("pseudo-terminal");
    }
    terminal = ptsname(output_);
  } else if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    throw std::runtime_error("pipe");
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    if (options.terminal) {
      setsid();
      close(output_);
      in[0] = out[1] = err[1] = open(terminal.c_str(), O_RDWR);  // the controlling terminal
    }
    if (dup2(in[0], 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) _exit(127);
    // A function run here must not hold its own input open.
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
      if (fd > 2) close(fd);
    }
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
    environ = envp.data();
    std::signal(SIGPIPE, SIG_DFL);
    exec();
    _exit(127);
  }
  if (!options.terminal) {
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
  }
  fcntl(input_, F_SETFL, O_NONBLOCK);
  Write(options.input);
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  for (int fd : {output_, error_, input_ != output_ ? input_ : -1}) {
    if (fd >= 0) close(fd);
  }
}

// Hands the child as much of the pending input as it takes now; closes a
// pipe once all of it has gone and the run is awaited.
void Process::Send() {
  if (input_ >= 0 && !pending_.empty()) {
    const ssize_t w = write(input_, pending_.data(), pending_.size());
    if (w > 0) pending_.erase(0, static_cast<std::size_t>(w));
    if (w < 0 && errno != EAGAIN && errno != EINTR) pending_.clear();  // the child has gone
  }
  if (closing_ && pending_.empty() && input_ >= 0 && input_ != output_) {
    close(input_);
    input_ = -1;
  }
}

// One round of at most `timeoutMs`: sends input, collects output. Returns
// the bytes collected, or -1 once all output has ended.
int Process::Pump(int timeoutMs) {
  Send();
  pollfd fds[3];
  nfds_t n = 0;
  for (int fd : {output_, error_}) {
    if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
  }
  if (n == 0) return -1;
  // Wake up as soon as more input fits.
  if (!pending_.empty() && input_ >= 0) {
    if (input_ == output_) {
      fds[0].events |= POLLOUT;
    } else {
      fds[n++] = {input_, POLLOUT, 0};
    }
  }
  if (poll(fds, n, timeoutMs) <= 0) return 0;
  int got = 0;
  for (nfds_t i = 0; i < n; ++i) {
    int* fd = fds[i].fd == output_ ? &output_ : fds[i].fd == error_ ? &error_ : nullptr;
    if (!fd || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[65536];
    const ssize_t r = read(*fd, buffer, sizeof buffer);
    if (r > 0) {
      (fd == &output_ ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(r));
      got += static_cast<int>(r);
    } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {  // EIO: the terminal is gone
      if (*fd == input_) input_ = -1;
      close(*fd);
      *fd = -1;
    }
  }
  return got;
}

bool Process::Reap(bool block) {
  int status = 0;
  rusage usage{};
  if (wait4(pid_, &status, block ? 0 : WNOHANG, &usage) != pid_) return false;
  pid_ = -1;
  result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result_.peakKiB = usage.ru_maxrss;
  return true;
}

const RunResult& Process::Wait() {
  closing_ = true;
  while (pid_ > 0) {
    const int got = Pump(100);
    if (got < 0) {
      Reap(true);
    } else if (got == 0 && Reap(false)) {
      // Ended while something (Wine's services) holds its output open:
      // take what it wrote.
      while (Pump(0) > 0) {
      }
    }
  }
  return result_;
}

const RunResult& Process::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
  return Wait();
}

bool Process::WaitFor(const std::string& text) {
  for (int round = 0; round < kRounds && result_.out.find(text) == std::string::npos; ++round) {
    if (Pump(100) < 0) break;
  }
  return result_.out.find(text) != std::string::npos;
}

void Process::AwaitRawTerminal() {
  for (int round = 0; round < kRounds; ++round) {
    termios mode;
    if (tcgetattr(output_, &mode) == 0 && (mode.c_lflag & ICANON) == 0) return;
    usleep(10000);
  }
}

RunResult RunCommand(const std::vector<std::string>& argv, const RunOptions& options) {
  return Process(argv, options).Wait();
}

bool CommandExists(const std::string& name) {
  std::string script = "command -v ";
  script.append(name).append(" >/dev/null 2>&1");
  RunResult r = RunCommand({"sh", "-c", script});
  return r.exitCode == 0;
}

static std::string Convert(const std::string& text, const char* to, const char* from) {
  std::string out;
  if (!TryConvert(text, to, from, out)) throw std::runtime_error("iconv: text not convertible");
  return out;
}

std::string Sjis(const std::string& utf8) { return Convert(utf8, "CP932", "UTF-8"); }
std::string Utf8(const std::string& cp932) { return Convert(cp932, "UTF-8", "CP932"); }

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tsubo-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission so read-only files and folders can go.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    chmod(it->path().c_str(), 0755);
  }
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(bytes.data(), bytes.size());
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return "";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsReadOnly(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

void SetMTime(const std::string& path, std::int64_t unixSeconds) {
  timespec times[2];
  times[0].tv_sec = unixSeconds;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat");
}

std::int64_t GetMTime(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtim.tv_sec;
}

std::string RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(count, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

std::string Internal(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> WorkFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : FolderNames(folder)) {
    if (name.rfind("lhawk", 0) == 0) names.push_back(name);
  }
  return names;
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* old = std::getenv("TZ")) old_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (old_) {
    setenv("TZ", old_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

std::int64_t UnixSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return timegm(&t);
}

std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second,
                         std::uint64_t ticks) {
  const std::int64_t seconds = UnixSeconds(year, month, day, hour, minute, second) + 11644473600LL;
  return static_cast<std::uint64_t>(seconds) * 10000000 + ticks;
}

}  // namespace test

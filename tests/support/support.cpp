// Implementation of the shared test helpers (POSIX only: tests may talk to
// the OS directly).
#include "support/support.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

RunResult RunTsubo(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv;
  if (!RunningUnderRunner()) {
    argv.push_back(TsuboPath());
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, options);
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
  return RunCommand(argv, runnerOptions);
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

RunResult RunCommand(const std::vector<std::string>& argv, const RunOptions& options) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe");
  std::vector<std::string> envStrings = BuildEnvironment(options);
  std::vector<char*> envp, args;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argCopy = argv;
  for (auto& s : argCopy) args.push_back(s.data());
  args.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
    environ = envp.data();
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  RunResult result;
  size_t written = 0;
  bool inOpen = true, outOpen = true, errOpen = true;
  if (options.input.empty()) {
    close(in[1]);
    inOpen = false;
  }
  while (outOpen || errOpen) {
    pollfd fds[3];
    int n = 0;
    int inIdx = -1, outIdx = -1, errIdx = -1;
    if (inOpen) fds[inIdx = n++] = {in[1], POLLOUT, 0};
    if (outOpen) fds[outIdx = n++] = {out[0], POLLIN, 0};
    if (errOpen) fds[errIdx = n++] = {err[0], POLLIN, 0};
    if (poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (inIdx >= 0 && fds[inIdx].revents) {
      ssize_t w = write(in[1], options.input.data() + written, options.input.size() - written);
      if (w > 0) written += w;
      if (w < 0 || written == options.input.size()) {
        close(in[1]);
        inOpen = false;
      }
    }
    char buf[65536];
    if (outIdx >= 0 && fds[outIdx].revents) {
      ssize_t r = read(out[0], buf, sizeof buf);
      if (r > 0)
        result.out.append(buf, r);
      else
        outOpen = false;
    }
    if (errIdx >= 0 && fds[errIdx].revents) {
      ssize_t r = read(err[0], buf, sizeof buf);
      if (r > 0)
        result.err.append(buf, r);
      else
        errOpen = false;
    }
  }
  if (inOpen) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool CommandExists(const std::string& name) {
  std::string script = "command -v ";
  script.append(name).append(" >/dev/null 2>&1");
  RunResult r = RunCommand({"sh", "-c", script});
  return r.exitCode == 0;
}

static std::string Convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) throw std::runtime_error("iconv_open");
  std::string out(text.size() * 4 + 4, '\0');
  char* inPtr = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == (size_t)-1) {
    iconv_close(cd);
    throw std::runtime_error("iconv: text not convertible");
  }
  iconv_close(cd);
  out.resize(out.size() - outLeft);
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

}  // namespace test

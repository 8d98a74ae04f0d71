// Helpers shared by the tests: running the tsubo executable with given
// arguments, standard input and environment; CP932 text; scratch folders.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace test {

struct RunResult {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;    // standard output, exact bytes
  std::string err;    // standard error, exact bytes
};

struct RunOptions {
  std::string cwd;    // "" = current directory
  std::string input;  // fed to standard input, then closed
  // Extra environment; LC_ALL=C and TZ=UTC are set unless given here.
  std::map<std::string, std::string> env;
};

// The executable under test: $TSUBO_EXE, else the one built with the tests.
// $TSUBO_RUNNER (for example "wine") is put in front of it when set.
std::string TsuboPath();
bool RunningUnderRunner();  // true when $TSUBO_RUNNER is set
RunResult RunTsubo(const std::vector<std::string>& args, const RunOptions& options = {});
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
void MakeDirs(const std::string& path);
// Sets the last-write time (seconds since 1970, UTC).
void SetMTime(const std::string& path, std::int64_t unixSeconds);
std::int64_t GetMTime(const std::string& path);
// Reproducible pseudo-random bytes.
std::string RandomBytes(std::size_t count, std::uint32_t seed);

}  // namespace test

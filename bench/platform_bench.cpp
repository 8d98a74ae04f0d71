// Speed of the platform layer where tsubo leans on it: the CP932 walk on
// member paths, and directory search over a large folder in both locales.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// A typical member path with double-byte characters, some with trail 0x5C.
const std::string kPath =
    "src\\\x95\x5C\x8E\xA6\\\x83\x5C\x81\x5B\x83\x58\\module\\\x94\x5C\x97\xCD\\file_0001.txt";

void BM_FindLastBackslash(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(plat::FindLastBackslash(kPath.c_str()));
}
BENCHMARK(BM_FindLastBackslash);

void BM_LastChar(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(plat::LastChar(kPath.c_str()));
}
BENCHMARK(BM_LastChar);

void BM_CharPrevToStart(benchmark::State& state) {
  const char* s = kPath.c_str();
  for (auto _ : state) {
    const char* p = s + kPath.size();
    while (p > s) p = plat::CharPrev(s, p);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_CharPrevToStart);

// One folder of files named in UTF-8, half of them Japanese.
std::string folder;

void RemoveFolder() { std::filesystem::remove_all(folder); }

const std::string& BigFolder() {
  if (folder.empty()) {
    std::string dir = (std::filesystem::temp_directory_path() / "tsubo-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) std::abort();
    for (int i = 0; i < 20000; ++i) {
      std::string name = dir + "/" + (i % 2 ? "表示" : "file") + std::to_string(i) + ".txt";
      int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
      if (fd >= 0) close(fd);
    }
    folder = dir;
    std::atexit(RemoveFolder);  // registered after `folder`, so it runs first
  }
  return folder;
}

void FindAll(benchmark::State& state, const char* locale) {
  std::string pattern = BigFolder();
  for (char& c : pattern) {
    if (c == '/') c = '\\';
  }
  pattern += "\\*.txt";
  setenv("LC_ALL", locale, 1);
  char program[] = "bench";
  char* argv[] = {program, nullptr};
  plat::StartUp(1, argv);
  std::vector<plat::FindData> found;
  for (auto _ : state) {
    plat::FindFiles(pattern.c_str(), found);
    benchmark::DoNotOptimize(found.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(found.size()));
}

void BM_FindFiles20000_C(benchmark::State& state) { FindAll(state, "C"); }
BENCHMARK(BM_FindFiles20000_C)->Unit(benchmark::kMillisecond);

void BM_FindFiles20000_Utf8(benchmark::State& state) { FindAll(state, "C.UTF-8"); }
BENCHMARK(BM_FindFiles20000_Utf8)->Unit(benchmark::kMillisecond);

}  // namespace

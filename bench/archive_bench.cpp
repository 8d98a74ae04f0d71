// Micro-benchmarks of the archive container: the CRC-16 that runs over all
// member data, and opening an archive with a very large directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/header_writer.h"
#include "lzh/crc16.h"
#include "ops/unlha.h"

namespace {

void BM_Crc16(benchmark::State& state) {
  std::vector<unsigned char> data(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Crc16Update(0, data.data(), static_cast<long>(data.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(64)->Arg(4096)->Arg(1 << 20);

// An archive of `count` level-2 members of one data byte each, written
// through the header writer.
std::string MakeArchive(int count, int level) {
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("tsubo_bench_" + std::to_string(count) + "_" + std::to_string(level) + ".lzh"))
          .string();
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::CreateAlways);

  ArchiveEntry e;
  std::memset(&e, 0, sizeof e);
  std::memcpy(e.method, "-lh0-", 6);
  e.packed_size = e.original_size = 1;
  e.attributes = 0x20;
  e.header_level = level;
  e.mtime = 133000000000000000ULL;
  std::strcpy(e.directory, "some\\dir\\");
  for (int i = 0; i < count; ++i) {
    std::snprintf(e.name, sizeof e.name, "member%07d.txt", i);
    WriteHeader(file, e, false);
    plat::WriteFile(file, "x", 1);
  }
  plat::WriteFile(file, "", 1);
  plat::CloseFile(file);
  return path;
}

void BM_OpenManyMembers(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string path = MakeArchive(count, static_cast<int>(state.range(1)));
  for (auto _ : state) {
    CUnlha archive;
    if (archive.Open(path.c_str(), false) != kStatusOk || archive.entryCount() != count) {
      state.SkipWithError("open failed");
      break;
    }
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
}
BENCHMARK(BM_OpenManyMembers)
    ->Args({100000, 2})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

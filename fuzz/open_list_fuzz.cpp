// libFuzzer target: the input becomes an archive file (once as .lzh, once
// as a self-extracting .exe); it is opened, its directory walked and listed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "cli/frontend.h"
#include "ops/lha.h"
#include "ops/unlha.h"

namespace {

std::string g_directory;

void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::CreateAlways);
  if (file == plat::kInvalidFile) std::abort();
  if (size > 0 &&
      plat::WriteFile(file, data, static_cast<std::uint32_t>(size)) != static_cast<long>(size)) {
    std::abort();
  }
  plat::CloseFile(file);
}

// Touches every field as a reader of the directory would, and checks the
// rules every entry keeps.
void WalkDirectory(const CUnlha& archive) {
  std::uint64_t sum = 0;
  for (const ArchiveEntry& e : archive.entries()) {
    const std::size_t nameLength = std::strlen(e.name);
    const std::size_t directoryLength = std::strlen(e.directory);
    if (nameLength + directoryLength >= kPathSize || e.method[5] != '\0') std::abort();
    if (directoryLength > 0) {
      const char* last = plat::LastChar(e.directory);
      if (last[0] != '\\' || last[1] != '\0') std::abort();
    }
    if (plat::FindLastBackslash(e.name) != nullptr) std::abort();
    if (e.data_offset <= e.header_offset) std::abort();
    sum += e.packed_size + e.original_size + e.crc + e.attributes + e.os_id + e.mtime;
  }
  volatile std::uint64_t sink = sum;
  (void)sink;
}

void OpenAndList(const std::string& path) {
  CLha archive;
  if (Opened(archive.Open(path.c_str(), false))) {
    WalkDirectory(archive);
    Options options;
    options.archiveName = path;
    options.listWithDirs = true;
    ListArchive(archive, options);
    options.listWithDirs = false;
    ListArchive(archive, options);
    plat::FlushConsole();
  } else if (archive.entryCount() != 0) {
    std::abort();  // a failed open keeps nothing
  }
  archive.CloseAndCommit();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The listing's lines are of no interest here.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  std::random_device random;
  // A memory file system when there is one: every input is written twice.
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  g_directory =
      (base / ("tsubo_fuzz_" + std::to_string(random()) + std::to_string(random()))).string();
  std::filesystem::create_directories(g_directory);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string plain = g_directory + "/input.lzh";
  const std::string exe = g_directory + "/input.exe";
  WriteInput(plain, data, size);
  WriteInput(exe, data, size);
  OpenAndList(plain);
  OpenAndList(exe);
  return 0;
}

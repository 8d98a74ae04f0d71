// Output paths of extracted members, the unsafe-path test, and the creation
// of directories and output files.
#include "ops/output_paths.h"

#include <cstdio>
#include <cstring>
#include <string>

bool MakeRelativePath(const ArchiveEntry& entry, bool useDirs, char* relative) {
  std::string path;
  if (useDirs && entry.directory[0] != '\0') path = entry.directory;
  path += entry.name;
  if (path.size() >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(relative, path.c_str(), path.size() + 1);
  return true;
}

bool MakeOutputPath(const char* baseDir, const char* relative, bool lowerCase, char* output) {
  std::string path;
  if (baseDir[0] != '\0' && relative[0] != '\\') {
    path = baseDir;
    // Multi-byte aware: a base directory ending in a double-byte character
    // whose second byte is 0x5C still needs its separator.
    if (std::strcmp(plat::LastChar(baseDir), "\\") != 0) path += '\\';
  }
  path += relative;
  if (path.size() >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(output, path.c_str(), path.size() + 1);
  if (lowerCase) plat::LowerCaseInPlace(output);
  return true;
}

bool IsUnsafePath(const char* relative) {
  // A leading backslash or slash is the root; a drive prefix such as "C:"
  // names another drive; ".." climbs out. 0x2E, 0x2F and 0x5C never start a
  // character's second byte, so the byte tests below cannot misfire on
  // double-byte characters (the first byte is always a character's start).
  unsigned char first = static_cast<unsigned char>(relative[0]);
  if (first == '\\' || first == '/') return true;
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (letter && relative[1] == ':') return true;
  return std::strstr(relative, "..") != nullptr;
}

namespace {

// The later of the last backslash and the last slash: a member name may
// hold slashes (level-0 names keep them), and its parents are made all the
// same. 0x2F is never the second byte of a character.
const char* LastSeparator(const char* path) {
  const char* separator = plat::FindLastBackslash(path);
  const char* slash = std::strrchr(path, '/');
  if (separator == nullptr || (slash != nullptr && slash > separator)) separator = slash;
  return separator;
}

}  // namespace

bool MakeParentDirectories(const char* path) {
  const char* separator = LastSeparator(path);
  if (separator == nullptr) return false;
  std::string prefix(path, static_cast<std::size_t>(separator - path));
  if (plat::CreateDirectory(prefix.c_str())) return true;
  MakeParentDirectories(prefix.c_str());
  return plat::CreateDirectory(prefix.c_str());
}

namespace {

constexpr int kScratchNames = 999;  // lhtmp000.tmp .. lhtmp998.tmp

// The first scratch name in the folder of `path` that nothing holds.
plat::FileHandle CreateScratchBeside(const char* path, std::string* temporary) {
  const char* separator = LastSeparator(path);
  const std::string folder(path, separator ? static_cast<std::size_t>(separator - path) + 1 : 0);
  for (int number = 0; number < kScratchNames; ++number) {
    char leaf[16];
    std::snprintf(leaf, sizeof leaf, "lhtmp%03d.tmp", number);
    *temporary = folder + leaf;
    plat::FileHandle file = plat::CreateScratchFile(temporary->c_str(), true);
    if (file != plat::kInvalidFile || plat::LastError() != plat::kErrorFileExists) return file;
  }
  return plat::kInvalidFile;
}

}  // namespace

plat::FileHandle CreateOutputFile(const char* path, std::string* temporary) {
  plat::FileHandle file = CreateScratchBeside(path, temporary);
  if (file != plat::kInvalidFile || plat::LastError() == plat::kErrorFileExists) return file;
  MakeParentDirectories(path);
  return CreateScratchBeside(path, temporary);
}

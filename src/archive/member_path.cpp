// Member paths.
#include "archive/member_path.h"

#include <cstring>

#include "platform/platform.h"

void SplitMemberPath(const char* path, ArchiveEntry& entry) {
  const char* slash = plat::FindLastBackslash(path);
  const std::size_t split = slash != nullptr ? static_cast<std::size_t>(slash - path) + 1 : 0;
  std::memcpy(entry.directory, path, split);
  entry.directory[split] = '\0';
  std::strcpy(entry.name, path + split);
}

std::string StoredPath(const ArchiveEntry& entry) {
  std::string path = MemberPath(entry);
  // Only a single-byte backslash ends the path; the second byte of a
  // double-byte character may be 0x5C too.
  if (!path.empty() && *plat::LastChar(path.c_str()) == '\\') path.pop_back();
  return path;
}

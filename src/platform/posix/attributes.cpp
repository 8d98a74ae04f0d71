// Attributes and file times of the POSIX backend: Windows' attribute bits
// read from the mode and the name, the read-only bit written to the owner's
// write permission, the Unix mode and owner of archive members, and
// last-write times as FILETIME at full resolution.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {

// The last component of an internal path, trailing separators ignored.
bool NameIsHidden(const char* path) {
  std::string name(path);
  while (!name.empty() && name.back() == '\\' && LastChar(name.c_str()) == &name.back()) {
    name.pop_back();
  }
  const char* slash = FindLastBackslash(name.c_str());
  const char* last = slash ? slash + 1 : name.c_str();
  return last[0] == '.' && std::strcmp(last, ".") != 0 && std::strcmp(last, "..") != 0;
}

}  // namespace

namespace posix {

std::uint32_t AttributesOf(const struct stat& st, bool hidden) {
  std::uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (hidden) attributes |= kAttrHidden;
  return attributes;
}

FileTime ToFileTime(const struct timespec& time) {
  std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kUnixEpochSeconds;
  if (seconds < 0) return 0;
  return static_cast<FileTime>(seconds) * kFileTimePerSecond +
         static_cast<FileTime>(time.tv_nsec / 100);
}

}  // namespace posix

std::uint32_t GetFileAttributes(const char* path) {
  std::string external = posix::ToExternalPath(path);
  struct stat st;
  if (stat(external.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return kInvalidAttributes;
  }
  return posix::AttributesOf(st, NameIsHidden(path));
}

bool SetFileAttributes(const char* path, std::uint32_t attributes) {
  std::string external = posix::ToExternalPath(path);
  struct stat st;
  if (lstat(external.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return false;
  }
  // Windows' read-only bit does not stop files being made in a folder, while
  // taking a folder's write permission here would; folders keep theirs. A
  // link is never followed: what it points at is not tsubo's to change.
  if (!S_ISREG(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & kAttrReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
  if (wanted != mode && chmod(external.c_str(), wanted) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return false;
  }
  return true;
}

bool SetFileAttributesOf(FileHandle file, std::uint32_t attributes) {
  mode_t mode = posix::NewFileMode();
  if (attributes & kAttrReadOnly) mode &= ~S_IWUSR;
  if (fchmod(static_cast<int>(file), mode) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  return true;
}

std::uint16_t UnixModeOf(FileHandle file) {
  struct stat st;
  if (fstat(static_cast<int>(file), &st) != 0) return 0;
  return static_cast<std::uint16_t>(st.st_mode);
}

bool SetUnixMode(FileHandle file, std::uint16_t mode) {
  // Set-id bits from an archive would hand its author the extractor's rights.
  mode_t bits = mode & 0777;
  if (geteuid() != 0) bits &= ~posix::FileModeMask();
  if (fchmod(static_cast<int>(file), bits) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  return true;
}

void SetUnixOwner(FileHandle file, std::uint16_t uid, std::uint16_t gid) {
  if (geteuid() != 0) return;
  int ignored = fchown(static_cast<int>(file), uid, gid);
  (void)ignored;
}

bool QueryName(const char* path, NameInfo* info) {
  std::string external = posix::ToExternalPath(path);
  struct stat st;
  if (lstat(external.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return false;
  }
  info->isDirectory = S_ISDIR(st.st_mode);
  info->lastWrite = posix::ToFileTime(st.st_mtim);
  return true;
}

bool GetFileTime(FileHandle file, FileTime* lastWrite) {
  struct stat st;
  if (fstat(static_cast<int>(file), &st) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  *lastWrite = posix::ToFileTime(st.st_mtim);
  return true;
}

// Linux keeps no settable creation time, so `creation` is ignored; the
// last-access time stays as it is.
bool SetFileTime(FileHandle file, FileTime /*creation*/, FileTime lastWrite) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  std::int64_t units = static_cast<std::int64_t>(lastWrite / kFileTimePerSecond);
  times[1].tv_sec = static_cast<time_t>(units - kUnixEpochSeconds);
  times[1].tv_nsec = static_cast<long>(lastWrite % kFileTimePerSecond) * 100;
  if (futimens(static_cast<int>(file), times) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  return true;
}

}  // namespace plat

// Names on disk for the POSIX backend: create a directory, delete, rename
// without replacing, and the atomic replacements that commit an archive.
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {

bool Failed(const std::string& external) {
  posix::SetErrorFromErrno(errno, external);
  return false;
}

// Windows refuses to delete or replace a file that a process has open. Here
// only tsubo's own locks show that, so a regular file is opened and locked
// exclusively for the moment of the change; the descriptor (or -1 when the
// file cannot be opened, so nobody's lock can be seen) is returned, or -2
// when another process holds the file.
int LockForChange(const std::string& external) {
  int fd = open(external.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  // A file renamed away before the lock was taken is not the one changed.
  if ((locked != 0 && errno == EWOULDBLOCK) || !posix::StillNamed(fd, external)) {
    close(fd);
    return -2;
  }
  return fd;
}

void Unlock(int fd) {
  if (fd >= 0) close(fd);
}

// The directory that holds an external path, for fsync after a rename.
std::string DirectoryOf(const std::string& external) {
  std::size_t slash = external.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : external.substr(0, slash);
}

// The new contents reach the disk before the name points at them.
bool SyncFile(const std::string& source) {
  int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Failed(source);
  bool synced = fsync(fd) == 0;
  int saved = errno;
  close(fd);
  if (!synced) {
    errno = saved;
    return Failed(source);
  }
  return true;
}

// Makes the new directory entry durable once a rename has succeeded.
void SyncDirectoryOf(const std::string& target) {
  int dir = open(DirectoryOf(target).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

bool ReadOnly(const std::string& target) {
  struct stat st;
  return lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

}  // namespace

bool CreateDirectory(const char* path) {
  std::string external = posix::ToExternalPath(path);
  if (mkdir(external.c_str(), 0777) != 0) return Failed(external);
  return true;
}

bool DeleteFile(const char* path) {
  std::string external = posix::ToExternalPath(path);
  struct stat st;
  if (lstat(external.c_str(), &st) != 0) return Failed(external);
  // As on Windows: a directory is not a file, and a read-only file stays.
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0)) {
    posix::SetError(kErrorAccessDenied);
    return false;
  }
  int lock = S_ISREG(st.st_mode) ? LockForChange(external) : -1;
  if (lock == -2) {
    posix::SetError(kErrorSharingViolation);
    return false;
  }
  bool ok = false;
  {
    const posix::InterruptsDeferred deferred;
    ok = unlink(external.c_str()) == 0;
    if (ok) posix::UntrackScratch(external);
  }
  if (!ok) posix::SetErrorFromErrno(errno, external);
  Unlock(lock);
  return ok;
}

bool MoveReplacing(const char* from, const char* to) {
  std::string source = posix::ToExternalPath(from);
  std::string target = posix::ToExternalPath(to);
  const posix::InterruptsDeferred deferred;
  // rename replaces the name itself: a link there is not followed, and the
  // other names of a hard-linked file keep the old contents.
  if (rename(source.c_str(), target.c_str()) != 0) return Failed(errno == EISDIR ? target : source);
  posix::UntrackScratch(source);
  return true;
}

bool ReplaceHeldFile(const char* from, const char* to, FileHandle held) {
  std::string source = posix::ToExternalPath(from);
  std::string target = posix::ToExternalPath(to);
  const int fd = static_cast<int>(held);
  bool renamed = false;
  if (!SyncFile(source)) {
    // the error is recorded
  } else if (ReadOnly(target)) {
    posix::SetError(kErrorAccessDenied);
  } else if (!posix::StillNamed(fd, target)) {
    posix::SetError(kErrorSharingViolation);  // not the file that is held
  } else {
    // The target may be this run's claim on a new archive's name: once the
    // work file has taken that name, an interrupt must leave it.
    const posix::InterruptsDeferred deferred;
    renamed = rename(source.c_str(), target.c_str()) == 0;
    if (renamed) {
      posix::UntrackScratch(source);
      posix::UntrackScratch(target);
    } else {
      posix::SetErrorFromErrno(errno, source);
    }
  }
  // Only now may another run open the name: it finds the new file.
  close(fd);
  if (renamed) SyncDirectoryOf(target);
  return renamed;
}

}  // namespace plat

// File handles of the POSIX backend: open with Windows' sharing rules
// (advisory flock locks) and Windows' refusals (directories, read-only
// files), read, write, 64-bit seek, size, flush and close.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/internal.h"

static_assert(sizeof(off_t) == 8, "tsubo needs 64-bit file offsets");

namespace plat {

namespace {

int Descriptor(FileHandle file) { return static_cast<int>(file); }

bool Writes(Access access) { return access == Access::Write || access == Access::ReadWrite; }

int AccessFlags(Access access) {
  switch (access) {
    case Access::Write:
      return O_WRONLY;
    case Access::ReadWrite:
      return O_RDWR;
    default:
      return O_RDONLY;
  }
}

// Opens an existing file or creates a new one, telling which happened. The
// file is never truncated here: that waits until the lock is held.
int OpenOrCreate(const std::string& path, int flags, bool* created) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(path.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) {
      *created = false;
      return fd;
    }
    fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) {
      *created = fd >= 0;
      return fd;
    }
    // Another process created it in between: open it as an existing file.
  }
  return -1;
}

// Windows opens any existing path with no access rights asked, directories
// included, and such a handle takes part in no sharing.
FileHandle OpenForQuery(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
#ifdef O_PATH
  if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_PATH | O_CLOEXEC);
#endif
  if (fd < 0) {
    posix::SetErrorFromErrno(errno, path);
    return kInvalidFile;
  }
  return fd;
}

// Takes a flock lock without waiting; false only when another open file
// holds a conflicting one (a file system without flock locks nothing).
bool Lock(int fd, int operation) {
  int locked;
  do {
    locked = flock(fd, operation | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  return locked == 0 || errno != EWOULDBLOCK;
}

FileHandle Fail(int fd, int code) {
  int saved = errno;
  close(fd);
  errno = saved;
  posix::SetError(code);
  return kInvalidFile;
}

// One attempt of OpenFile; *stale tells that the file was replaced under
// its name before the lock was taken, and the open should be tried again.
FileHandle OpenOnce(const std::string& external, Access access, Share share,
                    Disposition disposition, bool* stale) {
  // O_NONBLOCK keeps a FIFO from hanging the open; it is refused below.
  int flags = AccessFlags(access) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  bool created = false;
  int fd = -1;
  switch (disposition) {
    case Disposition::OpenExisting:
      fd = open(external.c_str(), flags);
      break;
    case Disposition::CreateNew:
      fd = open(external.c_str(), flags | O_CREAT | O_EXCL, 0666);
      created = true;
      break;
    case Disposition::CreateAlways:
      fd = OpenOrCreate(external, flags, &created);
      break;
  }
  if (fd < 0) {
    posix::SetErrorFromErrno(errno, external);
    return kInvalidFile;
  }

  struct stat st;
  if (fstat(fd, &st) != 0) return Fail(fd, kErrorOther);
  // Windows opens only regular files for reading or writing, and never
  // writes into a file whose read-only attribute is set (root included).
  if (!S_ISREG(st.st_mode)) return Fail(fd, kErrorAccessDenied);
  if (Writes(access) && !created && (st.st_mode & S_IWUSR) == 0) {
    return Fail(fd, kErrorAccessDenied);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  // Writing needs the file to itself for a moment even when others may
  // read it afterwards: Windows refuses a writer while another handle is
  // open without write sharing, and no reader may see the file truncated.
  if (!Lock(fd, share == Share::None || Writes(access) ? LOCK_EX : LOCK_SH)) {
    return Fail(fd, kErrorSharingViolation);
  }
  if (!created && !posix::StillNamed(fd, external)) {
    *stale = true;
    return Fail(fd, kErrorSharingViolation);
  }

  // Only now, with the lock held, may an existing file lose its contents.
  if (disposition == Disposition::CreateAlways && !created && st.st_size != 0 &&
      ftruncate(fd, 0) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return Fail(fd, LastError());
  }
  if (Writes(access) && share == Share::Read && !Lock(fd, LOCK_SH)) {
    return Fail(fd, kErrorSharingViolation);
  }
  return fd;
}

}  // namespace

bool posix::StillNamed(int fd, const std::string& external) {
  struct stat opened;
  struct stat named;
  return fstat(fd, &opened) == 0 && stat(external.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

FileHandle OpenFile(const char* path, Access access, Share share, Disposition disposition) {
  std::string external = posix::ToExternalPath(path);
  if (access == Access::Query) return OpenForQuery(external);
  FileHandle file = kInvalidFile;
  for (int attempt = 0; attempt < 8; ++attempt) {
    bool stale = false;
    file = OpenOnce(external, access, share, disposition, &stale);
    if (!stale) break;
  }
  return file;
}

void CloseFile(FileHandle file) {
  if (file != kInvalidFile) close(Descriptor(file));
}

namespace {

// Reads until `count` bytes, the end of the file or an error; at `offset`
// with pread when one is given, so the file pointer stays where it is.
long ReadFully(FileHandle file, const std::uint64_t* offset, void* buffer, std::uint32_t count) {
  char* dest = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t n = offset != nullptr ? pread(Descriptor(file), dest + done, count - done,
                                          static_cast<off_t>(*offset + done))
                                  : read(Descriptor(file), dest + done, count - done);
    if (n == 0) break;  // end of file
    if (n < 0) {
      if (errno == EINTR) continue;
      if (done > 0) break;
      posix::SetErrorFromErrno(errno, "");
      return -1;
    }
    done += static_cast<std::uint32_t>(n);
  }
  return static_cast<long>(done);
}

}  // namespace

long ReadFile(FileHandle file, void* buffer, std::uint32_t count) {
  return ReadFully(file, nullptr, buffer, count);
}

long ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count) {
  return ReadFully(file, &offset, buffer, count);
}

long WriteFile(FileHandle file, const void* buffer, std::uint32_t count) {
  const char* source = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t n = write(Descriptor(file), source + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (done > 0) break;  // a short count tells the caller the disk is full
      posix::SetErrorFromErrno(errno, "");
      return -1;
    }
    done += static_cast<std::uint32_t>(n);
  }
  return static_cast<long>(done);
}

std::uint64_t SeekFile(FileHandle file, std::int64_t distance, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET
               : origin == SeekOrigin::End ? SEEK_END
                                           : SEEK_CUR;
  off_t position = lseek(Descriptor(file), static_cast<off_t>(distance), whence);
  if (position < 0) {
    posix::SetErrorFromErrno(errno, "");
    return UINT64_MAX;
  }
  return static_cast<std::uint64_t>(position);
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  struct stat st;
  if (fstat(Descriptor(file), &st) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool FlushFile(FileHandle file) {
  if (fsync(Descriptor(file)) != 0) {
    posix::SetErrorFromErrno(errno, "");
    return false;
  }
  return true;
}

}  // namespace plat

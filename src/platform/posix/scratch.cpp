// Scratch files of the POSIX backend (work files, a new archive's first
// name, extracted files before they take their names) and what an interrupt
// does: SIGINT, SIGTERM and SIGHUP remove every scratch file still under its
// scratch name, write one line and end the run with exit code 2.
//
// The list of scratch names is changed only while those signals are blocked,
// so the handler always sees whole entries; it uses only unlink, write and
// _exit, which are safe in a signal handler.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {

// A run holds at most two work files, a new archive's name, one extracted
// file at a time, and a file of compressed data per worker.
constexpr int kScratchSlots = 80;
constexpr std::size_t kScratchPathSize = 4096;
constexpr std::size_t kMessageSize = 512;
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// Changed by any thread under scratchLock with the interrupts deferred;
// read by the handler, which runs on the main thread only (workers are born
// with interrupts blocked) and so never meets a half-changed entry of its own
// thread. A slot is marked used only after its path is whole.
std::mutex scratchLock;
char scratchPaths[kScratchSlots][kScratchPathSize];
std::atomic<bool> scratchUsed[kScratchSlots];
char message[kMessageSize];
volatile sig_atomic_t messageLength = 0;
mode_t newFileMode = 0644;
mode_t fileModeMask = 022;

void OnInterrupt(int) {
  for (int i = 0; i < kScratchSlots; ++i) {
    if (scratchUsed[i].load(std::memory_order_acquire)) unlink(scratchPaths[i]);
  }
  if (messageLength > 0) {
    ssize_t ignored = write(2, message, static_cast<std::size_t>(messageLength));
    (void)ignored;
  }
  _exit(2);
}

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kInterrupts) sigaddset(&set, signal);
  return set;
}

}  // namespace

namespace posix {

InterruptsDeferred::InterruptsDeferred() {
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

InterruptsDeferred::~InterruptsDeferred() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

void TrackScratch(const std::string& external) {
  if (external.size() >= kScratchPathSize) return;  // too long for any file system
  const InterruptsDeferred deferred;
  const std::lock_guard<std::mutex> lock(scratchLock);
  for (int i = 0; i < kScratchSlots; ++i) {
    if (scratchUsed[i].load(std::memory_order_relaxed)) continue;
    std::memcpy(scratchPaths[i], external.c_str(), external.size() + 1);
    scratchUsed[i].store(true, std::memory_order_release);
    return;
  }
}

void UntrackScratch(const std::string& external) {
  const InterruptsDeferred deferred;
  const std::lock_guard<std::mutex> lock(scratchLock);
  for (int i = 0; i < kScratchSlots; ++i) {
    if (scratchUsed[i].load(std::memory_order_relaxed) && external == scratchPaths[i]) {
      scratchUsed[i].store(false, std::memory_order_release);
    }
  }
}

mode_t NewFileMode() { return newFileMode; }

mode_t FileModeMask() { return fileModeMask; }

void InstallInterruptHandlers() {
  // The umask can only be read by setting it; this runs once at start-up,
  // before any other thread exists.
  const mode_t mask = umask(022);
  umask(mask);
  fileModeMask = mask;
  newFileMode = 0666 & ~mask;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  action.sa_mask = InterruptSet();
  for (int signal : kInterrupts) {
    struct sigaction previous;
    // A signal that the caller ignores (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace posix

FileHandle CreateScratchFile(const char* path, bool ownerOnly) {
  const std::string external = posix::ToExternalPath(path);
  const posix::InterruptsDeferred deferred;
  // O_EXCL with O_CREAT fails on any existing name, a dangling link included.
  const int fd =
      open(external.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
           ownerOnly ? 0600 : 0666);
  if (fd < 0) {
    posix::SetErrorFromErrno(errno, external);
    return kInvalidFile;
  }
  // Held without sharing, as OpenFile would hold it. Another run may have
  // opened the new file (as an empty archive) before the lock: it is then
  // that run's, and this one fails as if the name were in use.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    posix::SetError(kErrorSharingViolation);
    return kInvalidFile;
  }
  posix::TrackScratch(external);
  return fd;
}

void CopyPermissions(FileHandle from, FileHandle to) {
  struct stat st;
  if (fstat(static_cast<int>(from), &st) != 0) return;
  const int fd = static_cast<int>(to);
  // Owner first: changing it would clear set-id bits set before. A process
  // that may not give the file away may still give it a group of its own.
  if (fchown(fd, st.st_uid, st.st_gid) != 0) {
    int ignored = fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    (void)ignored;
  }
  fchmod(fd, st.st_mode & 07777);
}

std::thread StartWorkerThread(std::function<void()> body) {
  // A new thread inherits its creator's mask.
  const posix::InterruptsDeferred deferred;
  return std::thread(std::move(body));
}

void SetInterruptMessage(const char* cp932) {
  const std::string text = ConsoleText(cp932);
  const posix::InterruptsDeferred deferred;
  const std::size_t length = text.size() < kMessageSize ? text.size() : kMessageSize;
  std::memcpy(message, text.data(), length);
  messageLength = static_cast<sig_atomic_t>(length);
}

}  // namespace plat

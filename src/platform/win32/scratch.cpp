// Scratch files of the Win32 backend (work files, a new archive's first
// name, extracted files before they take their names) and what an interrupt
// does: Ctrl+C, Ctrl+Break or a closed console removes every scratch file
// still under its scratch name, writes one line and ends the run with exit
// code 2.
//
// The control handler runs on a thread of its own. An open scratch file is
// removed through its handle (opened with DELETE access, so no other open
// is needed), a closed one by name; the list is guarded by a critical
// section that the handler keeps until the process has ended.
#include "platform/win32/win32.h"

namespace plat {

namespace {

// A run holds at most two work files, a new archive's name, one extracted
// file at a time, and a file of compressed data per worker.
constexpr int kScratchSlots = 80;

struct Scratch {
  bool used = false;
  std::wstring path;
  HANDLE handle = INVALID_HANDLE_VALUE;  // while open
};

// Made on first use: CloseFile may run before start-up (in tests).
CRITICAL_SECTION* ScratchLock() {
  struct Holder {
    CRITICAL_SECTION section;
    Holder() { InitializeCriticalSection(&section); }
  };
  static Holder holder;
  return &holder.section;
}

Scratch scratch[kScratchSlots];
std::string messageBytes;  // for a pipe or a file
std::wstring messageWide;  // for a console

class Locked {
 public:
  Locked() { EnterCriticalSection(ScratchLock()); }
  ~Locked() { LeaveCriticalSection(ScratchLock()); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

void WriteMessage() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD done = 0;
  if (GetConsoleMode(err, &mode)) {
    WriteConsoleW(err, messageWide.data(), static_cast<DWORD>(messageWide.size()), &done, nullptr);
  } else {
    ::WriteFile(err, messageBytes.data(), static_cast<DWORD>(messageBytes.size()), &done, nullptr);
  }
}

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  EnterCriticalSection(ScratchLock());  // kept: nothing may change the list any more
  for (Scratch& s : scratch) {
    if (!s.used) continue;
    if (s.handle != INVALID_HANDLE_VALUE) {
      FILE_DISPOSITION_INFO remove = {TRUE};  // its one member: delete on close
      SetFileInformationByHandle(s.handle, FileDispositionInfo, &remove, sizeof remove);
    } else {
      DeleteFileW(s.path.c_str());
    }
  }
  WriteMessage();
  ExitProcess(2);
}

}  // namespace

namespace win32 {

void InstallInterruptHandler() {
  ScratchLock();
  SetConsoleCtrlHandler(OnControl, TRUE);
}

void UntrackScratch(const std::wstring& path) {
  Locked locked;
  for (Scratch& s : scratch) {
    if (s.used && s.path == path) s = Scratch{};
  }
}

void ForgetScratchHandle(HANDLE handle) {
  Locked locked;
  for (Scratch& s : scratch) {
    if (s.used && s.handle == handle) s.handle = INVALID_HANDLE_VALUE;
  }
}

}  // namespace win32

FileHandle CreateScratchFile(const char* path, bool /*ownerOnly*/) {
  // A new file takes the permissions of its folder: there is no wider
  // default to narrow. CREATE_NEW fails on any existing name, a link too.
  const std::wstring wide = win32::ToWide(path);
  Locked locked;
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    win32::SetErrorFromSystem();
    return kInvalidFile;
  }
  for (Scratch& s : scratch) {
    if (s.used) continue;
    s.used = true;
    s.path = wide;
    s.handle = handle;
    break;
  }
  return win32::FromHandle(handle);
}

void CopyPermissions(FileHandle /*from*/, FileHandle /*to*/) {}

// The control handler runs on a thread of its own and takes the lock of the
// list: no thread needs to keep out of its way.
std::thread StartWorkerThread(std::function<void()> body) { return std::thread(std::move(body)); }

void SetInterruptMessage(const char* cp932) {
  Locked locked;
  messageBytes = cp932;
  messageWide = win32::ToWide(cp932);
}

}  // namespace plat

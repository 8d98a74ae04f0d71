// File handles, attributes, file times and names on disk through the
// wide-character Win32 API. Sharing modes do what locks do on POSIX: a file
// opened without sharing cannot be opened by a second run.
#include <algorithm>

#include "platform/win32/win32.h"

namespace plat {

using win32::FromHandle;
using win32::SetErrorFromSystem;
using win32::ToHandle;
using win32::ToWide;

FileHandle OpenFile(const char* path, Access access, Share share, Disposition disposition) {
  DWORD desired = 0;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (access) {
    case Access::Query:
      // Enough to read the time of a file or a directory.
      desired = FILE_READ_ATTRIBUTES;
      flags |= FILE_FLAG_BACKUP_SEMANTICS;
      break;
    case Access::Read:
      desired = GENERIC_READ;
      break;
    case Access::Write:
      desired = GENERIC_WRITE;
      break;
    case Access::ReadWrite:
      desired = GENERIC_READ | GENERIC_WRITE;
      break;
  }
  DWORD shareMode = share == Share::Read ? FILE_SHARE_READ : 0;
  DWORD creation = OPEN_EXISTING;
  if (disposition == Disposition::CreateAlways) creation = CREATE_ALWAYS;
  if (disposition == Disposition::CreateNew) creation = CREATE_NEW;
  HANDLE handle =
      CreateFileW(ToWide(path).c_str(), desired, shareMode, nullptr, creation, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrorFromSystem();
    return kInvalidFile;
  }
  // A name such as "con", "nul" or "com1" (in any folder) opens a device:
  // what tsubo writes there would not be a file, or would never be stored.
  if (access != Access::Query && access != Access::Read && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    win32::SetError(ERROR_ACCESS_DENIED);
    return kInvalidFile;
  }
  return FromHandle(handle);
}

void CloseFile(FileHandle file) {
  if (file == kInvalidFile) return;
  win32::ForgetScratchHandle(ToHandle(file));
  CloseHandle(ToHandle(file));
}

// Counts are kept below 2^31 so that they fit the long of the result,
// which has 32 bits on Windows.
static DWORD ClampCount(std::uint32_t count) { return std::min<std::uint32_t>(count, 0x40000000); }

long ReadFile(FileHandle file, void* buffer, std::uint32_t count) {
  DWORD done = 0;
  if (!::ReadFile(ToHandle(file), buffer, ClampCount(count), &done, nullptr)) {
    // The writer of a pipe has gone: that is its end, not an error.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    SetErrorFromSystem();
    return -1;
  }
  return static_cast<long>(done);
}

long ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count) {
  // On a handle opened for synchronous I/O the offset in OVERLAPPED says
  // where to read; each call is independent of the others.
  OVERLAPPED where = {};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD done = 0;
  if (!::ReadFile(ToHandle(file), buffer, ClampCount(count), &done, &where)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    SetErrorFromSystem();
    return -1;
  }
  return static_cast<long>(done);
}

long WriteFile(FileHandle file, const void* buffer, std::uint32_t count) {
  DWORD done = 0;
  if (!::WriteFile(ToHandle(file), buffer, ClampCount(count), &done, nullptr)) {
    SetErrorFromSystem();
    return -1;
  }
  return static_cast<long>(done);
}

std::uint64_t SeekFile(FileHandle file, std::int64_t distance, SeekOrigin origin) {
  DWORD method = FILE_BEGIN;
  if (origin == SeekOrigin::Current) method = FILE_CURRENT;
  if (origin == SeekOrigin::End) method = FILE_END;
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(ToHandle(file), move, &position, method)) {
    SetErrorFromSystem();
    return UINT64_MAX;
  }
  return static_cast<std::uint64_t>(position.QuadPart);
}

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(ToHandle(file), &value)) {
    SetErrorFromSystem();
    return false;
  }
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool FlushFile(FileHandle file) {
  if (!FlushFileBuffers(ToHandle(file))) {
    SetErrorFromSystem();
    return false;
  }
  return true;
}

std::uint32_t GetFileAttributes(const char* path) {
  DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetErrorFromSystem();
    return kInvalidAttributes;
  }
  return attributes;
}

bool SetFileAttributes(const char* path, std::uint32_t attributes) {
  if (!SetFileAttributesW(ToWide(path).c_str(), attributes)) {
    SetErrorFromSystem();
    return false;
  }
  return true;
}

static FILETIME ToFiletime(FileTime time) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(time);
  ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return ft;
}

static FileTime FromFiletime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool GetFileTime(FileHandle file, FileTime* lastWrite) {
  FILETIME write;
  if (!::GetFileTime(ToHandle(file), nullptr, nullptr, &write)) {
    SetErrorFromSystem();
    return false;
  }
  *lastWrite = FromFiletime(write);
  return true;
}

bool SetFileTime(FileHandle file, FileTime creation, FileTime lastWrite) {
  FILETIME create = ToFiletime(creation);
  FILETIME write = ToFiletime(lastWrite);
  // A zero creation time means "leave it"; the last-access time is never set.
  if (!::SetFileTime(ToHandle(file), creation ? &create : nullptr, nullptr, &write)) {
    SetErrorFromSystem();
    return false;
  }
  return true;
}

bool CreateDirectory(const char* path) {
  if (!CreateDirectoryW(ToWide(path).c_str(), nullptr)) {
    SetErrorFromSystem();
    return false;
  }
  return true;
}

bool DeleteFile(const char* path) {
  const std::wstring wide = ToWide(path);
  if (!DeleteFileW(wide.c_str())) {
    SetErrorFromSystem();
    return false;
  }
  win32::UntrackScratch(wide);
  return true;
}

// Clears the read-only attribute of whatever `path` names, a link itself
// rather than its target, so that a move can replace it.
static void ClearReadOnlyOfName(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return;
  }
  HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FILE_BASIC_INFO info = {};
  info.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
  CloseHandle(handle);
}

bool MoveReplacing(const char* from, const char* to) {
  const std::wstring source = ToWide(from);
  const std::wstring target = ToWide(to);
  ClearReadOnlyOfName(target);
  // A move replaces the name itself: a link there is not followed.
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    SetErrorFromSystem();
    return false;
  }
  win32::UntrackScratch(source);
  return true;
}

bool QueryName(const char* path, NameInfo* info) {
  // The standard information of a link is the link's own.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data)) {
    SetErrorFromSystem();
    return false;
  }
  info->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->lastWrite = (static_cast<FileTime>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool SetFileAttributesOf(FileHandle file, std::uint32_t attributes) {
  FILE_BASIC_INFO info = {};  // zero times: left as they are
  info.FileAttributes = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(ToHandle(file), FileBasicInfo, &info, sizeof info)) {
    SetErrorFromSystem();
    return false;
  }
  return true;
}

// Files have no Unix mode or owner here.
std::uint16_t UnixModeOf(FileHandle /*file*/) { return 0; }

bool SetUnixMode(FileHandle /*file*/, std::uint16_t /*mode*/) { return true; }

void SetUnixOwner(FileHandle /*file*/, std::uint16_t /*uid*/, std::uint16_t /*gid*/) {}

// Brings the data of a finished work file to the disk.
static bool FlushByName(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrorFromSystem();
    return false;
  }
  BOOL flushed = FlushFileBuffers(handle);
  DWORD flushError = GetLastError();
  CloseHandle(handle);
  if (!flushed) win32::SetError(flushError);
  return flushed != FALSE;
}

// The work file takes the archive's name in one step, written through. A
// target that another run holds (opened without sharing) cannot be
// replaced: the move fails with a sharing violation and nothing changes.
static bool MoveOver(const std::wstring& from, const char* to) {
  const std::wstring target = ToWide(to);
  if (!MoveFileExW(from.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    SetErrorFromSystem();
    return false;
  }
  // The target may be this run's claim on a new archive's name.
  win32::UntrackScratch(from);
  win32::UntrackScratch(target);
  return true;
}

bool ReplaceHeldFile(const char* from, const char* to, FileHandle held) {
  // Windows cannot rename over a file that is open, so the hold ends just
  // before the move; the flush comes first to keep that gap as short as it
  // can be. A run that opens the old archive in the gap makes the move fail
  // instead of losing its view.
  std::wstring source = ToWide(from);
  bool flushed = FlushByName(source);
  CloseFile(held);
  return flushed && MoveOver(source, to);
}

}  // namespace plat

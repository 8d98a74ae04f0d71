// Implementation of the Win32 test helpers.
#include "win_support.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace wintest {

std::wstring Wide(const std::string& cp932) {
  if (cp932.empty()) return std::wstring();
  int n = MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), w.data(), n);
  return w;
}

static void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = dir + L"\\" + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(h, &data));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}

TempDir::TempDir() {
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("GetTempPathW");
  static unsigned counter = 0;
  for (;;) {
    std::wstring dir = std::wstring(temp) + L"tsubo-wintest-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    if (CreateDirectoryW(dir.c_str(), nullptr)) {
      int len = WideCharToMultiByte(932, 0, dir.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string bytes(static_cast<std::size_t>(len), '\0');
      WideCharToMultiByte(932, 0, dir.c_str(), -1, bytes.data(), len, nullptr, nullptr);
      bytes.resize(bytes.size() - 1);
      path_ = bytes;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("CreateDirectoryW");
  }
}

TempDir::~TempDir() { RemoveTree(Wide(path_)); }

void WriteWide(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW");
  DWORD done = 0;
  BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
  if (!ok || done != bytes.size()) throw std::runtime_error("WriteFile");
}

std::string ReadWide(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string out;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

bool ExistsWide(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ChildResult RunChild(const std::wstring& arguments, const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) ||
      !CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    throw std::runtime_error("CreatePipe");
  }
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = outWrite;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("CreateProcessW");
  }
  CloseHandle(inRead);
  CloseHandle(outWrite);
  // The inputs of these tests are small: they fit the pipe's buffer, so
  // writing them all before reading cannot deadlock.
  DWORD done = 0;
  if (!input.empty())
    ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &done, nullptr);
  CloseHandle(inWrite);
  ChildResult result;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(outRead, buf, sizeof buf, &got, nullptr) && got > 0)
    result.out.append(buf, got);
  CloseHandle(outRead);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exitCode = code;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return result;
}

}  // namespace wintest

// Code page 932 <-> UTF-16 at the OS boundary, and the layer's error codes.
// The conversions name code page 932 explicitly, so tsubo reads and writes
// the same names on a Windows set to any ANSI code page.
#include "platform/win32/win32.h"

namespace plat::win32 {

std::wstring ToWide(const char* bytes, std::size_t count) {
  if (count == 0) return std::wstring();
  int n = MultiByteToWideChar(kCodePage, 0, bytes, static_cast<int>(count), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kCodePage, 0, bytes, static_cast<int>(count), wide.data(), n);
  return wide;
}

std::string ToCp932(const wchar_t* text, std::size_t count, bool* exact) {
  if (exact) *exact = true;
  if (count == 0) return std::string();
  // No best fit: a character without a CP932 form must not turn into a
  // different, existing name (for example U+00E9 into 'e').
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(count),
                              nullptr, 0, "?", &usedDefault);
  if (n <= 0) {
    if (exact) *exact = false;
    return std::string();
  }
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(count), bytes.data(),
                      n, "?", &usedDefault);
  if (exact) {
    // Some characters share a CP932 code with another (U+FF5E and U+301C,
    // say); a name counts as converted only when it leads back to itself.
    *exact = !usedDefault && ToWide(bytes.data(), bytes.size()) == std::wstring(text, count);
  }
  return bytes;
}

namespace {
int lastError = kErrorNone;

int MapError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return kErrorNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_FILE_EXISTS:
      return static_cast<int>(error);
    case ERROR_ALREADY_EXISTS:  // CreateDirectoryW and MoveFileExW say this
      return kErrorFileExists;
    case ERROR_LOCK_VIOLATION:
      return kErrorSharingViolation;
    default:
      return kErrorOther;
  }
}
}  // namespace

void SetError(DWORD error) { lastError = MapError(error); }
void SetErrorFromSystem() { SetError(GetLastError()); }

}  // namespace plat::win32

namespace plat {
int LastError() { return win32::lastError; }
}  // namespace plat

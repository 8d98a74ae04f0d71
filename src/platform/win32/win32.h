// Shared pieces of the Win32 backend: <windows.h> without the macros that
// would rename the layer's own functions, code page 932 <-> UTF-16
// conversion, and the mapping of GetLastError() to the layer's error codes.
#pragma once

#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

// <windows.h> maps these names to their ...W forms; the layer declares
// functions with the same names in namespace plat.
#undef CharNext
#undef CharPrev
#undef CreateDirectory
#undef DeleteFile
#undef GetFileAttributes
#undef SetFileAttributes

#include <string>

#include "platform/platform.h"

namespace plat::win32 {

// Code page of every byte string inside tsubo, whatever the ANSI code page.
inline constexpr UINT kCodePage = 932;

// CP932 bytes -> UTF-16, as the ...A functions of a Japanese Windows would
// convert them.
std::wstring ToWide(const char* bytes, std::size_t count);
inline std::wstring ToWide(const char* text) {
  return ToWide(text, std::char_traits<char>::length(text));
}
// UTF-16 -> CP932 bytes. `exact` (optional) tells whether every character
// had a CP932 form; characters without one become '?'.
std::string ToCp932(const wchar_t* text, std::size_t count, bool* exact = nullptr);
inline std::string ToCp932(const wchar_t* text, bool* exact = nullptr) {
  return ToCp932(text, wcslen(text), exact);
}

// Records GetLastError() (or `error`) as the layer's LastError().
void SetErrorFromSystem();
void SetError(DWORD error);

// Scratch files (see CreateScratchFile): Ctrl+C and its kin remove every
// tracked name. Renaming or deleting one through this layer untracks it;
// closing it leaves it tracked by name only.
void InstallInterruptHandler();
void UntrackScratch(const std::wstring& path);
void ForgetScratchHandle(HANDLE handle);

inline HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
inline FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

}  // namespace plat::win32

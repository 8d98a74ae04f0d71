// Code page 932 <-> UTF-16 at the OS boundary, and the layer's error codes.
// The conversions name code page 932 explicitly, so tsubo reads and writes
// the same names on a Windows set to any ANSI code page.
#include "platform/win32/win32.h"

namespace plat::win32 {

namespace {

std::wstring Cp932RunToWide(const char* bytes, std::size_t count) {
  if (count == 0) return std::wstring();
  int n = MultiByteToWideChar(kCodePage, 0, bytes, static_cast<int>(count), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kCodePage, 0, bytes, static_cast<int>(count), wide.data(), n);
  return wide;
}

void AppendCodePoint(std::wstring& wide, char32_t code) {
  if (code >= 0x10000) {
    wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
    wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  } else {
    wide += static_cast<wchar_t>(code);
  }
}

// One string without a default character: exact when it leads back to itself.
std::string Cp932Run(const wchar_t* text, std::size_t count, bool* exact) {
  *exact = false;
  if (count == 0) {
    *exact = true;
    return std::string();
  }
  // No best fit: a character without a CP932 form must not turn into a
  // different, existing name (for example U+00E9 into 'e').
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(count),
                              nullptr, 0, "?", &usedDefault);
  if (n <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(count), bytes.data(),
                      n, "?", &usedDefault);
  // Some characters share a CP932 code with another (U+FF5E and U+301C,
  // say); a text counts as converted only when it leads back to itself.
  *exact = !usedDefault && Cp932RunToWide(bytes.data(), bytes.size()) == std::wstring(text, count);
  return bytes;
}

}  // namespace

std::wstring ToWide(const char* bytes, std::size_t count) {
  const std::string_view text(bytes, count);
  std::wstring wide;
  char32_t code = 0;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < count;) {
    const std::size_t length = WideCharAt(text.substr(i), &code);
    if (length == 0) {
      ++i;
      continue;
    }
    wide += Cp932RunToWide(bytes + runStart, i - runStart);
    AppendCodePoint(wide, code);
    i += length;
    runStart = i;
  }
  return wide + Cp932RunToWide(bytes + runStart, count - runStart);
}

std::string ToCp932(const wchar_t* text, std::size_t count, bool* exact) {
  bool whole = false;
  std::string bytes = Cp932Run(text, count, &whole);
  if (exact) *exact = true;
  if (whole) return bytes;
  // Character by character: what CP932 cannot hold becomes a wide character.
  bytes.clear();
  for (std::size_t i = 0; i < count;) {
    std::size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      units = 2;
    }
    bool one = false;
    const std::string converted = Cp932Run(text + i, units, &one);
    if (one) {
      bytes += converted;
    } else if (units == 2) {
      AppendWideChar(bytes, 0x10000 + ((static_cast<char32_t>(text[i]) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00));
    } else if (text[i] >= 0x80) {
      AppendWideChar(bytes, static_cast<char32_t>(text[i]));
    } else {
      if (exact) *exact = false;  // a control character CP932 lacks: never so
      bytes += '?';
    }
    i += units;
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

std::u16string ToUtf16(std::string_view text) {
  const std::wstring wide = win32::ToWide(text.data(), text.size());
  return std::u16string(wide.begin(), wide.end());
}

bool FromUtf16(std::u16string_view utf16, std::string& text) {
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  const std::wstring wide(utf16.begin(), utf16.end());
  text = win32::ToCp932(wide.data(), wide.size());
  return true;
}
}  // namespace plat

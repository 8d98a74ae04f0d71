// The text bridge of the POSIX backend: start-up, the choice between a
// UTF-8 locale (names and console text converted to and from CP932 with
// iconv) and any other locale (bytes unchanged), and the separator
// translation '\' <-> '/'.
#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {
namespace posix {

namespace {

bool utf8Locale = false;

// One converter per direction, opened on first use and kept for the run.
bool Convert(const char* to, const char* from, iconv_t& cd, const char* text, std::size_t length,
             std::string& out) {
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  out.assign(length * 3 + 4, '\0');
  char* in = const_cast<char*>(text);
  std::size_t inLeft = length;
  char* dest = out.data();
  std::size_t destLeft = out.size();
  if (iconv(cd, &in, &inLeft, &dest, &destLeft) == static_cast<std::size_t>(-1) ||
      iconv(cd, nullptr, nullptr, &dest, &destLeft) == static_cast<std::size_t>(-1)) {
    out.clear();
    return false;
  }
  out.resize(out.size() - destLeft);
  return true;
}

bool IsAscii(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// Length of the well-formed UTF-8 sequence at s[0] (overlong forms,
// surrogates and code points above U+10FFFF are not), or 0.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t left) {
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < length || s[1] < low || s[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (s[i] < 0x80 || s[i] > 0xBF) return 0;
  }
  return length;
}

bool IsUtf8(const char* text, std::size_t length) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    const std::size_t step = Utf8SequenceLength(s + i, length - i);
    if (step == 0) return false;
    i += step;
  }
  return true;
}

// A text that is not valid CP932, shown character by character: a character
// with no Unicode form becomes one '?' per byte, so columns keep their width.
void AppendEachCp932Char(std::string& out, const char* text, std::size_t length) {
  std::string converted;
  for (std::size_t i = 0; i < length;) {
    const std::size_t size =
        (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length) ? 2 : 1;
    if (Cp932ToUtf8(text + i, size, converted)) {
      out += converted;
    } else {
      out.append(size, '?');
    }
    i += size;
  }
}

// Some characters have more than one Unicode form that maps to the same
// CP932 code (U+301C and U+FF5E both give 0x81 0x60, U+00A5 gives 0x5C), so
// a conversion counts only when it leads back to the very same text.
bool Utf8ToCp932RoundTrip(const char* text, std::size_t length, std::string& out) {
  std::string back;
  return Utf8ToCp932(text, length, out) && Cp932ToUtf8(out.data(), out.size(), back) &&
         back.size() == length && std::memcmp(back.data(), text, length) == 0;
}

// The code point of a well-formed UTF-8 sequence of `length` bytes.
char32_t DecodeUtf8(const unsigned char* s, std::size_t length) {
  if (length == 1) return s[0];
  char32_t code = s[0] & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code = code << 6 | (s[i] & 0x3F);
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Valid UTF-8 as tsubo's text: each character in CP932 when it comes back
// the same, else as a wide character. False when the text is not UTF-8.
bool Utf8ToInternal(const char* text, std::size_t length, std::string& out) {
  if (Utf8ToCp932RoundTrip(text, length, out)) return true;
  out.clear();
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  std::string converted;
  for (std::size_t i = 0; i < length;) {
    const std::size_t step = Utf8SequenceLength(s + i, length - i);
    if (step == 0) return false;
    if (step > 1 && Utf8ToCp932RoundTrip(text + i, step, converted)) {
      out += converted;
    } else if (step > 1) {
      AppendWideChar(out, DecodeUtf8(s + i, step));
    } else {
      out += text[i];
    }
    i += step;
  }
  return true;
}

// tsubo's text as UTF-8; false when a part of it is not CP932.
bool InternalToUtf8(std::string_view text, std::string& out) {
  out.clear();
  std::string converted;
  char32_t code = 0;
  std::size_t runStart = 0;
  auto flushRun = [&](std::size_t end) {
    if (end == runStart) return true;
    if (!Cp932ToUtf8(text.data() + runStart, end - runStart, converted)) return false;
    out += converted;
    return true;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = WideCharAt(text.substr(i), &code);
    if (length == 0) {
      ++i;
      continue;
    }
    if (!flushRun(i)) return false;
    AppendUtf8(out, code);
    i += length;
    runStart = i;
  }
  return flushRun(text.size());
}

bool LocaleNameIsUtf8(const char* name) {
  std::string lower;
  for (const char* p = name; *p; ++p) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != '-') lower += c;
  }
  return lower.find("utf8") != std::string::npos;
}

bool ChooseUtf8() {
  if (std::setlocale(LC_ALL, "") != nullptr) {
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    // Only the code set was wanted: the rest of tsubo formats numbers and
    // classifies bytes the same way whatever the user's locale.
    std::setlocale(LC_ALL, "C");
    return utf8;
  }
  // The locale named in the environment is not installed; its name still
  // says how the terminal and the file names are encoded.
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleNameIsUtf8(value);
  }
  return false;
}

}  // namespace

bool Utf8Locale() { return utf8Locale; }

bool Cp932ToUtf8(const char* text, std::size_t length, std::string& out) {
  static iconv_t cd = reinterpret_cast<iconv_t>(-1);
  return Convert("UTF-8", "CP932", cd, text, length, out);
}

bool Utf8ToCp932(const char* text, std::size_t length, std::string& out) {
  static iconv_t cd = reinterpret_cast<iconv_t>(-1);
  return Convert("CP932", "UTF-8", cd, text, length, out);
}

std::string ToExternalPath(const char* path) {
  std::string slashed(path);
  for (char* p = slashed.data(); *p; p = const_cast<char*>(CharNext(p))) {
    if (*p == '\\') *p = '/';
  }
  if (IsAscii(slashed.data(), slashed.size())) return slashed;
  // Outside a UTF-8 locale names are CP932 bytes: a wide character gets its
  // '_' form, the name the archive's classic header gives it.
  if (!utf8Locale) return Cp932FormOf(slashed);
  std::string converted;
  if (InternalToUtf8(slashed, converted)) return converted;
  return slashed;  // not CP932: the bytes go out as they are
}

bool ExternalNameToInternal(const char* name, std::string& internal) {
  std::size_t length = std::strlen(name);
  if (!utf8Locale || IsAscii(name, length)) {
    internal.assign(name, length);
  } else if (!Utf8ToInternal(name, length, internal)) {
    return false;
  }
  // In tsubo's form the name must stay one component and must not swallow
  // a separator appended to it.
  const char* p = internal.c_str();
  while (*p) {
    if (*p == '\\') return false;
    const char* next = CharNext(p);
    if (next == p + 1 && IsLeadByte(static_cast<unsigned char>(*p))) return false;
    p = next;
  }
  return true;
}

std::string ConsoleTextOfExternal(const char* text, std::size_t length) {
  if (!utf8Locale) return std::string(text, length);
  std::string shown;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    const std::size_t step = Utf8SequenceLength(s + i, length - i);
    if (step == 0) {
      shown += '?';
      ++i;
    } else {
      shown.append(text + i, step);
      i += step;
    }
  }
  return shown;
}

}  // namespace posix

void AppendConsoleText(std::string& out, std::string_view cp932) {
  if (posix::IsAscii(cp932.data(), cp932.size())) {
    out.append(cp932);
    return;
  }
  if (!posix::utf8Locale) {
    out += Cp932FormOf(cp932);
    return;
  }
  std::string converted;
  if (posix::InternalToUtf8(cp932, converted)) {
    out += converted;
  } else if (posix::IsUtf8(cp932.data(), cp932.size())) {
    out.append(cp932);  // the name it has on disk too (see ToExternalPath)
  } else {
    posix::AppendEachCp932Char(out, cp932.data(), cp932.size());
  }
}

std::string ConsoleText(std::string_view cp932) {
  std::string text;
  AppendConsoleText(text, cp932);
  return text;
}

bool PathsShownWithSlash() { return posix::utf8Locale; }

std::u16string ToUtf16(std::string_view text) {
  std::string utf8;
  if (!posix::InternalToUtf8(text, utf8)) return std::u16string();
  std::u16string utf16;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t step = posix::Utf8SequenceLength(s + i, utf8.size() - i);
    if (step == 0) return std::u16string();
    const char32_t code = posix::DecodeUtf8(s + i, step);
    if (code >= 0x10000) {
      utf16 += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      utf16 += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      utf16 += static_cast<char16_t>(code);
    }
    i += step;
  }
  return utf16;
}

bool FromUtf16(std::u16string_view utf16, std::string& text) {
  std::string utf8;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t code = utf16[i];
    if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 == utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    }
    posix::AppendUtf8(utf8, code);
  }
  return posix::Utf8ToInternal(utf8.data(), utf8.size(), text);
}

Argument ExternalToInternal(const std::string& text) {
  Argument argument{text, text};
  // Valid UTF-8 is converted; other bytes are taken as CP932 already.
  if (posix::utf8Locale && !posix::IsAscii(text.data(), text.size()) &&
      !posix::Utf8ToInternal(text.data(), text.size(), argument.text)) {
    argument.text = text;
  }
  argument.typed = posix::ConsoleTextOfExternal(text.data(), text.size());
  // 0x2F is never a CP932 trail byte, so every '/' is a separator.
  for (char& c : argument.text) {
    if (c == '/') c = '\\';
  }
  return argument;
}

std::vector<Argument> StartUp(int argc, char** argv) {
  posix::utf8Locale = posix::ChooseUtf8();
  posix::RegisterConsoleFlush();
  posix::InstallInterruptHandlers();
  std::vector<Argument> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(ExternalToInternal(argv[i]));
  return arguments;
}

}  // namespace plat

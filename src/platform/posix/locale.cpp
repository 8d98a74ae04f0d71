// The text bridge of the POSIX backend: start-up, the choice between a
// UTF-8 locale (names converted to and from CP932 with iconv) and any other
// locale (bytes unchanged), and the separator translation '\' <-> '/'.
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

// Some characters have more than one Unicode form that maps to the same
// CP932 code (U+301C and U+FF5E both give 0x81 0x60, U+00A5 gives 0x5C), so
// a conversion counts only when it leads back to the very same text.
bool Utf8ToCp932RoundTrip(const char* text, std::size_t length, std::string& out) {
  std::string back;
  return Utf8ToCp932(text, length, out) && Cp932ToUtf8(out.data(), out.size(), back) &&
         back.size() == length && std::memcmp(back.data(), text, length) == 0;
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
  if (!utf8Locale || IsAscii(slashed.data(), slashed.size())) return slashed;
  std::string converted;
  if (Cp932ToUtf8(slashed.data(), slashed.size(), converted)) return converted;
  return slashed;  // not CP932: the bytes go out as they are
}

bool ExternalNameToInternal(const char* name, std::string& internal) {
  std::size_t length = std::strlen(name);
  if (!utf8Locale || IsAscii(name, length)) {
    internal.assign(name, length);
  } else if (!Utf8ToCp932RoundTrip(name, length, internal)) {
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

}  // namespace posix

std::string ExternalToInternal(const std::string& text) {
  std::string internal;
  if (!posix::utf8Locale || posix::IsAscii(text.data(), text.size()) ||
      !posix::Utf8ToCp932RoundTrip(text.data(), text.size(), internal)) {
    internal = text;  // taken as CP932 bytes already
  }
  // 0x2F is never a CP932 trail byte, so every '/' is a separator.
  for (char& c : internal) {
    if (c == '/') c = '\\';
  }
  return internal;
}

std::vector<std::string> StartUp(int argc, char** argv) {
  posix::utf8Locale = posix::ChooseUtf8();
  posix::RegisterConsoleFlush();
  posix::InstallInterruptHandlers();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(ExternalToInternal(argv[i]));
  return arguments;
}

}  // namespace plat

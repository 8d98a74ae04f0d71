// The code page 932 character walk, shared by every backend: a lead byte
// (0x81-0x9F, 0xE0-0xFC) and the byte after it form one character, so the
// trail byte 0x5C of a character such as 0x95 0x5C is never a backslash;
// and the "wide characters" that stand for what CP932 cannot hold.
#include <cstring>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace plat {

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

const char* CharNext(const char* p) {
  if (*p == '\0') return p;
  // A lead byte at the very end stands alone: never step over the terminator.
  if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') return p + 2;
  return p + 1;
}

// CP932 is not self-synchronising, yet a byte outside the lead range always
// ends a character (it is a single byte or a trail byte). So the bytes
// between the last such byte and p-1 are lead-range bytes that pair up from
// the left, and their count tells whether p-1 is a trail byte. This gives
// exactly the result of a walk from `start` without rescanning the string.
const char* CharPrev(const char* start, const char* p) {
  if (p <= start) return start;
  const char* last = p - 1;
  const char* q = last;
  while (q > start && IsLeadByte(static_cast<unsigned char>(q[-1]))) --q;
  return ((last - q) % 2 == 1) ? last - 1 : last;
}

const char* LastChar(const char* s) { return CharPrev(s, s + std::strlen(s)); }

const char* FindLastBackslash(const char* s) {
  const char* found = nullptr;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    if (IsLeadByte(*p) && p[1] != '\0') {
      p += 2;
    } else {
      if (*p == '\\') found = reinterpret_cast<const char*>(p);
      ++p;
    }
  }
  return found;
}

void LowerCaseInPlace(char* s) {
  unsigned char* p = reinterpret_cast<unsigned char*>(s);
  while (*p) {
    if (IsLeadByte(*p) && p[1] != '\0') {
      p += 2;
    } else {
      if (*p >= 'A' && *p <= 'Z') *p = static_cast<unsigned char>(*p + ('a' - 'A'));
      ++p;
    }
  }
}

std::size_t WideCharAt(std::string_view rest, char32_t* code) {
  if (rest.empty() || rest[0] != kWideMark) return 0;
  char32_t value = 0;
  std::size_t i = 1;
  for (; i < rest.size() && i <= 7; ++i) {
    const char c = rest[i];
    if (c == kWideMark) break;
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return 0;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  const std::size_t digits = i - 1;
  if (i == rest.size() || rest[i] != kWideMark || digits < 2 || digits > 6) return 0;
  if (value < 0x80 || value > 0x10FFFF) return 0;
  *code = value;
  return i + 1;
}

void AppendWideChar(std::string& out, char32_t code) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  out += kWideMark;
  while (n > 0) out += digits[--n];
  out += kWideMark;
}

bool HasWideChars(std::string_view text) {
  char32_t code = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (WideCharAt(text.substr(i), &code) != 0) return true;
  }
  return false;
}

std::string Cp932FormOf(std::string_view text) {
  std::string form;
  char32_t code = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = WideCharAt(text.substr(i), &code);
    if (length != 0) {
      form += '_';
      i += length;
    } else {
      form += text[i++];
    }
  }
  return form;
}

}  // namespace plat

// Names in header fields: the path separator is stored as the byte 0xFF.
#include "archive/header_names.h"

#include "archive/entry.h"
#include "platform/platform.h"

std::size_t EncodeNameForHeader(char* destination, std::size_t capacity, const char* source) {
  // Character by character: a 0x5C that trails a lead byte is not a separator.
  std::size_t length = 0;
  const char* p = source;
  while (*p != '\0') {
    const char* next = plat::CharNext(p);
    const std::size_t width = static_cast<std::size_t>(next - p);
    if (length + width > capacity) break;  // never split a character
    if (width == 1 && *p == '\\') {
      destination[length++] = static_cast<char>(0xFF);
    } else {
      for (const char* q = p; q < next; ++q) destination[length++] = *q;
    }
    p = next;
  }
  if (length < capacity) destination[length] = '\0';
  return length;
}

void DecodeNameFromHeader(char* destination, const char* source, std::size_t count) {
  // Byte by byte: 0xFF is never part of a CP932 character.
  if (count > kPathSize - 1) count = kPathSize - 1;
  std::size_t i = 0;
  for (; i < count && source[i] != '\0'; ++i) {
    destination[i] = static_cast<unsigned char>(source[i]) == 0xFF ? '\\' : source[i];
  }
  destination[i] = '\0';
}

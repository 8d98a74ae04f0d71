// STUB: replaced by the platform work.
#include "platform/platform.h"
namespace plat {
bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
const char* CharNext(const char* p) { return *p ? p + 1 : p; }
const char* CharPrev(const char* start, const char* p) { return p > start ? p - 1 : start; }
const char* LastChar(const char* s) { return s; }
const char* FindLastBackslash(const char*) { return nullptr; }
void LowerCaseInPlace(char*) {}
}  // namespace plat

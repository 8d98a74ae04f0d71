// STUB: replaced by the POSIX backend.
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/internal.h"
namespace plat {
bool FindFiles(const char*, std::vector<FindData>&, std::vector<std::string>*) { return false; }
void ConsoleWrite(Stream s, const char* b, std::size_t n) {
  fwrite(b, 1, n, s == Stream::Out ? stdout : stderr);
}
void FlushConsole() { fflush(stdout); }
int ReadInputChar() { return getchar(); }
void DiscardPendingInput() {}
namespace posix {
void RegisterConsoleFlush() {}
}  // namespace posix
}  // namespace plat

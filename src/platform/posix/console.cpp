// The console of the POSIX backend: buffered output of console text (made by
// ConsoleText, written unchanged) and byte-wise standard input with the
// discarding of typed-ahead answers.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {

constexpr std::size_t kBufferSize = 65536;

struct Channel {
  int fd;
  std::size_t used;
  char buffer[kBufferSize];
};

Channel out = {1, 0, {}};
Channel err = {2, 0, {}};

unsigned char input[4096];
std::size_t inputPos = 0;
std::size_t inputEnd = 0;
int lastHandedOut = '\n';  // nothing read yet counts as a finished line

void WriteAll(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t n = write(fd, bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere to report a console that cannot be written
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
}

void Drain(Channel& channel) {
  WriteAll(channel.fd, channel.buffer, channel.used);
  channel.used = 0;
}

void Append(Channel& channel, const char* bytes, std::size_t count) {
  while (count > 0) {
    if (channel.used == kBufferSize) Drain(channel);
    std::size_t piece = std::min(count, kBufferSize - channel.used);
    std::memcpy(channel.buffer + channel.used, bytes, piece);
    channel.used += piece;
    bytes += piece;
    count -= piece;
  }
}

void FlushAtExit() { FlushConsole(); }

bool FillInput() {
  for (;;) {
    ssize_t n = read(0, input, sizeof input);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    inputPos = 0;
    inputEnd = static_cast<std::size_t>(n);
    return true;
  }
}

}  // namespace

namespace posix {

void RegisterConsoleFlush() {
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(FlushAtExit);
  }
}

}  // namespace posix

void ConsoleWrite(Stream stream, const char* bytes, std::size_t count) {
  posix::RegisterConsoleFlush();
  if (stream == Stream::Out) {
    Append(out, bytes, count);
    // A terminal sees each line when it is printed, as a person expects
    // and so that an interrupt loses nothing already reported.
    static const bool terminal = isatty(out.fd);
    if (terminal && std::memchr(bytes, '\n', count) != nullptr) Drain(out);
    return;
  }
  // Standard error is not buffered, and what was printed before it comes
  // first, as it would on a console.
  Drain(out);
  Append(err, bytes, count);
  Drain(err);
}

bool IsTerminal(Stream stream) { return isatty(stream == Stream::Out ? 1 : 2) == 1; }

void FlushConsole() {
  Drain(out);
  Drain(err);
}

int ReadInputChar() {
  FlushConsole();  // the question is on screen before the answer is read
  if (inputPos == inputEnd && !FillInput()) return -1;
  lastHandedOut = input[inputPos++];
  return lastHandedOut;
}

void DiscardPendingInput() {
  if (isatty(0)) {
    tcflush(0, TCIFLUSH);
    inputPos = inputEnd = 0;
    lastHandedOut = '\n';
    return;
  }
  // A pipe holds the answers of a script: drop only the rest of the line
  // whose first part was read.
  while (lastHandedOut != '\n') {
    if (inputPos == inputEnd && !FillInput()) return;
    lastHandedOut = input[inputPos++];
  }
}

}  // namespace plat

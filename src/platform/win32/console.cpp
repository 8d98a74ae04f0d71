// Console output and one-character input. A real console gets UTF-16
// through WriteConsoleW/ReadConsoleW, so Japanese is readable whatever its
// code page; a pipe or a file gets and gives the CP932 bytes unchanged.
#include <cstdlib>

#include "platform/win32/win32.h"

namespace plat {
namespace {

struct StdStream {
  DWORD which;
  bool known = false;
  bool console = false;
  HANDLE handle = nullptr;
};

StdStream stdOut{STD_OUTPUT_HANDLE};
StdStream stdErr{STD_ERROR_HANDLE};
StdStream stdIn{STD_INPUT_HANDLE};

StdStream& Resolve(StdStream& stream) {
  if (!stream.known) {
    stream.handle = GetStdHandle(stream.which);
    DWORD mode = 0;
    stream.console = stream.handle && stream.handle != INVALID_HANDLE_VALUE &&
                     GetConsoleMode(stream.handle, &mode);
    stream.known = true;
  }
  return stream;
}

void WriteBytes(StdStream& stream, const char* bytes, std::size_t count) {
  Resolve(stream);
  if (!stream.handle || stream.handle == INVALID_HANDLE_VALUE || count == 0) return;
  if (stream.console) {
    std::wstring wide = win32::ToWide(bytes, count);
    const wchar_t* p = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
      DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192);
      DWORD done = 0;
      if (!WriteConsoleW(stream.handle, p, chunk, &done, nullptr) || done == 0) return;
      p += done;
      left -= done;
    }
    return;
  }
  while (count > 0) {
    DWORD chunk = static_cast<DWORD>(count < 65536 ? count : 65536);
    DWORD done = 0;
    if (!::WriteFile(stream.handle, bytes, chunk, &done, nullptr) || done == 0) return;
    bytes += done;
    count -= done;
  }
}

// Standard output is buffered as the C library buffers it; standard error is not.
std::string outBuffer;
bool flushAtExit = false;

// Standard input, read ahead a buffer at a time.
std::string inBuffer;
std::size_t inPos = 0;
bool inEnded = false;
bool lineOpen = false;  // a line has been read in part, its end not yet

bool FillInput() {
  if (inEnded) return false;
  Resolve(stdIn);
  inBuffer.clear();
  inPos = 0;
  if (stdIn.console) {
    wchar_t wide[512];
    DWORD got = 0;
    if (!ReadConsoleW(stdIn.handle, wide, 512, &got, nullptr) || got == 0) {
      inEnded = true;
      return false;
    }
    // Ctrl+Z at the start of a line is the end of console input.
    if (wide[0] == 0x1A) {
      inEnded = true;
      return false;
    }
    inBuffer = win32::ToCp932(wide, got);
  } else {
    char bytes[4096];
    DWORD got = 0;
    if (!::ReadFile(stdIn.handle, bytes, sizeof bytes, &got, nullptr) || got == 0) {
      inEnded = true;
      return false;
    }
    inBuffer.assign(bytes, got);
  }
  return !inBuffer.empty();
}

int NextByte() {
  if (inPos >= inBuffer.size() && !FillInput()) return -1;
  return static_cast<unsigned char>(inBuffer[inPos++]);
}

// Writes out the buffer of standard output. On a console, unless `all`, a
// lead byte at its end waits for its trail byte, so that no character is
// split between two conversions.
void Drain(bool all) {
  if (outBuffer.empty()) return;
  std::size_t complete = outBuffer.size();
  if (!all && Resolve(stdOut).console) {
    std::size_t i = 0;
    while (i < outBuffer.size()) {
      if (!IsLeadByte(static_cast<unsigned char>(outBuffer[i]))) {
        ++i;
      } else if (i + 1 < outBuffer.size()) {
        i += 2;
      } else {
        complete = i;
        break;
      }
    }
  }
  std::string pending = outBuffer.substr(0, complete);
  outBuffer.erase(0, complete);
  WriteBytes(stdOut, pending.data(), pending.size());
}

}  // namespace

// Console text is CP932 with '\' here: WriteBytes turns it into UTF-16 for
// a console, and pipes and files get the bytes.
std::string ConsoleText(std::string_view cp932) { return std::string(cp932); }
void AppendConsoleText(std::string& out, std::string_view cp932) { out.append(cp932); }
bool PathsShownWithSlash() { return false; }

void FlushConsole() { Drain(true); }

bool IsTerminal(Stream stream) { return Resolve(stream == Stream::Out ? stdOut : stdErr).console; }

void ConsoleWrite(Stream stream, const char* bytes, std::size_t count) {
  if (!flushAtExit) {
    std::atexit(FlushConsole);
    flushAtExit = true;
  }
  // A console shows wide characters as themselves; a pipe or a file gets
  // CP932 bytes, so each becomes the '_' of the archive's classic name.
  if (!IsTerminal(stream) && HasWideChars(std::string_view(bytes, count))) {
    const std::string form = Cp932FormOf(std::string_view(bytes, count));
    ConsoleWrite(stream, form.data(), form.size());
    return;
  }
  if (stream == Stream::Err) {
    FlushConsole();
    WriteBytes(stdErr, bytes, count);
    return;
  }
  outBuffer.append(bytes, count);
  if (outBuffer.size() >= 4096) Drain(false);
}

int ReadInputChar() {
  FlushConsole();
  int c = NextByte();
  // CR LF reads as LF, as the C library's text mode gives it.
  if (c == '\r') {
    if (inPos < inBuffer.size() || FillInput()) {
      if (inBuffer[inPos] == '\n') c = NextByte();
    }
  }
  lineOpen = c != -1 && c != '\n';
  return c;
}

void DiscardPendingInput() {
  Resolve(stdIn);
  if (stdIn.console) {
    FlushConsoleInputBuffer(stdIn.handle);
    inBuffer.clear();
    inPos = 0;
  } else {
    while (lineOpen) {
      int c = NextByte();
      lineOpen = c != -1 && c != '\n';
    }
  }
  lineOpen = false;
}

}  // namespace plat

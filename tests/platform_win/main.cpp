// Entry point of the Win32 platform tests. Run with "--child <mode>" the
// program is the child process that some tests start, to see the layer's
// start-up, console and sharing behaviour from outside.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

void Print(const std::string& text) {
  plat::ConsoleWrite(plat::Stream::Out, text.data(), text.size());
}

// Each argument after the program name, as CP932 bytes, one per line.
int ChildArgs(int argc, char** argv) {
  std::vector<plat::Argument> args = plat::StartUp(argc, argv);
  for (const plat::Argument& arg : args) Print("<" + arg.text + ">\n");
  return 0;
}

// Echoes standard input one character at a time as "[c]"; after a 'd' the
// rest of the line is thrown away and "|" is printed.
int ChildInput() {
  Print("?");
  for (;;) {
    int c = plat::ReadInputChar();
    if (c < 0) break;
    Print("[" + std::string(1, static_cast<char>(c)) + "]");
    if (c == 'd') {
      plat::DiscardPendingInput();
      Print("|");
    }
  }
  Print("$");
  return 0;  // the exit flushes what is still buffered
}

// Standard output is written out before anything goes to standard error.
int ChildStreams() {
  Print("out1 ");
  plat::ConsoleWrite(plat::Stream::Err, "err ", 4);
  Print("out2 ");
  std::string big(10000, 'x');
  Print(big);
  plat::ConsoleWrite(plat::Stream::Err, "end", 3);
  return 3;
}

// Holds `path` open without sharing until a line arrives on standard input.
int ChildHold(const char* path) {
  plat::FileHandle file = plat::OpenFile(path, plat::Access::ReadWrite, plat::Share::None,
                                         plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) {
    Print("cannot open\n");
    return 1;
  }
  Print("held\n");
  plat::FlushConsole();
  while (plat::ReadInputChar() >= 0) {
  }
  plat::CloseFile(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    if (std::strcmp(argv[2], "args") == 0) return ChildArgs(argc, argv);
    if (std::strcmp(argv[2], "input") == 0) return ChildInput();
    if (std::strcmp(argv[2], "streams") == 0) return ChildStreams();
    if (std::strcmp(argv[2], "hold") == 0 && argc >= 4) return ChildHold(argv[3]);
    return 99;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

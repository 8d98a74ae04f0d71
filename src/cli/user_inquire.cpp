// The console questions: unsafe member paths, overwriting, and whether to go
// on after an error.
#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

namespace {

// Reads an answer the way scanf("%1s") does: blanks and line ends are
// skipped, one character is taken, the rest of the line stays for the next
// question. -1 at the end of input.
int ReadAnswer() {
  plat::FlushConsole();
  for (;;) {
    int c = plat::ReadInputChar();
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') return c;
  }
}

void Answer(int* yes, int* all) {
  int c = ReadAnswer();
  if (c == 'y' || c == 'Y') {
    *yes = 1;
  } else if (c == 'a' || c == 'A') {
    *yes = 1;
    *all = 1;
  }
}

}  // namespace

void CUserInquireEvent::AskExtractPath(const char* name, int* yes, int* all) {
  Printf(msg::kMsgAskExtractPath, ShownName(name).c_str());
  Answer(yes, all);
}

void CUserInquireEvent::AskOverwrite(const char* name, int* yes, int* all) {
  Printf(msg::kMsgAskOverwrite, ShownName(name).c_str());
  Answer(yes, all);
}

int AskContinue() {
  plat::DiscardPendingInput();
  Printf(msg::kMsgAskContinue);
  plat::FlushConsole();
  int c = plat::ReadInputChar();
  return (c == 'y' || c == 'Y') ? 1 : 0;
}

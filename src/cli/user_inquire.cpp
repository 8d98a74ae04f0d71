// The console questions: unsafe member paths, overwriting, and whether to go
// on after an error.
#include <algorithm>
#include <cstdio>
#include <string>

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

namespace {

// A member shows its progress once it has taken this long, and the line is
// rewritten at most this often.
constexpr std::uint32_t kProgressDelay = 1000;  // milliseconds
constexpr std::uint32_t kProgressInterval = 200;
// The name takes at most this many bytes of the line.
constexpr std::size_t kProgressName = 40;

// The first characters of a CP932 name, at most `limit` bytes of it.
std::string Leading(const std::string& name, std::size_t limit) {
  const char* p = name.c_str();
  while (*p != '\0') {
    const char* next = plat::CharNext(p);
    if (static_cast<std::size_t>(next - name.c_str()) > limit) break;
    p = next;
  }
  return name.substr(0, static_cast<std::size_t>(p - name.c_str()));
}

}  // namespace

CUserInquireEvent::CUserInquireEvent(int quietLevel)
    : showProgress_(quietLevel == 0 && plat::IsTerminal(plat::Stream::Err)) {}

void CUserInquireEvent::Progress(const char* name, std::uint64_t done, std::uint64_t total,
                                 bool finished) {
  if (!showProgress_) return;
  const std::uint32_t now = plat::TickCount();
  if (finished) {
    if (shownLength_ > 0) {
      const std::string blank = "\r" + std::string(shownLength_, ' ') + "\r";
      plat::ConsoleWrite(plat::Stream::Err, blank.data(), blank.size());
    }
    member_.clear();
    shownLength_ = 0;
    return;
  }
  if (member_.empty()) {
    member_ = name;
    start_ = shownAt_ = now;
    return;
  }
  if (now - start_ < kProgressDelay || now - shownAt_ < kProgressInterval) return;
  shownAt_ = now;
  const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
  const double seconds = (now - start_) / 1000.0;
  char figures[48];
  std::snprintf(figures, sizeof figures, "  %3u%%  %.1f MB/s", percent,
                static_cast<double>(done) / 1e6 / seconds);
  std::string line = "\r" + ShownName(Leading(member_, kProgressName)) + figures;
  // What is left of a longer line before is covered with blanks.
  const std::size_t length = line.size() - 1;
  if (length < shownLength_) line.append(shownLength_ - length, ' ');
  shownLength_ = std::max(shownLength_, length);
  plat::ConsoleWrite(plat::Stream::Err, line.data(), line.size());
}

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

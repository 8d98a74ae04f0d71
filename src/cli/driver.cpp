// The main sequence of one run: parse, open, run one command, commit, and
// turn the outcome into messages and the exit code.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "archive/status.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "cli/status_messages.h"
#include "platform/platform.h"

namespace {

constexpr int kMostThreads = 64;

// The threads that decode and compress: TSUBO_THREADS when it holds a
// number from 1 on, else one per core.
int ThreadCount() {
  const char* value = std::getenv("TSUBO_THREADS");
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end == '\0' && n >= 1) return static_cast<int>(n < kMostThreads ? n : kMostThreads);
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores < kMostThreads ? cores : kMostThreads);
}

int RunCommand(int command, const Options& options, CLha& archive) {
  switch (command) {
    case 1:
      return RunExtract(options, archive);
    case 2:
      return RunAdd(options, archive);
    case 3:
      return RunDelete(options, archive);
    default:
      return ListArchive(archive, options);
  }
}

}  // namespace

int TsuboMain(int argc, char** argv) {
  const std::uint32_t start = plat::TickCount();
  // Chosen before anything is printed, so a terminal sees the help screen
  // in its own encoding too.
  const std::vector<plat::Argument> args = plat::StartUp(argc, argv);
  plat::SetInterruptMessage((std::string(msg::kMsgErrorPrefix) + msg::kMsgInterrupted).c_str());
  if (argc < 2) {
    PrintHelp();
    plat::FlushConsole();
    return 2;
  }

  Options options;
  SetDefaultOptions(options);
  const int command = ParseCommandLine(args, options);
  if (command < 0) {
    if (command != kParseStopped) Printf(msg::kMsgBadCommandLine);
    plat::FlushConsole();
    return 2;
  }
  Printf(msg::kMsgArchiveFile, ShownName(options.archiveName).c_str());
  options.archive.threads = ThreadCount();

  CUserInquireEvent inquire(options.quietLevel);
  CLha archive(options.archive, &inquire);
  StatusCode opened = archive.Open(options.archiveName.c_str(), false);
  // Only add, update and freshen can start a new archive.
  if (!Opened(opened) && command == 2) opened = archive.Open(options.archiveName.c_str(), true);
  if (opened != kStatusOk) ReportOpenStatus(opened);
  if (!Opened(opened)) {
    plat::FlushConsole();
    return 2;  // no runner runs and nothing is committed
  }

  int result = RunCommand(command, options, archive);
  // A commit that fails leaves the old archive in place; the run must not
  // look successful then.
  const StatusCode committed = archive.CloseAndCommit();
  if (committed != kStatusOk) {
    PrintError(msg::kMsgInternalError, static_cast<int>(committed));
    result = 2;
  }

  const std::uint32_t end = plat::TickCount();
  if (options.showTime) Printf(msg::kMsgElapsed, static_cast<unsigned>((end - start) / 1000u));
  plat::FlushConsole();
  return result;
}

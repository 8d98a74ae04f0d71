// The main sequence of one run: parse, open, run one command, commit, and
// turn the outcome into messages and the exit code.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/status.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

namespace {

// The message for an archive that could not be opened.
void ReportOpenFailure(std::int32_t status) {
  switch (status) {
    case kStatusCannotCreateSfx:
      PrintError(msg::kMsgCannotCreateSfx);
      break;
    case kStatusCannotOpen:
      PrintError(msg::kMsgCannotOpenArchive);
      break;
    case kStatusBadHeader:
      PrintError(msg::kMsgBadHeader);
      break;
    case kStatusUnknownLevel:
      PrintError(msg::kMsgUnknownHeader);
      break;
    default:
      PrintError(msg::kMsgInternalError, static_cast<int>(status));
      break;
  }
}

int RunCommand(int command) {
  switch (command) {
    case 1:
      return RunExtract();
    case 2:
      return RunAdd();
    case 3:
      return RunDelete();
    default:
      return ListArchive(frontEnd.archiveName, frontEnd.listWithDirs, frontEnd.quietLevel);
  }
}

void ReleaseNameLists() {
  std::vector<std::string>().swap(frontEnd.fileNames);
  std::vector<std::string>().swap(frontEnd.storeOnlyPatterns);
}

// Ends a run that stopped before its command: the objects go, nothing is
// committed.
int Abandon(CUserInquireEvent* inquire, CLha* archive, int code) {
  ReleaseNameLists();
  delete inquire;
  delete archive;
  frontEnd.archive = nullptr;
  plat::FlushConsole();
  return code;
}

}  // namespace

int TsuboMain(int argc, char** argv) {
  const std::uint32_t start = plat::TickCount();
  // Chosen before anything is printed, so a terminal sees the help screen
  // in its own encoding too.
  std::vector<std::string> args = plat::StartUp(argc, argv);
  plat::SetInterruptMessage((std::string(msg::kMsgErrorPrefix) + msg::kMsgInterrupted).c_str());
  if (argc < 2) {
    PrintHelp();
    plat::FlushConsole();
    return 2;
  }

  CLha* archive = new CLha;
  CUserInquireEvent* inquire = new CUserInquireEvent;
  archive->SetInquireEvent(inquire);
  frontEnd.archive = archive;
  SetDefaultOptions();

  const int command = ParseCommandLine(args);
  if (command < 0) {
    Printf(msg::kMsgBadCommandLine);
    return Abandon(inquire, archive, 2);
  }
  Printf(msg::kMsgArchiveFile, ShownName(frontEnd.archiveName).c_str());

  bool opened = archive->Open(frontEnd.archiveName, false);
  if (!opened && command == 2) opened = archive->Open(frontEnd.archiveName, true);
  if (!opened) {
    ReportOpenFailure(archive->status);
    return Abandon(inquire, archive, 2);
  }
  if (archive->status == kStatusNoEndMark) Printf(msg::kMsgWarnNoEndMark);
  if (archive->status == kStatusHeaderCrcWarning) Printf(msg::kMsgWarnHeaderCrc);

  int result = RunCommand(command);
  // A commit that fails leaves the old archive in place; the run must not
  // look successful then.
  if (!archive->CloseAndCommit()) {
    PrintError(msg::kMsgInternalError, static_cast<int>(archive->status));
    result = 2;
  }
  ReleaseNameLists();

  const std::uint32_t end = plat::TickCount();
  if (frontEnd.showTime) Printf(msg::kMsgElapsed, static_cast<unsigned>((end - start) / 1000u));

  delete inquire;
  delete archive;
  frontEnd.archive = nullptr;
  plat::FlushConsole();
  return result;
}

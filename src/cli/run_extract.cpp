// The runner of the commands e, x and t: extracts or tests every selected
// member in directory order, reports each one and the totals, and decides
// the exit code.
#include <cstring>

#include "archive/status.h"
#include "cli/frontend.h"
#include "cli/messages.h"

namespace {

bool IsDirectoryMember(const ArchiveEntry& entry) {
  return std::memcmp(entry.method, "-lhd-", 5) == 0;
}

// The per-member line; failures that print nothing here are reported (or
// not) by the error handling of the runner.
void PrintMemberLine(const char* path, bool ok, int status, bool testing, bool directory) {
  if (testing) {
    if (ok) {
      Printf("Test OK %s\n", path);
    } else if (status == kStatusUnsupportedMethod) {
      Printf(msg::kMsgSkippedUnsupported, path);
    } else {
      Printf("Test NG %s\n", path);
    }
    return;
  }
  if (ok) {
    Printf(directory ? "Created Directory %s\n" : "Extracted %s\n", path);
    return;
  }
  switch (status) {
    case kStatusAttributeSkip:
      Printf(msg::kMsgSkippedExtractAttr, path);
      break;
    case kStatusUnsafePath:
      Printf(msg::kMsgSkippedUnsafePath, path);
      break;
    case kStatusNotNewer:
      if (!directory) Printf(msg::kMsgSkippedNewer, path);
      break;
    case kStatusUnsupportedMethod:
      if (!directory) Printf(msg::kMsgSkippedUnsupported, path);
      break;
    default:
      break;
  }
}

// After a CRC or data error: true to go on with the next member.
bool MayContinue(const CLha& archive) { return archive.noConfirm || AskContinue(); }

}  // namespace

int RunExtract() {
  CLha& archive = *frontEnd.archive;
  int total = 0;
  int ng = 0;
  int result = 0;
  for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
    ArchiveEntry& entry = archive.entries[i];
    std::string path = StoredPath(entry);
    if (!IsSelected(path.c_str())) continue;
    bool directory = IsDirectoryMember(entry);
    bool ok = archive.ExtractEntry(entry);
    int status = archive.status;
    if (frontEnd.quietLevel < 2) {
      PrintMemberLine(ShownName(path).c_str(), ok, status, archive.testMode != 0, directory);
    }
    ++total;
    if (ok) continue;
    switch (status) {
      case kStatusCrcError:
        PrintError(msg::kMsgCrcError);
        ++ng;
        result = 1;
        if (!MayContinue(archive)) return 2;
        break;
      case kStatusDataError:
        PrintError(msg::kMsgHuffmanError);
        ++ng;
        result = 2;
        if (!MayContinue(archive)) return 2;
        break;
      case kStatusUnsupportedMethod:
      case kStatusPathTooLong:  // reported on standard error when refused
        ++ng;
        break;
      case kStatusAttributeSkip:
      case kStatusNotNewer:
      case kStatusUnsafePath:
      case kStatusDirectoryNotUsed:
        break;
      default:
        PrintError(msg::kMsgInternalError, status);
        return 2;
    }
  }
  if (frontEnd.quietLevel < 2) {
    Printf("\n");
    if (ng > 0) {
      Printf("Total %d files NG %d files\n", total, ng);
    } else {
      Printf("Total %d files No errors\n", total);
    }
  }
  return result;
}

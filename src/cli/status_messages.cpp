// The status table: for each status code, what the console says where it is
// met. Codes without a row, or without words for a place, are internal
// errors there ("内部エラー [%d]").
#include "cli/status_messages.h"

#include "cli/frontend.h"
#include "cli/messages.h"

namespace {

struct StatusWords {
  StatusCode code;
  const char* opening;      // the archive cannot be opened (standard error)
  const char* stopping;     // a run stops (standard error; %s: the file)
  const char* addSkip;      // the add runner skips the file ("" silently)
  const char* extractSkip;  // a file member is skipped (%s: its path)
  bool directoriesToo;      // ... and a directory member with the same line
  ExtractOutcome extract;
  const char* extractError;  // after the member's line (standard error)
};

constexpr ExtractOutcome kStop = ExtractOutcome::kStop;
constexpr ExtractOutcome kDone = ExtractOutcome::kDone;

// clang-format off
constexpr StatusWords kTable[] = {
  {kStatusOk,                nullptr,                     nullptr,                  nullptr,                 nullptr,                     false, kDone, nullptr},
  {kStatusCannotCreateSfx,   msg::kMsgCannotCreateSfx,    nullptr,                  nullptr,                 nullptr,                     false, kStop, nullptr},
  {kStatusCannotOpen,        msg::kMsgCannotOpenArchive,  msg::kMsgCannotOpenArchive, nullptr,               nullptr,                     false, kStop, nullptr},
  {kStatusDataError,         nullptr,                     nullptr,                  nullptr,                 nullptr,                     false, ExtractOutcome::kDataError, msg::kMsgHuffmanError},
  {kStatusUnsupportedMethod, nullptr,                     nullptr,                  nullptr,                 msg::kMsgSkippedUnsupported, false, ExtractOutcome::kFailed, nullptr},
  {kStatusBadHeader,         msg::kMsgBadHeader,          nullptr,                  nullptr,                 nullptr,                     false, kStop, nullptr},
  {kStatusCrcError,          nullptr,                     nullptr,                  nullptr,                 nullptr,                     false, ExtractOutcome::kCrcError, msg::kMsgCrcError},
  {kStatusAttributeSkip,     nullptr,                     nullptr,                  msg::kMsgSkippedAddAttr, msg::kMsgSkippedExtractAttr, true,  kDone, nullptr},
  {kStatusNotNewer,          nullptr,                     nullptr,                  "",                      msg::kMsgSkippedNewer,       false, kDone, nullptr},
  {kStatusUnknownLevel,      msg::kMsgUnknownHeader,      nullptr,                  nullptr,                 nullptr,                     false, kStop, nullptr},
  {kStatusUnsafePath,        nullptr,                     nullptr,                  nullptr,                 msg::kMsgSkippedUnsafePath,  true,  kDone, nullptr},
  {kStatusDirectoryNotUsed,  nullptr,                     nullptr,                  nullptr,                 nullptr,                     false, kDone, nullptr},
  {kStatusPathTooLong,       nullptr,                     nullptr,                  nullptr,                 nullptr,                     false, ExtractOutcome::kFailed, msg::kMsgExtractPathTooLong},
  {kStatusSfxNotWritable,    nullptr,                     msg::kMsgCannotModifySfx, nullptr,                 nullptr,                     false, kStop, nullptr},
  {kStatusNotAMember,        nullptr,                     msg::kMsgFileNotFound,    nullptr,                 nullptr,                     false, kStop, nullptr},
  {kStatusFileTooLarge,      nullptr,                     msg::kMsgFileTooLarge,    nullptr,                 nullptr,                     false, kStop, nullptr},
};
// clang-format on

const StatusWords& WordsFor(StatusCode status) {
  static constexpr StatusWords kInternal = {kStatusOk, nullptr, nullptr, nullptr,
                                            nullptr,   false,   kStop,   nullptr};
  for (const StatusWords& row : kTable) {
    if (row.code == status) return row;
  }
  return kInternal;
}

// The number an internal error shows: a member whose data cannot be
// positioned is reported as 0.
int ShownCode(StatusCode status) { return status == kStatusMemberUnreachable ? 0 : status; }

void InternalError(StatusCode status) { PrintError(msg::kMsgInternalError, ShownCode(status)); }

}  // namespace

void ReportOpenStatus(StatusCode status) {
  if (status == kStatusNoEndMark) {
    Printf(msg::kMsgWarnNoEndMark);
  } else if (status == kStatusHeaderCrcWarning) {
    Printf(msg::kMsgWarnHeaderCrc);
  } else if (const char* words = WordsFor(status).opening) {
    PrintError(words);
  } else {
    InternalError(status);
  }
}

void ReportStop(StatusCode status, const std::string& name) {
  const char* words = WordsFor(status).stopping;
  if (status == kStatusNotAMember) {
    Printf(words);  // on standard output, without the error prefix
  } else if (words != nullptr) {
    PrintError(words, ShownName(name).c_str());
  } else {
    InternalError(status);
  }
}

bool ReportAddSkip(StatusCode status, const std::string& name, int quietLevel) {
  const char* words = WordsFor(status).addSkip;
  if (words == nullptr) return false;
  if (*words != '\0' && quietLevel < 2) Printf(words, ShownName(name).c_str());
  return true;
}

ExtractOutcome ReportExtracted(StatusCode status, const std::string& path,
                               const std::string& memberPath, bool testing, bool directory,
                               int quietLevel) {
  const StatusWords& words = WordsFor(status);
  if (quietLevel < 2) {
    const std::string shown = ShownName(path);
    if (testing) {
      const char* line = status == kStatusOk                  ? "Test OK %s\n"
                         : status == kStatusUnsupportedMethod ? msg::kMsgSkippedUnsupported
                                                              : "Test NG %s\n";
      Printf(line, shown.c_str());
    } else if (status == kStatusOk) {
      Printf(directory ? "Created Directory %s\n" : "Extracted %s\n", shown.c_str());
    } else if (words.extractSkip != nullptr && (!directory || words.directoriesToo)) {
      Printf(words.extractSkip, shown.c_str());
    }
  }
  if (words.extract == kStop) {
    InternalError(status);
  } else if (words.extractError != nullptr) {
    PrintError(words.extractError, ShownName(memberPath).c_str());
  }
  return words.extract;
}

// The one table that turns a status code into what the console says, for
// each place where a status is met: opening the archive, a run that stops,
// and the per-member lines and errors of extraction.
#pragma once

#include <string>

#include "archive/status.h"

// The archive could not be opened (status is not Opened()): the error line;
// or, for the warnings that leave it open, their line on standard output.
void ReportOpenStatus(StatusCode status);
// The add or delete runner stops on `status` while handling `name`.
void ReportStop(StatusCode status, const std::string& name);
// The add runner skips a file silently or with a line; false when the
// status stops the run.
bool ReportAddSkip(StatusCode status, const std::string& name, int quietLevel);

// How the extract runner goes on after a member.
enum class ExtractOutcome {
  kDone,       // extracted, tested or skipped: counted, not failed
  kFailed,     // counted as failed (NG), the run goes on
  kCrcError,   // failed; the exit code becomes 1; ask whether to go on
  kDataError,  // failed; the exit code becomes 2; ask whether to go on
  kStop,       // an internal error: the run stops with exit code 2
};
// Prints the member's line (unless quiet) and its error line, and says how
// the run goes on. `path` is the stored path as shown, `memberPath` the
// member's full path (for the long-path error).
ExtractOutcome ReportExtracted(StatusCode status, const std::string& path,
                               const std::string& memberPath, bool testing, bool directory,
                               int quietLevel);

// The runner of the commands e, x and t: extracts or tests every selected
// member in directory order, reports each one and the totals, and decides
// the exit code.
#include <vector>

#include "archive/member_path.h"
#include "cli/frontend.h"
#include "cli/status_messages.h"

int RunExtract(const Options& options, CLha& archive) {
  // The selected members, in order: their data may be decoded ahead.
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < archive.entries().size(); ++i) {
    if (IsSelected(options, StoredPath(archive.entries()[i]).c_str())) selected.push_back(i);
  }
  archive.PlanExtraction(selected);
  int total = 0;
  int ng = 0;
  int result = 0;
  for (const std::size_t index : selected) {
    const ArchiveEntry entry = archive.entries()[index];
    const std::string path = StoredPath(entry);
    const StatusCode status = archive.ExtractEntry(entry);
    const ExtractOutcome outcome =
        ReportExtracted(status, path, MemberPath(entry), options.archive.testMode,
                        IsDirectoryMember(entry), options.quietLevel);
    if (outcome == ExtractOutcome::kStop) return 2;
    ++total;
    if (outcome == ExtractOutcome::kDone) continue;
    ++ng;
    if (outcome == ExtractOutcome::kFailed) continue;
    result = outcome == ExtractOutcome::kCrcError ? 1 : 2;
    // After a CRC or data error the user may stop the run.
    if (!archive.noConfirm() && !AskContinue()) return 2;
  }
  if (options.quietLevel < 2) {
    Printf("\n");
    if (ng > 0) {
      Printf("Total %d files NG %d files\n", total, ng);
    } else {
      Printf("Total %d files No errors\n", total);
    }
  }
  return result;
}

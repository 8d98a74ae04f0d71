// The runners that change an archive: RunAdd (commands a, u, f) adds the
// collected files one by one, RunDelete (command d) removes the selected
// members. Each turns the archive object's status into console lines and
// the exit code.
#include <deque>
#include <string>
#include <vector>

#include "archive/member_path.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "cli/status_messages.h"

int RunAdd(const Options& options, CLha& archive) {
  const bool verbose = options.quietLevel < 2;
  // Files are queued in order (their compression may run ahead on other
  // threads) and reported in the same order as their members are written.
  std::deque<std::string> queued;
  const auto report = [&](std::size_t keep) {
    while (queued.size() > keep) {
      const StatusCode status = archive.NextAdded();
      const std::string name = std::move(queued.front());
      queued.pop_front();
      if (status == kStatusOk) {
        if (verbose) Printf("Added %s\n", ShownName(name).c_str());
      } else if (!ReportAddSkip(status, name, options.quietLevel)) {
        if (verbose) ReportStop(status, name);
        return false;
      }
    }
    return true;
  };
  for (const std::string& name : options.fileNames) {
    const std::string path = name.starts_with('\\') ? name : options.baseDirectory + name;
    const std::uint32_t attributes = plat::GetFileAttributes(path.c_str());
    if (attributes == plat::kInvalidAttributes) continue;  // gone: skipped silently
    const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
    // Without directory parts a directory would become a member with an
    // empty path; there is nothing to store for it.
    if (isDirectory && !options.archive.useDirs) continue;
    // A directory found by -d is added as it is; store-only patterns are
    // for files.
    const bool storeOnly =
        options.archive.storeOnly ||
        (!(isDirectory && options.storeDirEntries) && IsStoreOnly(options, path.c_str()));
    archive.QueueFile(name.c_str(), storeOnly);
    queued.push_back(name);
    if (!report(archive.QueueWindow() - 1)) return 2;
  }
  return report(0) ? 0 : 2;
}

int RunDelete(const Options& options, CLha& archive) {
  const bool verbose = options.quietLevel < 2;
  // One scan collects the members; one call removes them all.
  std::vector<std::int32_t> selected;
  std::vector<std::string> paths;
  for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
    std::string path = StoredPath(archive.entries()[static_cast<std::size_t>(i)]);
    if (!IsSelected(options, path.c_str())) continue;
    selected.push_back(i);
    paths.push_back(std::move(path));
  }
  if (selected.empty()) {
    if (verbose) Printf(msg::kMsgFileNotFound);
    return 0;
  }
  const StatusCode status = archive.DeleteMembers(selected);
  if (status != kStatusOk) {
    if (verbose) ReportStop(status, "");
    return 2;
  }
  if (verbose) {
    for (const std::string& path : paths) Printf("Deleted %s\n", ShownName(path).c_str());
  }
  return 0;
}

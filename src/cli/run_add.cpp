// The runners that change an archive: RunAdd (commands a, u, f) adds the
// collected files one by one, RunDelete (command d) removes the selected
// members. Each turns the archive object's status into console lines and
// the exit code.
#include <string>
#include <vector>

#include "archive/member_path.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "cli/status_messages.h"

int RunAdd(const Options& options, CLha& archive) {
  const bool verbose = options.quietLevel < 2;
  for (const std::string& name : options.fileNames) {
    const std::string path = name.starts_with('\\') ? name : options.baseDirectory + name;
    const std::uint32_t attributes = plat::GetFileAttributes(path.c_str());
    if (attributes == plat::kInvalidAttributes) continue;  // gone: skipped silently
    const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
    // Without directory parts a directory would become a member with an
    // empty path; there is nothing to store for it.
    if (isDirectory && !options.archive.useDirs) continue;

    StatusCode status = kStatusOk;
    if (isDirectory && options.storeDirEntries) {
      status = archive.AddFile(name.c_str(), options.archive.storeOnly);
      if (status == kStatusNotNewer) continue;
    } else {
      const bool storeOnly = options.archive.storeOnly || IsStoreOnly(options, path.c_str());
      status = archive.AddFile(name.c_str(), storeOnly);
      if (status != kStatusOk && ReportAddSkip(status, name, options.quietLevel)) continue;
    }
    if (status != kStatusOk) {
      if (verbose) ReportStop(status, name);
      return 2;
    }
    if (verbose) Printf("Added %s\n", ShownName(name).c_str());
  }
  return 0;
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

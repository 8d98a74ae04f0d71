// The runners that change an archive: RunAdd (commands a, u, f) adds the
// collected files one by one, RunDelete (command d) removes the selected
// members. Each turns the archive object's status into console lines and
// the exit code.
#include <string>
#include <vector>

#include "cli/frontend.h"
#include "cli/messages.h"

namespace {

bool Verbose() { return frontEnd.quietLevel < 2; }

// The line for a failure that ends the run.
void ReportStop(std::int32_t code, const char* name) {
  if (!Verbose()) return;
  switch (code) {
    case kStatusNotAMember:
      Printf(msg::kMsgFileNotFound);
      break;
    case kStatusCannotOpen:
      PrintError(msg::kMsgCannotOpenArchive);
      break;
    case kStatusSfxNotWritable:
      PrintError(msg::kMsgCannotModifySfx);
      break;
    case kStatusFileTooLarge:
      PrintError(msg::kMsgFileTooLarge, ShownName(name).c_str());
      break;
    default:
      PrintError(msg::kMsgInternalError, code);
      break;
  }
}

}  // namespace

int RunAdd() {
  CLha& archive = *frontEnd.archive;
  for (const std::string& name : frontEnd.fileNames) {
    const std::string path =
        name.starts_with('\\') ? name : std::string(frontEnd.baseDirectory) + name;
    const std::uint32_t attributes = plat::GetFileAttributes(path.c_str());
    if (attributes == plat::kInvalidAttributes) continue;  // gone: skipped silently
    const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
    // Without directory parts a directory would become a member with an
    // empty path; there is nothing to store for it.
    if (isDirectory && !archive.useDirs) continue;

    const int savedStoreOnly = archive.storeOnly;
    int added = 0;
    if (isDirectory && frontEnd.storeDirEntries) {
      added = archive.AddFile(name.c_str());
      archive.storeOnly = savedStoreOnly;
      if (!added && archive.status == kStatusNotNewer) continue;
    } else {
      if (IsStoreOnly(path.c_str())) archive.storeOnly = 1;
      added = archive.AddFile(name.c_str());
      archive.storeOnly = savedStoreOnly;
      if (!added && archive.status == kStatusAttributeSkip) {
        if (Verbose()) Printf(msg::kMsgSkippedAddAttr, ShownName(name).c_str());
        continue;
      }
      if (!added && archive.status == kStatusNotNewer) continue;
    }
    if (!added) {
      ReportStop(archive.status, name.c_str());
      return 2;
    }
    if (Verbose()) Printf("Added %s\n", ShownName(name).c_str());
  }
  return 0;
}

int RunDelete() {
  CLha& archive = *frontEnd.archive;
  // One scan collects the members; one call removes them all.
  std::vector<std::int32_t> selected;
  std::vector<std::string> paths;
  for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
    std::string path = StoredPath(archive.entries[static_cast<std::size_t>(i)]);
    if (!IsSelected(path.c_str())) continue;
    selected.push_back(i);
    paths.push_back(std::move(path));
  }
  if (selected.empty()) {
    if (Verbose()) Printf(msg::kMsgFileNotFound);
    return 0;
  }
  if (!archive.DeleteMembers(selected)) {
    ReportStop(archive.status, "");
    return 2;
  }
  if (Verbose()) {
    for (const std::string& path : paths) Printf("Deleted %s\n", ShownName(path).c_str());
  }
  return 0;
}

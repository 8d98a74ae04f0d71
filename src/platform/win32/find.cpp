// Directory search: FindFirstFileW/FindNextFileW on the pattern as given,
// "." and ".." left out, the names sorted by their CP932 bytes so that a run
// lists the same order on every file system.
#include <algorithm>

#include "platform/win32/win32.h"

namespace plat {

bool FindFiles(const char* pattern, std::vector<FindData>& out,
               std::vector<std::string>* unconvertible) {
  out.clear();
  if (unconvertible) unconvertible->clear();
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(win32::ToWide(pattern).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    win32::SetErrorFromSystem();
    return false;
  }
  do {
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    bool exact = false;
    std::string name = win32::ToCp932(data.cFileName, &exact);
    if (!exact) {
      // Stored under a '?' form it would name another file, or none.
      if (unconvertible) unconvertible->push_back(name);
      continue;
    }
    out.push_back(FindData{name, data.dwFileAttributes});
  } while (FindNextFileW(search, &data));
  DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    win32::SetError(error);
    return false;
  }
  std::sort(out.begin(), out.end(),
            [](const FindData& a, const FindData& b) { return a.name < b.name; });
  return true;
}

}  // namespace plat

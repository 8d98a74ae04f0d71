// The error of the most recent failing call of the POSIX backend, with
// errno translated into the Win32 numbers tsubo knows.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {
int lastError = kErrorNone;

// Windows tells "file not found" from "path not found" by whether the
// folder that should hold the file exists.
bool ParentIsDirectory(const std::string& path) {
  std::string parent = path;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  std::size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return true;  // the current directory
  parent.resize(slash == 0 ? 1 : slash);
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

int LastError() { return lastError; }

namespace posix {

void SetError(int code) { lastError = code; }

void SetErrorFromErrno(int err, const std::string& externalPath) {
  switch (err) {
    case ENOENT:
      lastError = ParentIsDirectory(externalPath) ? kErrorFileNotFound : kErrorPathNotFound;
      break;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      lastError = kErrorPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      lastError = kErrorAccessDenied;
      break;
    case EWOULDBLOCK:
      lastError = kErrorSharingViolation;
      break;
    case EEXIST:
    case ENOTEMPTY:
      lastError = kErrorFileExists;
      break;
    default:
      lastError = kErrorOther;
      break;
  }
}

}  // namespace posix
}  // namespace plat

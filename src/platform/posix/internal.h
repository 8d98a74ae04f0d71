// Helpers shared by the files of the POSIX backend: the text bridge between
// tsubo's CP932 paths and the host's names, and the error of the last call.
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace plat::posix {

// True when StartUp found a UTF-8 locale.
bool Utf8Locale();

// An internal CP932 path as the OS wants it: '\' becomes '/' (a trail byte
// 0x5C is left alone) and, in a UTF-8 locale, the text becomes UTF-8. A path
// that is not valid CP932 keeps its bytes.
std::string ToExternalPath(const char* path);

// A name read from the file system as tsubo holds it. Fails (returns false)
// when the name has no CP932 form that leads back to the same name on disk,
// or when it would not survive as one path component (a single-byte '\' or a
// lead byte at its end).
bool ExternalNameToInternal(const char* name, std::string& internal);

// Converts with iconv between "CP932" and "UTF-8"; false when the text is not
// valid in `from` or has no form in `to`.
bool Cp932ToUtf8(const char* text, std::size_t length, std::string& out);
bool Utf8ToCp932(const char* text, std::size_t length, std::string& out);

// Records the error of a failing call: SetError with one of the kError
// codes, SetErrorFromErrno with errno's meaning for the external path (an
// absent file in an absent directory is "path not found", as on Windows).
void SetError(int code);
void SetErrorFromErrno(int err, const std::string& externalPath);

// Windows' attribute bits for what stat found (`hidden` comes from the name).
std::uint32_t AttributesOf(const struct stat& st, bool hidden);
FileTime ToFileTime(const struct timespec& time);

// True while the external path still names the file open as fd. Another
// run's commit may rename a new file over the path between an open and the
// lock that follows it; such a lock guards a file nobody sees again.
bool StillNamed(int fd, const std::string& external);

// Makes sure buffered console output is written at process exit.
void RegisterConsoleFlush();
// A text in the host's encoding (typed, or a name found on disk) as console
// text: in a UTF-8 locale each byte that is not part of valid UTF-8 becomes
// '?'; otherwise the bytes are unchanged.
std::string ConsoleTextOfExternal(const char* text, std::size_t length);

// Scratch files (see CreateScratchFile): an interrupt removes every tracked
// name. Renaming or deleting a scratch file through this layer untracks it.
void TrackScratch(const std::string& external);
void UntrackScratch(const std::string& external);
// Installs the interrupt handlers and reads the umask; once, at start-up.
void InstallInterruptHandlers();
// 0666 less the umask: the mode of a new file.
mode_t NewFileMode();
// The umask, as read at start-up.
mode_t FileModeMask();

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime, so that a change of
// names and the list of scratch files happen as one step.
class InterruptsDeferred {
 public:
  InterruptsDeferred();
  ~InterruptsDeferred();
  InterruptsDeferred(const InterruptsDeferred&) = delete;
  InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace plat::posix

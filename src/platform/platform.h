// The one interface between tsubo and the operating system: files, attributes,
// file times, directory search, time zone, ticks, console and CP932 text.
// Every path handed in or out is a CP932 byte string with '\' as separator;
// the backend converts at the OS boundary (posix/locale.cpp, win32/text.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace plat {

// ---- file handles -------------------------------------------------------
// An opaque handle: a descriptor on POSIX, a HANDLE on Win32.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class Access { Query, Read, Write, ReadWrite };
enum class Share { None, Read };  // None: exclusive; Read: others may read
enum class Disposition {
  OpenExisting,  // fail when the file does not exist
  CreateAlways,  // create or truncate
  CreateNew,     // fail when the file exists
};
enum class SeekOrigin { Begin, Current, End };

// Error codes reported by LastError(), with Win32's numbers.
inline constexpr int kErrorNone = 0;
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorPathNotFound = 3;
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorSharingViolation = 32;
inline constexpr int kErrorFileExists = 80;
inline constexpr int kErrorOther = 31;

// Opens a file (or, with Access::Query, any existing path, directories
// included, only to read its time). Returns kInvalidFile and sets LastError()
// on failure. Share::None takes an exclusive lock and Share::Read a shared
// one, so two runs on one archive exclude each other as on Windows.
FileHandle OpenFile(const char* path, Access access, Share share, Disposition disposition);
int LastError();  // error of the most recent failing call of this layer
void CloseFile(FileHandle file);

// Read/Write return the number of bytes transferred (possibly short), or -1.
long ReadFile(FileHandle file, void* buffer, std::uint32_t count);
// Reads at `offset` without using or moving the file pointer, so several
// threads may read one file at once. Short only at the end of the file.
long ReadFileAt(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count);
long WriteFile(FileHandle file, const void* buffer, std::uint32_t count);
// Returns the new absolute position, or UINT64_MAX on failure.
std::uint64_t SeekFile(FileHandle file, std::int64_t distance, SeekOrigin origin);
bool GetFileSize(FileHandle file, std::uint64_t* size);
bool FlushFile(FileHandle file);  // data reaches the disk (fsync)

// ---- attributes ----------------------------------------------------------
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

std::uint32_t GetFileAttributes(const char* path);  // kInvalidAttributes if absent
bool SetFileAttributes(const char* path, std::uint32_t attributes);

// ---- file times: FILETIME, 100 ns units since 1601-01-01 UTC --------------
using FileTime = std::uint64_t;
inline constexpr std::uint64_t kFileTimePerSecond = 10000000;
inline constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
inline constexpr std::uint64_t kFileTimeUnixEpoch = kUnixEpochSeconds * kFileTimePerSecond;
bool GetFileTime(FileHandle file, FileTime* lastWrite);
bool SetFileTime(FileHandle file, FileTime creation, FileTime lastWrite);
// Offset of local time from UTC, in seconds, as it stands now (DST included).
std::int64_t TimeZoneOffsetSeconds();
// Milliseconds since some fixed point; wraps at 2^32.
std::uint32_t TickCount();

// ---- names on disk ---------------------------------------------------------
bool CreateDirectory(const char* path);
bool DeleteFile(const char* path);
// Commits `from` over `to` atomically, for a caller that holds `to` open
// without sharing through `held`: `from` is flushed, renamed over `to` in
// one step and the directory entry made durable; `to` is never deleted
// first. It is replaced only while it is still the held file, and the hold
// lasts until the new file has taken the name, so no other run can read the
// old file in between and commit over the new one. `held` is closed.
bool ReplaceHeldFile(const char* from, const char* to, FileHandle held);

// Gives the file `from` the name `to` in one step, replacing whatever `to`
// names: a link there is replaced, never followed, and a read-only file is
// replaced too. Used for finished extracted files; nothing is flushed.
bool MoveReplacing(const char* from, const char* to);

// What a name stands for, links not followed: a link answers for itself.
struct NameInfo {
  bool isDirectory;
  FileTime lastWrite;
};
// False (LastError() kErrorFileNotFound or kErrorPathNotFound) when nothing
// at all is named `path`; a dangling link is something.
bool QueryName(const char* path, NameInfo* info);

// ---- scratch files and interrupts -------------------------------------------
// Creates `path` as a new file, open for reading and writing without
// sharing. It never opens, follows or replaces anything already named so (a
// file, a folder, a link, a dangling link): LastError() is then
// kErrorFileExists. `ownerOnly` makes it readable and writable by its owner
// alone; otherwise it gets what a new file gets. Until this layer renames or
// deletes it, an interrupt removes it.
FileHandle CreateScratchFile(const char* path, bool ownerOnly);
// Gives the open file `to` the permission bits, owner and group of `from`,
// as far as the process may set them (POSIX; nothing on Windows, where a new
// file takes its folder's permissions).
void CopyPermissions(FileHandle from, FileHandle to);
// Sets the read-only attribute of an open file (the other bits have no
// meaning on POSIX; Windows takes them all). Mode bits other than the
// owner's write permission are those of a new file.
bool SetFileAttributesOf(FileHandle file, std::uint32_t attributes);
// The Unix mode (file type and permission bits) of an open file; 0 where
// files have none (Windows).
std::uint16_t UnixModeOf(FileHandle file);
// Gives an open file the permission bits of a Unix mode: never more than
// 0777 (no set-id or sticky bit), and for a process not run as root no more
// than its umask lets a new file have. Nothing on Windows.
bool SetUnixMode(FileHandle file, std::uint16_t mode);
// Gives an open file an owner and group when the process runs as root
// (nobody else may give a file away); a failure is ignored. Nothing on
// Windows.
void SetUnixOwner(FileHandle file, std::uint16_t uid, std::uint16_t gid);
// Starts a thread that works for the main one. It is born with interrupts
// blocked (a thread that blocked them itself could take one first), so an
// interrupt is always handled on the main thread, which never meets its own
// list of scratch files half changed.
std::thread StartWorkerThread(std::function<void()> body);
// The line written to standard error when an interrupt (Ctrl+C, SIGTERM,
// SIGHUP, Ctrl+Break, a closed console) ends the run: scratch files are
// removed, the line is written and the process exits with code 2.
void SetInterruptMessage(const char* cp932);

struct FindData {
  std::string name;  // CP932, last component only
  std::uint32_t attributes;
};
// Lists the entries matching `pattern`, whose last component may hold '*'
// and '?' (matched as Windows does: ASCII letters without regard to case).
// A last component without wildcards is looked up as it stands. Results are
// sorted by name. Names with no CP932 form are reported through
// `unconvertible` (as console text, see ConsoleText) and left out of `out`.
// Returns true when anything matched, as FindFirstFile succeeds: "." and
// ".." count as matches but are never returned, so an empty directory
// searched with "*" succeeds with `out` empty. Otherwise false, with
// LastError() kErrorFileNotFound, or kErrorPathNotFound when the directory
// does not exist.
bool FindFiles(const char* pattern, std::vector<FindData>& out,
               std::vector<std::string>* unconvertible = nullptr);

// ---- console ----------------------------------------------------------------
// Console text is what tsubo writes. The POSIX build decides once, from the
// locale: in a UTF-8 locale every stream (terminal, pipe or file) gets UTF-8
// and paths are shown with '/'; in any other locale it gets the CP932 bytes
// with '\'. The Windows build always makes CP932 text with '\' (a console
// shows it as UTF-16).
//
// CP932 text as console text. For UTF-8, a text that is not valid CP932
// goes out as it stands when it is valid UTF-8 (a name then shows as it is
// named on disk), else each character without a Unicode form becomes one
// '?' per byte, so the output stays valid UTF-8. Otherwise the bytes are
// unchanged.
std::string ConsoleText(std::string_view cp932);
void AppendConsoleText(std::string& out, std::string_view cp932);
// True when paths are shown with '/' rather than '\'.
bool PathsShownWithSlash();

enum class Stream { Out, Err };
// Writes console text; the bytes go out unchanged (a Windows console gets
// them as UTF-16).
void ConsoleWrite(Stream stream, const char* bytes, std::size_t count);
// Whether the stream is a terminal (a console on Windows).
bool IsTerminal(Stream stream);
// Writes out what ConsoleWrite buffered (also done at exit and before
// input is read or standard error written).
void FlushConsole();
// Next byte of standard input, or -1 at its end. Answers are ASCII letters,
// the same bytes in every locale, so input needs no conversion.
int ReadInputChar();
// Throws away console input typed ahead (a terminal); on a pipe, the rest of
// a line that was partly read.
void DiscardPendingInput();

// ---- CP932 text ------------------------------------------------------------
bool IsLeadByte(unsigned char c);  // 0x81-0x9F, 0xE0-0xFC
// Next character after p (p itself at the end of the string).
const char* CharNext(const char* p);
// Start of the character before p, never before start.
const char* CharPrev(const char* start, const char* p);
// Start of the last character of s, or s itself when s is empty.
const char* LastChar(const char* s);
// The last single-byte backslash of s, or nullptr.
const char* FindLastBackslash(const char* s);
// Lower-cases ASCII A-Z only, leaving both bytes of double-byte characters.
void LowerCaseInPlace(char* s);

// ---- characters with no CP932 form -------------------------------------------
// A character CP932 cannot hold (Korean, emoji, U+301C, ...) stands in tsubo's
// text as kWideMark, its code point in 2 to 6 lowercase hex digits and
// kWideMark again. 0xFF never begins, ends or continues a CP932 character
// (header names turn it into '\' on reading), so the character walk, the
// separator search and case folding pass over such a "wide character"
// unchanged, and it never contains a separator.
inline constexpr char kWideMark = '\xFF';
// The length in bytes of the wide character that `rest` starts with (its
// code point, at or above U+0080, in *code), or 0 when it starts none.
std::size_t WideCharAt(std::string_view rest, char32_t* code);
void AppendWideChar(std::string& out, char32_t code);
bool HasWideChars(std::string_view text);
// The text with each wide character as '_': its best CP932 form.
std::string Cp932FormOf(std::string_view text);
// The text as UTF-16 (each '\' stays U+005C); empty when a part of it is
// not CP932.
std::u16string ToUtf16(std::string_view text);
// UTF-16 as tsubo's text; false when it is not well-formed (a lone
// surrogate) or holds U+0000.
bool FromUtf16(std::u16string_view utf16, std::string& text);

// ---- start-up --------------------------------------------------------------
// An argument or a response-file line as tsubo holds it.
struct Argument {
  std::string text;   // CP932 with '\' separators and wide characters
  std::string typed;  // the text as typed, as console text, for messages
};
// Chooses the text bridge and the console text from the locale and returns
// the arguments without the program name.
std::vector<Argument> StartUp(int argc, char** argv);
// Converts one external text (a response-file line) the way arguments are.
Argument ExternalToInternal(const std::string& text);

}  // namespace plat

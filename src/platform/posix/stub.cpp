// STUB: replaced by the POSIX backend.
#include "platform/platform.h"
namespace plat {
FileHandle OpenFile(const char*, Access, Share, Disposition) { return kInvalidFile; }
int LastError() { return kErrorOther; }
void CloseFile(FileHandle) {}
long ReadFile(FileHandle, void*, std::uint32_t) { return -1; }
long WriteFile(FileHandle, const void*, std::uint32_t) { return -1; }
std::uint64_t SeekFile(FileHandle, std::int64_t, SeekOrigin) { return UINT64_MAX; }
bool GetFileSize(FileHandle, std::uint64_t*) { return false; }
bool FlushFile(FileHandle) { return false; }
std::uint32_t GetFileAttributes(const char*) { return kInvalidAttributes; }
bool SetFileAttributes(const char*, std::uint32_t) { return false; }
bool GetFileTime(FileHandle, FileTime*) { return false; }
bool SetFileTime(FileHandle, FileTime, FileTime) { return false; }
FileTime CurrentFileTime() { return 0; }
std::int64_t TimeZoneOffsetSeconds() { return 0; }
std::uint32_t TickCount() { return 0; }
bool CreateDirectory(const char*) { return false; }
bool DeleteFile(const char*) { return false; }
bool RenameFile(const char*, const char*) { return false; }
bool ReplaceFile(const char*, const char*) { return false; }
bool FindFiles(const char*, std::vector<FindData>&, std::vector<std::string>*) { return false; }
void ConsoleWrite(Stream, const char*, std::size_t) {}
void FlushConsole() {}
int ReadInputChar() { return -1; }
void DiscardPendingInput() {}
std::vector<std::string> StartUp(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }
std::string ExternalToInternal(const std::string& t) { return t; }
}  // namespace plat

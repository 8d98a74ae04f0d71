// CUnlha: construction, opening an archive (plain, self-extracting .exe, or
// not yet existing), the scan for an archive inside an .exe, and loading the
// directory of members.
#include "ops/unlha.h"

#include <new>

#include "archive/archive_input.h"
#include "archive/directory.h"

namespace {

// The self-extracting scan looks at this many bytes at most.
constexpr std::uint64_t kEmbeddedWindow = 0x40000;

// Whether the last '.' of the path (found character by character) starts
// ".exe" in any case.
bool HasExeExtension(const char* path) {
  const char* dot = nullptr;
  for (const char* p = path; *p != '\0'; p = plat::CharNext(p)) {
    if (*p == '.') dot = p;
  }
  if (dot == nullptr) return false;
  static const char kExe[] = ".exe";
  for (int i = 0; i < 4; ++i) {
    char c = dot[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExe[i]) return false;
  }
  return dot[4] == '\0';
}

// Reads exactly `count` bytes, however the system splits the read.
bool ReadWhole(plat::FileHandle file, unsigned char* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  while (done < count) {
    const long got = plat::ReadFile(file, buffer + done, count - done);
    if (got <= 0) return false;
    done += static_cast<std::uint32_t>(got);
  }
  return true;
}

}  // namespace

CUnlha::CUnlha(const ArchiveOptions& options, CInquireEvent* inquire)
    : options_(options),
      inquire_(inquire),
      skipPathCheck_(options.skipPathCheck),
      noConfirm_(options.noConfirm) {}

CUnlha::~CUnlha() {
  StopAhead();
  Abandon();
}

StatusCode CUnlha::Open(const char* path, bool create) {
  archiveStart_ = 0;
  entries_.clear();
  // A path that does not fit the path buffer cannot be named later either.
  if (std::char_traits<char>::length(path) >= static_cast<std::size_t>(kPathSize)) {
    return kStatusCannotOpen;
  }
  archivePath_ = path;
  const bool exe = HasExeExtension(path);

  archiveFile_ =
      plat::OpenFile(path, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  if (archiveFile_ == plat::kInvalidFile) {
    const int error = plat::LastError();
    // Only an archive that does not exist yet may start empty; one that
    // exists but is locked or unreadable must never be replaced unread.
    const bool absent = error == plat::kErrorFileNotFound || error == plat::kErrorPathNotFound;
    if (!create || !absent) return kStatusCannotOpen;
    if (exe) return kStatusCannotCreateSfx;
    return kStatusOk;  // a new archive with no members
  }

  if (exe) {
    std::uint64_t size = 0;
    if (!plat::GetFileSize(archiveFile_, &size)) size = 0;
    const std::uint64_t window = size < kEmbeddedWindow ? size : kEmbeddedWindow;
    if (!FindEmbeddedArchive(archiveFile_, static_cast<std::uint32_t>(window))) {
      plat::CloseFile(archiveFile_);
      archiveFile_ = plat::kInvalidFile;
      return kStatusNoEmbeddedArchive;
    }
  }

  const StatusCode status = LoadDirectory(archiveFile_);
  if (Opened(status)) return status;
  StopAhead();
  plat::CloseFile(archiveFile_);
  archiveFile_ = plat::kInvalidFile;
  entries_.clear();
  return status;
}

bool CUnlha::FindEmbeddedArchive(plat::FileHandle file, std::uint32_t windowSize) {
  std::vector<unsigned char> window;
  try {
    window.resize(windowSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (windowSize == 0 || !ReadWhole(file, window.data(), windowSize)) return false;
  // The first candidate decides. A header at offset 0 is an ordinary
  // archive that merely carries the name .exe.
  const std::int64_t offset = FindFirstHeader(window.data(), windowSize);
  if (offset <= 0 ||
      plat::SeekFile(file, offset, plat::SeekOrigin::Begin) != static_cast<std::uint64_t>(offset)) {
    return false;
  }
  archiveStart_ = static_cast<std::uint64_t>(offset);
  return true;
}

StatusCode CUnlha::LoadDirectory(plat::FileHandle file) {
  const std::uint64_t start = plat::SeekFile(file, 0, plat::SeekOrigin::Current);
  if (start == UINT64_MAX) return kStatusSeekFailed;
  // One buffered input for the whole scan: the headers of small members
  // come out of the same system read.
  ArchiveInput in(file, start);
  if (!GuessesTests(file)) return LoadDirectoryFrom(in, entries_);
  return LoadDirectoryFrom(in, entries_, [this](std::size_t index) { GuessTested(index); });
}

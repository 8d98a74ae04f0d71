// CUnlha: construction, opening an archive (plain, self-extracting .exe, or
// not yet existing), the scan for an archive inside an .exe, and loading the
// directory of members.
#include "archive/unlha.h"

#include <cstring>
#include <new>

#include "archive/checksum.h"
#include "archive/header_reader.h"
#include "lzh/crc16.h"

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

bool IsMethodField(const unsigned char* p) {
  return p[0] == '-' && p[1] == 'l' && p[2] == 'h' &&
         ((p[3] >= '0' && p[3] <= '9') || p[3] == 'd') && p[4] == '-';
}

// Whether a member header's method field starts at `i` of the window. Bytes
// the test would need beyond the window make the position no candidate.
bool IsHeaderCandidate(const unsigned char* window, std::uint32_t size, std::uint32_t i) {
  if (size - i < 19 || !IsMethodField(window + i)) return false;
  switch (window[i + 18]) {  // header offset 20: the level
    case 2:
      return size - i >= 24 && window[i + 17] == 0x20 && (window[i + 22] | window[i + 23]) != 0;
    case 0:
    case 1: {
      if (i < 2) return false;
      const std::uint32_t headerSize = window[i - 2];
      if (size - i < headerSize) return false;
      return HeaderChecksum(window + i, headerSize) == window[i - 1];
    }
    default:
      return false;
  }
}

}  // namespace

CUnlha::CUnlha() = default;

CUnlha::~CUnlha() = default;

bool CUnlha::Open(const char* path, bool create) {
  status = kStatusOk;
  archiveStart = 0;
  std::vector<ArchiveEntry>().swap(entries);
  // A path that does not fit the path buffer cannot be named later either.
  const std::size_t pathLength = std::strlen(path);
  if (pathLength >= static_cast<std::size_t>(kPathSize)) {
    status = kStatusCannotOpen;
    return false;
  }
  std::memcpy(archivePath, path, pathLength + 1);
  const bool exe = HasExeExtension(archivePath);

  archiveFile =
      plat::OpenFile(path, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  if (archiveFile == plat::kInvalidFile) {
    const int error = plat::LastError();
    // Only an archive that does not exist yet may start empty; one that
    // exists but is locked or unreadable must never be replaced unread.
    const bool absent = error == plat::kErrorFileNotFound || error == plat::kErrorPathNotFound;
    if (!create || !absent) {
      status = kStatusCannotOpen;
      return false;
    }
    if (exe) {
      status = kStatusCannotCreateSfx;
      return false;
    }
    return true;  // a new archive with no members
  }

  if (exe) {
    std::uint64_t size = 0;
    if (!plat::GetFileSize(archiveFile, &size)) size = 0;
    const std::uint64_t window = size < kEmbeddedWindow ? size : kEmbeddedWindow;
    if (!FindEmbeddedArchive(archiveFile, static_cast<std::uint32_t>(window))) {
      status = kStatusNoEmbeddedArchive;
      plat::CloseFile(archiveFile);
      archiveFile = plat::kInvalidFile;
      return false;
    }
  }

  if (LoadDirectory(archiveFile)) return true;
  plat::CloseFile(archiveFile);
  archiveFile = plat::kInvalidFile;
  std::vector<ArchiveEntry>().swap(entries);
  return false;
}

bool CUnlha::FindEmbeddedArchive(plat::FileHandle file, std::uint32_t windowSize) {
  std::vector<unsigned char> window;
  try {
    window.resize(windowSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (windowSize == 0 || !ReadWhole(file, window.data(), windowSize)) return false;
  for (std::uint32_t i = 0; i < windowSize; ++i) {
    if (!IsHeaderCandidate(window.data(), windowSize, i)) continue;
    // The first candidate decides. A header at offset 0 is an ordinary
    // archive that merely carries the name .exe.
    if (i <= 2) return false;
    const std::uint64_t offset = i - 2;
    if (::SeekFile(file, static_cast<std::int64_t>(offset), plat::SeekOrigin::Begin) != offset) {
      return false;
    }
    archiveStart = offset;
    return true;
  }
  return false;
}

bool CUnlha::LoadDirectory(plat::FileHandle file) {
  const std::uint64_t start = ::SeekFile(file, 0, plat::SeekOrigin::Current);
  if (start == UINT64_MAX) {
    status = kStatusSeekFailed;
    return false;
  }
  // One buffered input for the whole scan: the headers of small members
  // come out of the same system read.
  ArchiveInput in(file, start);
  for (;;) {
    ArchiveEntry entry;
    if (!ReadHeaderFrom(in, entry, status)) {
      in.SyncFilePosition();  // tidy only: later readers position the file themselves
      // End mark (0), end of file (16) or an earlier checksum warning (17).
      return status == kStatusOk || status == kStatusNoEndMark || status == kStatusHeaderCrcWarning;
    }
    try {
      entries.push_back(entry);
    } catch (const std::bad_alloc&) {
      status = kStatusSeekFailed;  // reported as an internal error
      return false;
    }
    // The next header follows the member data; nothing between is examined.
    if (!in.SeekTo(entry.data_offset + entry.packed_size)) {
      status = kStatusSeekFailed;
      return false;
    }
  }
}

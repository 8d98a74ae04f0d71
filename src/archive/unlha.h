// CUnlha: the open archive. It owns the archive and work file handles, the
// directory of members, the status code and the archive-side options.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/entry.h"
#include "archive/inquire_event.h"
#include "archive/status.h"
#include "platform/platform.h"

// How producing a member's data ended, with the CRC-16 of what was produced.
enum class DataOutcome {
  kOk,
  kDataError,    // corrupt, or needing more bytes than the member holds
  kWriteError,   // the output did not take the data (a full disk)
  kUnsupported,  // a method this program cannot decode
};
struct DataResult {
  DataOutcome outcome;
  std::uint16_t crc;
};

class CUnlha {
 public:
  CUnlha();
  virtual ~CUnlha();
  CUnlha(const CUnlha&) = delete;
  CUnlha& operator=(const CUnlha&) = delete;

  // ---- members, in the order of the original layout ----
  int skipPathCheck = 0;
  std::int32_t status = 0;
  char workPath[kPathSize] = {};
  char archivePath[kPathSize] = {};
  int skipSystem = 0;
  int skipHidden = 0;
  int noConfirm = 0;
  char baseDir[kPathSize] = {};
  std::vector<ArchiveEntry> entries;  // the directory, in file order
  int testMode = 0;
  int keepGoing = 0;
  int lowerCaseNames = 0;
  int compareTimes = 0;
  int useDirs = 0;
  int clearReadOnly = 0;
  CInquireEvent* inquire = nullptr;  // not owned
  plat::FileHandle workFile = plat::kInvalidFile;
  plat::FileHandle archiveFile = plat::kInvalidFile;
  int modified = 0;
  // Offset of the first member in the archive file: 0 for a plain archive,
  // the stub's length for a self-extracting one.
  std::uint64_t archiveStart = 0;
  // A member could not be written whole: the commit discards the work file
  // and leaves the archive as it was.
  int rewriteFailed = 0;
  // The rewrite created the archive file (it did not exist before) and holds
  // it locked until the commit; a run that does not commit removes it again.
  int createdArchive = 0;

  std::int32_t entryCount() const { return static_cast<std::int32_t>(entries.size()); }

  // ---- opening (archive/unlha.cpp) ----
  void SetInquireEvent(CInquireEvent* event) { inquire = event; }
  bool Open(const char* path, bool create);
  bool LoadDirectory(plat::FileHandle file);
  bool FindEmbeddedArchive(plat::FileHandle file, std::uint32_t windowSize);
  // ---- one header (archive/header_reader.cpp) ----
  bool ReadHeader(plat::FileHandle file, ArchiveEntry& entry);

  // ---- extraction and testing (extract/extract_entry.cpp) ----
  bool ExtractEntry(ArchiveEntry& entry);
  bool ExtractFromHandle(plat::FileHandle handle, ArchiveEntry& entry);
  // Produces the member's data once (decoded or copied) into fileSide, or
  // nowhere when it is invalid.
  DataResult UnpackData(plat::FileHandle archiveSide, plat::FileHandle fileSide,
                        ArchiveEntry& entry);
  // The stored copy of `count` bytes with its CRC. kDataError: the source
  // ended early; kWriteError: the destination did not take them.
  DataResult CopyData(plat::FileHandle destination, plat::FileHandle source, std::uint32_t count);

  // ---- rewrite, deletion and commit (compress/rewrite.cpp) ----
  bool MakeWorkFileName(char* buffer);
  bool BeginRewrite();
  bool DeleteMember(ArchiveEntry* entry);
  // Removes the records at `indices` (ascending) in one pass; the same
  // outcome and statuses as DeleteMember called for each, without the
  // quadratic cost of shifting the directory once per member.
  bool DeleteMembers(const std::vector<std::int32_t>& indices);
  bool CloseAndCommit();
  std::int64_t CopyBytes(plat::FileHandle destination, plat::FileHandle source,
                         std::uint64_t length);
};

// 64-bit positioning; returns the new position or UINT64_MAX.
inline std::uint64_t SeekFile(plat::FileHandle file, std::int64_t distance,
                              plat::SeekOrigin origin) {
  return plat::SeekFile(file, distance, origin);
}

// The directory load and the search for an archive inside an .exe.
#include "archive/directory.h"

#include <new>

#include "archive/checksum.h"
#include "archive/header_reader.h"

namespace {

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

StatusCode LoadDirectoryFrom(ArchiveInput& in, std::vector<ArchiveEntry>& entries) {
  StatusCode warning = kStatusOk;
  for (;;) {
    ArchiveEntry entry;
    const HeaderRead read = ReadHeaderFrom(in, entry);
    if (!read.member) {
      // The end mark keeps an earlier warning; the end of the file says so.
      return read.status == kStatusOk ? warning : read.status;
    }
    if (read.status != kStatusOk) warning = read.status;
    try {
      entries.push_back(entry);
    } catch (const std::bad_alloc&) {
      return kStatusSeekFailed;  // reported as an internal error
    }
    // The next header follows the member data; nothing between is examined.
    if (!in.SeekTo(entry.data_offset + entry.packed_size)) return kStatusSeekFailed;
  }
}

std::int64_t FindFirstHeader(const unsigned char* window, std::uint32_t size) {
  for (std::uint32_t i = 0; i < size; ++i) {
    if (IsHeaderCandidate(window, size, i)) return static_cast<std::int64_t>(i) - 2;
  }
  return -1;
}

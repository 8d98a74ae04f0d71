// CUnlha::ReadHeader: one member header of level 0, 1 or 2 into an
// ArchiveEntry. The header is read through a buffer (ArchiveInput); the
// file is then put exactly at the first byte after the header, where the
// member data begins.
#include "archive/header_reader.h"

#include <cstring>

#include "archive/checksum.h"
#include "lzh/crc16.h"
#include "archive/header_names.h"
#include "archive/timestamp.h"
#include "archive/unlha.h"

namespace {

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// An extended header may be up to 65535 bytes long; one scratch block
// serves every call (the program is single-threaded).
unsigned char g_extended[65536];

// What the parts of one header hand on to each other.
struct HeaderState {
  ArchiveEntry* entry;
  ArchiveInput* in;
  int level;
  std::uint16_t headerCrc;  // running CRC over every header byte
  std::uint32_t nextSize;   // size of the next extended header
  bool haveCrcExtension;    // a type 0x00 extended header was read
  std::uint16_t storedCrc;  // its stored value
  bool checksumMismatch;    // level 0/1 header checksum differs
};

// Levels 0 and 1: the base header with its name field and checksum.
// Returns a status code, 0 when the base header was read whole.
int ReadBaseLevel01(const unsigned char* first21, HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  unsigned char base[2 + 255];  // S + 2 bytes at most
  std::memcpy(base, first21, 21);
  const unsigned size = base[0];

  plat::FileTime local = 0;
  if (DosTimeToFileTime(Get16(base + 17), Get16(base + 15), &local)) {
    entry.mtime = LocalToUtc(local, state.in->ZoneOffsetSeconds());
  } else {
    entry.mtime = 0;  // not a calendar time: no usable stamp
  }

  if (!state.in->ReadExact(base + 21, 1)) return kStatusBadHeader;
  const unsigned n = base[21];
  if (n > (state.level == 0 ? 233u : 230u)) return kStatusBadHeader;
  // The base header is S + 2 bytes: 24 + n fixed ones, then the rest. Level 1
  // needs at least the OS id and the next-size field in that rest.
  const unsigned minimumRest = state.level == 1 ? 3 : 0;
  if (size + 2 < 24 + n + minimumRest) return kStatusBadHeader;
  const unsigned rest = size + 2 - 24 - n;
  if (!state.in->ReadExact(base + 22, n + 2 + rest)) return kStatusBadHeader;

  DecodeNameFromHeader(entry.name, reinterpret_cast<const char*>(base + 22), n);
  entry.crc = Get16(base + 22 + n);
  if (state.level == 1) {
    entry.os_id = base[24 + n];
    state.nextSize = Get16(base + size);  // last two bytes of the base header
  } else {
    state.nextSize = 0;
  }
  state.checksumMismatch = HeaderChecksum(base + 2, size) != base[1];
  state.headerCrc = Crc16Update(0, base, size + 2);
  return 0;
}

// Level 2: the fixed 26-byte base header.
int ReadBaseLevel2(const unsigned char* first21, HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  unsigned char base[26];
  std::memcpy(base, first21, 21);
  entry.mtime = UnixTimeToFileTime(Get32(base + 15));
  if (!state.in->ReadExact(base + 21, 5)) return kStatusBadHeader;
  entry.crc = Get16(base + 21);
  entry.os_id = base[23];
  state.nextSize = Get16(base + 24);
  state.headerCrc = Crc16Update(0, base, 26);
  return 0;
}

// The chain of extended headers. Returns a status code, 0 when complete.
int ReadExtendedHeaders(HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  while (state.nextSize > 0) {
    const std::uint32_t size = state.nextSize;
    // Too short to hold its own type and next-size field.
    if (size < 3) return kStatusBadHeader;
    if (!state.in->ReadExact(g_extended, size)) return kStatusBadHeader;
    const unsigned char type = g_extended[0];
    unsigned char* payload = g_extended + 1;
    const std::uint32_t payloadSize = size - 3;
    switch (type) {
      case 0x00:
        if (payloadSize >= 2) {
          state.haveCrcExtension = true;
          state.storedCrc = Get16(payload);
          payload[0] = payload[1] = 0;  // the CRC was computed with these zeroed
        }
        break;
      case 0x01:
        if (payloadSize > kPathSize - 1) return kStatusBadHeader;
        DecodeNameFromHeader(entry.name, reinterpret_cast<const char*>(payload), payloadSize);
        break;
      case 0x02:
        if (payloadSize > kPathSize - 1) return kStatusBadHeader;
        DecodeNameFromHeader(entry.directory, reinterpret_cast<const char*>(payload), payloadSize);
        break;
      case 0x40:
        if (payloadSize >= 2) entry.attributes = Get16(payload);
        break;
      default:
        break;  // unknown types are skipped but still count below
    }
    state.headerCrc = Crc16Update(state.headerCrc, g_extended, size);
    if (state.level == 1) {
      // The level-1 packed-size field includes the extended headers.
      if (entry.packed_size < size) return kStatusBadHeader;
      entry.packed_size -= size;
    }
    state.nextSize = Get16(g_extended + size - 2);
  }
  return 0;
}

// A directory must end with a single-byte backslash.
bool EndsWithBackslash(const char* directory) {
  const char* last = plat::LastChar(directory);
  return last[0] == '\\' && last[1] == '\0';
}

// Joins directory and name and splits the path again at its last backslash,
// so a separator inside a name moves into the directory.
void SplitMemberPath(ArchiveEntry& entry) {
  char path[kPathSize];
  const std::size_t directoryLength = std::strlen(entry.directory);
  const std::size_t nameLength = std::strlen(entry.name);
  std::memcpy(path, entry.directory, directoryLength);
  std::memcpy(path + directoryLength, entry.name, nameLength + 1);
  const char* slash = plat::FindLastBackslash(path);
  if (slash == nullptr) {
    entry.directory[0] = '\0';
    std::memcpy(entry.name, path, directoryLength + nameLength + 1);
    return;
  }
  const std::size_t split = static_cast<std::size_t>(slash - path) + 1;
  std::memcpy(entry.directory, path, split);
  entry.directory[split] = '\0';
  std::memcpy(entry.name, path + split, directoryLength + nameLength + 1 - split);
}

}  // namespace

bool ReadHeaderFrom(ArchiveInput& in, ArchiveEntry& entry, std::int32_t& status) {
  std::memset(&entry, 0, sizeof entry);
  entry.archive_handle = plat::kInvalidFile;
  entry.file_handle = plat::kInvalidFile;
  const std::uint64_t start = in.Position();
  entry.header_offset = start;

  unsigned char first[21];
  const long got = in.Read(first, sizeof first);
  if (got == 0) {
    status = kStatusNoEndMark;
    return false;
  }
  if (got > 0 && first[0] == 0x00) return false;  // end mark
  if (got < static_cast<long>(sizeof first)) {
    status = kStatusBadHeader;
    return false;
  }

  HeaderState state{};
  state.entry = &entry;
  state.in = &in;
  state.level = first[20];
  int failure = 0;
  if (state.level == 0 || state.level == 1) {
    failure = ReadBaseLevel01(first, state);
  } else if (state.level == 2) {
    failure = ReadBaseLevel2(first, state);
  } else {
    failure = kStatusUnknownLevel;
  }
  if (failure == 0) {
    entry.header_level = state.level;
    std::memcpy(entry.method, first + 2, 5);
    entry.method[5] = '\0';
    entry.packed_size = Get32(first + 7);
    entry.original_size = Get32(first + 11);
    entry.attributes = first[19];
    failure = ReadExtendedHeaders(state);
  }
  if (failure == 0 && std::strlen(entry.directory) + std::strlen(entry.name) >= kPathSize) {
    failure = kStatusBadHeader;
  }
  if (failure == 0 && state.level == 2) {
    // The total size may announce more (the pad byte); it belongs to the header.
    const std::uint64_t total = Get16(first);
    const std::uint64_t consumed = in.Position() - start;
    if (total > consumed) {
      const std::size_t remaining = static_cast<std::size_t>(total - consumed);
      if (!in.ReadExact(g_extended, remaining)) {
        failure = kStatusBadHeader;
      } else {
        state.headerCrc = Crc16Update(state.headerCrc, g_extended, static_cast<long>(remaining));
      }
    }
  }
  if (failure == 0 && entry.directory[0] != '\0' && !EndsWithBackslash(entry.directory)) {
    failure = kStatusBadHeader;
  }
  if (failure != 0) {
    status = failure;
    return false;
  }

  if (state.checksumMismatch) status = kStatusHeaderCrcWarning;
  if (state.haveCrcExtension && state.storedCrc != 0 && state.storedCrc != state.headerCrc) {
    status = kStatusHeaderCrcWarning;
  }
  SplitMemberPath(entry);
  entry.data_offset = in.Position();
  return true;
}

bool CUnlha::ReadHeader(plat::FileHandle file, ArchiveEntry& entry) {
  const std::uint64_t start = ::SeekFile(file, 0, plat::SeekOrigin::Current);
  if (start == UINT64_MAX) {
    std::memset(&entry, 0, sizeof entry);
    status = kStatusBadHeader;
    return false;
  }
  ArchiveInput in(file, start);
  if (!ReadHeaderFrom(in, entry, status)) return false;
  if (!in.SyncFilePosition()) {
    status = kStatusSeekFailed;
    return false;
  }
  return true;
}

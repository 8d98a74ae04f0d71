// One member header of level 0, 1 or 2 into an ArchiveEntry, read through
// a buffer (ArchiveInput) that then stands at the first byte after the
// header, where the member data begins.
#include "archive/header_reader.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "archive/checksum.h"
#include "archive/header_names.h"
#include "archive/member_path.h"
#include "archive/timestamp.h"
#include "lzh/crc16.h"

namespace {

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Get64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Get32(p)) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}

// Payload sizes of the Unix and Windows extended headers; a shorter payload
// makes the header bad, a longer one is read as far as these go.
constexpr std::uint32_t kUnixModeSize = 2;       // 0x50: st_mode
constexpr std::uint32_t kUnixOwnerSize = 4;      // 0x51: group id, user id
constexpr std::uint32_t kUnixTimeSize = 4;       // 0x54: seconds since 1970
constexpr std::uint32_t kWindowsTimesSize = 24;  // 0x41: creation, write, access

// An extended header may be up to 65535 bytes long.
constexpr std::size_t kExtendedSize = 65536;
// Members must lie within what a signed 64-bit file offset can reach.
constexpr std::uint64_t kLargestOffset = INT64_MAX;
// Type 0x42 holds the packed and then the original size, 64 bits each.
constexpr std::uint32_t kSizeExtensionPayload = 16;

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
  bool haveWindowsTime;     // a type 0x41 time was read: it beats 0x54
  bool haveLargeSizes;      // a type 0x42 extended header was read
  std::uint64_t largePacked;
  std::uint64_t largeOriginal;
  unsigned char* scratch;        // kExtendedSize bytes for one extended header
  std::u16string wideName;       // type 0x44, when present
  std::u16string wideDirectory;  // type 0x45, when present
  bool haveWideName;
  bool haveWideDirectory;
};

// A UTF-16LE payload; false when its size is odd.
bool TakeUtf16(const unsigned char* payload, std::uint32_t size, std::u16string& out) {
  if (size % 2 != 0) return false;
  out.clear();
  for (std::uint32_t i = 0; i < size; i += 2) out += static_cast<char16_t>(Get16(payload + i));
  return true;
}

// A UTF-16 name of 0x44 or 0x45 as tsubo's text into `out` (a path
// buffer). '/' and '\\' count as separators, as they do in the CP932 names,
// so the path checks of extraction see every component; a directory gets
// its closing separator.
bool TakeWidePath(std::u16string units, bool directory, char* out) {
  for (char16_t& unit : units) {
    if ((directory && unit == 0xFFFF) || unit == u'/') unit = u'\\';
  }
  if (directory && !units.empty() && units.back() != u'\\') units += u'\\';
  std::string text;
  if (!plat::FromUtf16(units, text) || text.size() > kPathSize - 1) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

// The exact name of 0x44 and 0x45 in place of the CP932 form of 0x01 and 0x02.
StatusCode ApplyWideNames(HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  const bool ok =
      (!state.haveWideDirectory || TakeWidePath(state.wideDirectory, true, entry.directory)) &&
      (!state.haveWideName || TakeWidePath(state.wideName, false, entry.name));
  return ok ? kStatusOk : kStatusBadHeader;
}

// Levels 0 and 1: the base header with its name field and checksum.
// Returns kStatusOk when the base header was read whole.
StatusCode ReadBaseLevel01(const unsigned char* first21, HeaderState& state) {
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
  return kStatusOk;
}

// Level 2: the fixed 26-byte base header.
StatusCode ReadBaseLevel2(const unsigned char* first21, HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  unsigned char base[26];
  std::memcpy(base, first21, 21);
  entry.mtime = UnixTimeToFileTime(Get32(base + 15));
  if (!state.in->ReadExact(base + 21, 5)) return kStatusBadHeader;
  entry.crc = Get16(base + 21);
  entry.os_id = base[23];
  state.nextSize = Get16(base + 24);
  state.headerCrc = Crc16Update(0, base, 26);
  return kStatusOk;
}

// The mode, owner and finer times of types 0x41, 0x50, 0x51 and 0x54;
// false when the payload is too short for its type. The last-write time of
// 0x41 (100 ns) beats that of 0x54 (seconds), which beats the base header's,
// whatever their order; a 0x41 time of 0 is no time.
bool ReadUnixOrWindowsExtension(unsigned char type, const unsigned char* payload,
                                std::uint32_t payloadSize, HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  switch (type) {
    case 0x41: {
      if (payloadSize < kWindowsTimesSize) return false;
      const plat::FileTime lastWrite = Get64(payload + 8);
      if (lastWrite != 0) {
        entry.mtime = lastWrite;
        state.haveWindowsTime = true;
      }
      return true;
    }
    case 0x50:
      if (payloadSize < kUnixModeSize) return false;
      entry.unix_mode = Get16(payload);
      entry.has_unix_mode = true;
      return true;
    case 0x51:
      if (payloadSize < kUnixOwnerSize) return false;
      entry.unix_gid = Get16(payload);
      entry.unix_uid = Get16(payload + 2);
      entry.has_unix_owner = true;
      return true;
    default:  // 0x54
      if (payloadSize < kUnixTimeSize) return false;
      if (!state.haveWindowsTime) entry.mtime = UnixTimeToFileTime(Get32(payload));
      return true;
  }
}

// Type 0x42: 64-bit packed and original sizes, which take the place of the
// 32-bit fields once the whole chain has been read.
StatusCode ReadSizeExtension(const unsigned char* payload, std::uint32_t payloadSize,
                             HeaderState& state) {
  if (payloadSize != kSizeExtensionPayload) return kStatusBadHeader;
  state.largePacked = Get64(payload);
  state.largeOriginal = Get64(payload + 8);
  if (state.largePacked > kLargestOffset || state.largeOriginal > kLargestOffset) {
    return kStatusBadHeader;
  }
  state.haveLargeSizes = true;
  return kStatusOk;
}

// The chain of extended headers; kStatusOk when complete.
StatusCode ReadExtendedHeaders(HeaderState& state) {
  ArchiveEntry& entry = *state.entry;
  while (state.nextSize > 0) {
    const std::uint32_t size = state.nextSize;
    // Too short to hold its own type and next-size field.
    if (size < 3) return kStatusBadHeader;
    if (!state.in->ReadExact(state.scratch, size)) return kStatusBadHeader;
    const unsigned char type = state.scratch[0];
    unsigned char* payload = state.scratch + 1;
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
      case 0x44:
        if (!TakeUtf16(payload, payloadSize, state.wideName)) return kStatusBadHeader;
        state.haveWideName = true;
        break;
      case 0x45:
        if (!TakeUtf16(payload, payloadSize, state.wideDirectory)) return kStatusBadHeader;
        state.haveWideDirectory = true;
        break;
      case 0x41:
      case 0x50:
      case 0x51:
      case 0x54:
        if (!ReadUnixOrWindowsExtension(type, payload, payloadSize, state)) {
          return kStatusBadHeader;
        }
        break;
      case 0x42:
        if (ReadSizeExtension(payload, payloadSize, state) != kStatusOk) return kStatusBadHeader;
        break;
      default:
        break;  // unknown types are skipped but still count below
    }
    state.headerCrc = Crc16Update(state.headerCrc, state.scratch, size);
    if (state.level == 1) {
      // The level-1 packed-size field includes the extended headers.
      if (entry.packed_size < size) return kStatusBadHeader;
      entry.packed_size -= size;
    }
    state.nextSize = Get16(state.scratch + size - 2);
  }
  if (state.haveLargeSizes) {
    // At level 1 the 32-bit packed field still counts the extended headers
    // (checked above), but the 64-bit packed size is the data alone: it
    // replaces the field whatever the field held.
    entry.packed_size = state.largePacked;
    entry.original_size = state.largeOriginal;
  }
  return kStatusOk;
}

// A directory must end with a single-byte backslash.
bool EndsWithBackslash(const char* directory) {
  const char* last = plat::LastChar(directory);
  return last[0] == '\\' && last[1] == '\0';
}

}  // namespace

HeaderRead ReadHeaderFrom(ArchiveInput& in, ArchiveEntry& entry) {
  std::memset(&entry, 0, sizeof entry);
  const std::uint64_t start = in.Position();
  entry.header_offset = start;

  unsigned char first[21];
  const long got = in.Read(first, sizeof first);
  if (got == 0) return {false, kStatusNoEndMark};
  if (got > 0 && first[0] == 0x00) return {false, kStatusOk};  // end mark
  if (got < static_cast<long>(sizeof first)) return {false, kStatusBadHeader};

  unsigned char scratch[kExtendedSize];
  HeaderState state{};
  state.scratch = scratch;
  state.entry = &entry;
  state.in = &in;
  state.level = first[20];
  StatusCode failure = kStatusOk;
  if (state.level == 0 || state.level == 1) {
    failure = ReadBaseLevel01(first, state);
  } else if (state.level == 2) {
    failure = ReadBaseLevel2(first, state);
  } else {
    failure = kStatusUnknownLevel;
  }
  if (failure == kStatusOk) {
    entry.header_level = state.level;
    std::memcpy(entry.method, first + 2, 5);
    entry.method[5] = '\0';
    entry.packed_size = Get32(first + 7);
    entry.original_size = Get32(first + 11);
    entry.attributes = first[19];
    failure = ReadExtendedHeaders(state);
  }
  if (failure == kStatusOk) failure = ApplyWideNames(state);
  if (failure == kStatusOk && std::strlen(entry.directory) + std::strlen(entry.name) >= kPathSize) {
    failure = kStatusBadHeader;
  }
  if (failure == kStatusOk && state.level == 2) {
    // The total size may announce more (the pad byte); it belongs to the header.
    const std::uint64_t total = Get16(first);
    const std::uint64_t consumed = in.Position() - start;
    if (total > consumed) {
      const std::size_t remaining = static_cast<std::size_t>(total - consumed);
      if (!in.ReadExact(state.scratch, remaining)) {
        failure = kStatusBadHeader;
      } else {
        state.headerCrc = Crc16Update(state.headerCrc, state.scratch, static_cast<long>(remaining));
      }
    }
  }
  if (failure == kStatusOk && entry.directory[0] != '\0' && !EndsWithBackslash(entry.directory)) {
    failure = kStatusBadHeader;
  }
  if (failure != kStatusOk) return {false, failure};

  const bool crcMismatch =
      state.haveCrcExtension && state.storedCrc != 0 && state.storedCrc != state.headerCrc;
  // A separator inside a name moves into the directory.
  SplitMemberPath((std::string(entry.directory) + entry.name).c_str(), entry);
  entry.data_offset = in.Position();
  // The member's data must end where a file offset can still point.
  if (entry.data_offset > kLargestOffset ||
      entry.packed_size > kLargestOffset - entry.data_offset) {
    return {false, kStatusBadHeader};
  }
  return {true, state.checksumMismatch || crcMismatch ? kStatusHeaderCrcWarning : kStatusOk};
}

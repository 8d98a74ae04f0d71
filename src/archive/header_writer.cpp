// WriteHeader: builds the header of one member at its level (0, 1 or
// 2) and writes it in one piece, or only measures it; plus the writers of
// the five extended-header types tsubo emits.
//
// Limits: a member path (directory and name) over 259 bytes, and a name or
// directory over 256 bytes where it goes into an extended header, are
// refused with a length of 0 (measuring too), as is a level-1 member whose
// packed size plus extended headers would not fit the 32-bit size field,
// and a level-0 or level-1 member whose sizes need more than 32 bits (only
// level 2 carries 64-bit sizes, in a type 0x42 extended header).
// Such a header could not be read back, so nothing is written for it.
#include "archive/header_writer.h"

#include <cstring>

#include "archive/checksum.h"
#include "archive/header_names.h"
#include "archive/timestamp.h"
#include "lzh/crc16.h"

namespace {

constexpr std::size_t kExtendedNameCapacity = 257;
constexpr std::size_t kMaxExtendedName = 256;
constexpr unsigned kMaxLevel0Path = 233;
constexpr unsigned kMaxLevel1Name = 230;
// Largest header: 27 + 230 base bytes or 26, two name extensions of at
// most 259 bytes, their UTF-16 forms (every byte of a path gives at most one
// UTF-16 unit; a wide character of 4 or more bytes gives two), three of 5
// bytes, one of 19 and a pad byte.
constexpr std::size_t kHeaderBufferSize = 2048;
static_assert(27 + kMaxLevel1Name + 2 * (kMaxExtendedName + 3) + (2 * (kPathSize - 1) + 6) + 3 * 5 +
                  19 + 1 <=
              kHeaderBufferSize);

void Put16(unsigned char* p, std::uint32_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* p, std::uint32_t value) {
  Put16(p, value);
  Put16(p + 2, value >> 16);
}

void Put64(unsigned char* p, std::uint64_t value) {
  Put32(p, static_cast<std::uint32_t>(value));
  Put32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

// Whether a size needs the 64-bit extended header.
bool IsLarge(std::uint64_t size) { return size > UINT32_MAX; }

// A base-header size field: the size, or 0xFFFFFFFF when it needs more than
// 32 bits. A reader that does not know type 0x42 then sees the largest size
// it can express rather than a small wrong one that looks plausible.
std::uint32_t BaseSizeField(std::uint64_t size) {
  return IsLarge(size) ? UINT32_MAX : static_cast<std::uint32_t>(size);
}

// Each extended-header writer stores type, payload and a next-size of 0 at
// `destination` (unless measuring) and returns the extended header's size.
// Types 0x01 (name) and 0x02 (directory): the CP932 text, separators as 0xFF.
std::uint32_t WritePathExtension(unsigned char* destination, unsigned char type, const char* text,
                                 bool measure, std::size_t capacity) {
  const std::size_t length = std::strlen(text);
  if (measure) return static_cast<std::uint32_t>(length + 3);
  destination[0] = type;
  EncodeNameForHeader(reinterpret_cast<char*>(destination + 1), capacity, text);
  Put16(destination + 1 + length, 0);
  return static_cast<std::uint32_t>(length + 3);
}

// The extensions of one 16-bit value: 0x00 (the header CRC, 0 until the
// whole header is known), 0x40 (attributes) and 0x50 (the Unix mode of an
// executable file).
std::uint32_t WriteWordExtension(unsigned char* destination, unsigned char type,
                                 std::uint16_t value, bool measure) {
  if (measure) return 5;
  destination[0] = type;
  Put16(destination + 1, value);
  Put16(destination + 3, 0);
  return 5;
}

// Type 0x42, written only when a size needs more than 32 bits.
std::uint32_t WriteSizeExtension(unsigned char* destination, const ArchiveEntry& entry,
                                 bool measure) {
  if (measure) return 19;
  destination[0] = 0x42;
  Put64(destination + 1, entry.packed_size);
  Put64(destination + 9, entry.original_size);
  Put16(destination + 17, 0);
  return 19;
}

// Types 0x44 (name) and 0x45 (directory, separator 0xFFFF): the exact
// name in UTF-16LE, for a name with characters CP932 cannot hold.
std::uint32_t WriteWideExtension(unsigned char* destination, unsigned char type, const char* text,
                                 bool measure) {
  const std::u16string utf16 = plat::ToUtf16(text);
  const auto size = static_cast<std::uint32_t>(2 * utf16.size() + 3);
  if (measure) return size;
  destination[0] = type;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const bool separator = type == 0x45 && utf16[i] == u'\\';
    Put16(destination + 1 + 2 * i, separator ? 0xFFFF : utf16[i]);
  }
  Put16(destination + size - 2, 0);
  return size;
}

// Level-0 path: directory and name, cut to 233 bytes without splitting a
// double-byte character. Returns its length in the header.
unsigned EncodeLevel0Path(unsigned char* destination, const ArchiveEntry& entry) {
  char path[kPathSize];
  const std::size_t directoryLength = std::strlen(entry.directory);
  std::memcpy(path, entry.directory, directoryLength);
  std::strcpy(path + directoryLength, entry.name);
  return static_cast<unsigned>(
      EncodeNameForHeader(reinterpret_cast<char*>(destination), kMaxLevel0Path, path));
}

// Length of a path buffer's text; kPathSize when it lacks its terminator.
std::size_t BoundedLength(const char (&text)[kPathSize]) {
  const void* end = std::memchr(text, '\0', kPathSize);
  return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : kPathSize;
}

void PutDosTime(unsigned char* base, plat::FileTime mtime) {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  if (!FileTimeToDosTime(UtcToLocal(mtime), &date, &time)) date = time = 0;
  Put16(base + 15, time);
  Put16(base + 17, date);
}

}  // namespace

std::uint32_t WriteHeader(plat::FileHandle file, const ArchiveEntry& given, bool measure_only) {
  const int level = given.header_level;
  if (level != 0 && level != 1 && level != 2) return 0;
  const std::size_t nameLength = BoundedLength(given.name);
  const std::size_t directoryLength = BoundedLength(given.directory);
  if (nameLength + directoryLength > kPathSize - 1) return 0;
  // A name with wide characters: the classic fields get its CP932 form and
  // 0x44/0x45 the exact name, which only level 2 can carry.
  const bool wideName = plat::HasWideChars(given.name);
  const bool wideDirectory = plat::HasWideChars(given.directory);
  if ((wideName || wideDirectory) && level != 2) return 0;
  if ((wideName && plat::ToUtf16(given.name).empty()) ||
      (wideDirectory && plat::ToUtf16(given.directory).empty())) {
    return 0;  // a part that is not CP932 either
  }
  ArchiveEntry cp932Form;
  if (wideName || wideDirectory) {
    cp932Form = given;
    std::strcpy(cp932Form.name, plat::Cp932FormOf(given.name).c_str());
    std::strcpy(cp932Form.directory, plat::Cp932FormOf(given.directory).c_str());
  }
  const ArchiveEntry& entry = wideName || wideDirectory ? cp932Form : given;
  const bool largeSizes = IsLarge(given.packed_size) || IsLarge(given.original_size);
  if (largeSizes && level != 2) return 0;

  unsigned char header[kHeaderBufferSize];
  const bool measure = measure_only;
  unsigned n = 0;  // length of the base header's name field (levels 0 and 1)
  bool nameExtension = level == 2;
  std::uint32_t baseLength = 26;
  if (level == 0) {
    n = EncodeLevel0Path(header + 22, entry);
    baseLength = 24 + n;
  } else if (level == 1) {
    if (nameLength <= kMaxLevel1Name) {
      n = static_cast<unsigned>(nameLength);
    } else {
      nameExtension = true;
    }
    baseLength = 27 + n;
  }
  if (nameExtension && nameLength > kMaxExtendedName) return 0;
  if (level != 0 && directoryLength > kMaxExtendedName) return 0;

  // Extended headers, each linked through the size field just before it.
  std::uint32_t length = baseLength;
  std::uint32_t sizeField = baseLength - 2;
  std::uint32_t crcExtension = 0;
  auto link = [&](std::uint32_t size) {
    if (!measure) Put16(header + sizeField, size);
    sizeField = length + size - 2;
    length += size;
  };
  if (level != 0) {
    if (nameExtension) {
      link(WritePathExtension(header + length, 0x01, entry.name, measure, kExtendedNameCapacity));
    }
    if (directoryLength > 0) {
      link(WritePathExtension(header + length, 0x02, entry.directory, measure,
                              kExtendedNameCapacity));
    }
    if (wideName) link(WriteWideExtension(header + length, 0x44, given.name, measure));
    if (wideDirectory) link(WriteWideExtension(header + length, 0x45, given.directory, measure));
    if (entry.attributes != 0x20) {
      link(WriteWordExtension(header + length, 0x40, entry.attributes & 0xFFFF, measure));
    }
    if (entry.has_unix_mode)
      link(WriteWordExtension(header + length, 0x50, entry.unix_mode, measure));
    if (largeSizes) link(WriteSizeExtension(header + length, entry, measure));
    crcExtension = length;
    link(WriteWordExtension(header + length, 0x00, 0, measure));
  }
  // Level-2 headers never start with 0x00 (the end mark), so a total that is
  // a multiple of 256 gets one pad byte.
  const bool pad = level == 2 && (length & 0xFF) == 0;
  if (pad) ++length;
  if (measure) return length;

  // The base header.
  std::uint32_t packedField = BaseSizeField(entry.packed_size);
  if (level == 1) {
    const std::uint32_t extensions = length - baseLength;
    if (packedField > UINT32_MAX - extensions) return 0;
    packedField += extensions;
  }
  std::memcpy(header + 2, entry.method, 5);
  Put32(header + 7, packedField);
  Put32(header + 11, BaseSizeField(entry.original_size));
  header[20] = static_cast<unsigned char>(level);
  if (level == 2) {
    std::uint32_t unixTime = 0;
    FileTimeToUnixTime(entry.mtime, &unixTime);  // stored even when out of range
    Put32(header + 15, unixTime);
    header[19] = 0x20;
    Put16(header + 21, entry.crc);
    header[23] = entry.os_id;
    if (pad) header[length - 1] = 0x00;
    Put16(header, length);
  } else {
    PutDosTime(header, entry.mtime);
    header[19] = static_cast<unsigned char>(entry.attributes);
    header[21] = static_cast<unsigned char>(n);
    if (level == 1) {
      EncodeNameForHeader(reinterpret_cast<char*>(header + 22), n, entry.name);
      header[24 + n] = entry.os_id;
    }
    Put16(header + 22 + n, entry.crc);
    header[0] = static_cast<unsigned char>(baseLength - 2);
    header[1] = HeaderChecksum(header + 2, baseLength - 2);
  }
  if (level != 0) Put16(header + crcExtension + 1, Crc16Update(0, header, length));

  const long written = plat::WriteFile(file, header, length);
  return written == static_cast<long>(length) ? length : 0;
}

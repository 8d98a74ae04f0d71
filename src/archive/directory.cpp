// The directory load and the search for an archive inside an .exe.
#include "archive/directory.h"

#include <cstring>
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

ArchiveEntry Directory::operator[](std::size_t index) const {
  const Record& r = records_[index];
  ArchiveEntry entry;
  std::memcpy(entry.method, r.method, sizeof entry.method);
  entry.os_id = r.os_id;
  entry.packed_size = PackedSizeAt(index);
  entry.original_size = r.large ? LargeSizesOf(r)[1] : r.original_size;
  entry.mtime = r.mtime;
  entry.attributes = r.attributes;
  std::strcpy(entry.directory, strings_.c_str() + r.directory);
  std::strcpy(entry.name, strings_.c_str() + r.name);
  entry.crc = r.crc;
  entry.header_offset = r.header_offset;
  entry.data_offset = r.data_offset;
  entry.header_level = r.header_level;
  entry.has_unix_mode = r.has_unix_mode;
  entry.has_unix_owner = r.has_unix_owner;
  entry.unix_mode = r.unix_mode;
  entry.unix_uid = r.unix_uid;
  entry.unix_gid = r.unix_gid;
  return entry;
}

std::string Directory::MemberPathAt(std::size_t index) const {
  const Record& r = records_[index];
  return std::string(strings_.c_str() + r.directory) + (strings_.c_str() + r.name);
}

std::uint32_t Directory::Store(const char* text) {
  const std::size_t length = std::strlen(text);
  // Offsets are 32-bit: a directory beyond 4 GiB of names is out of memory.
  if (strings_.size() + length + 1 > UINT32_MAX) throw std::bad_alloc();
  const auto offset = static_cast<std::uint32_t>(strings_.size());
  strings_.append(text, length + 1);
  return offset;
}

Directory::Record Directory::RecordOf(const ArchiveEntry& entry) {
  if (strings_.empty()) strings_.push_back('\0');  // offset 0: the empty text
  Record r;
  std::memcpy(r.method, entry.method, sizeof r.method);
  r.os_id = entry.os_id;
  r.header_level = static_cast<std::uint8_t>(entry.header_level);
  r.large = entry.packed_size > UINT32_MAX || entry.original_size > UINT32_MAX;
  if (r.large) {
    if (largeSizes_.size() / 2 > UINT32_MAX) throw std::bad_alloc();
    r.packed_size = static_cast<std::uint32_t>(largeSizes_.size() / 2);
    r.original_size = 0;
    const std::uint64_t pair[2] = {entry.packed_size, entry.original_size};
    largeSizes_.insert(largeSizes_.end(), pair, pair + 2);  // both or, on bad_alloc, neither
  } else {
    r.packed_size = static_cast<std::uint32_t>(entry.packed_size);
    r.original_size = static_cast<std::uint32_t>(entry.original_size);
  }
  r.attributes = entry.attributes;
  r.crc = entry.crc;
  r.mtime = entry.mtime;
  r.header_offset = entry.header_offset;
  r.data_offset = entry.data_offset;
  r.has_unix_mode = entry.has_unix_mode;
  r.has_unix_owner = entry.has_unix_owner;
  r.unix_mode = entry.unix_mode;
  r.unix_uid = entry.unix_uid;
  r.unix_gid = entry.unix_gid;
  if (entry.directory[0] == '\0') {
    r.directory = 0;
  } else {
    if (lastDirectory_ == 0 ||
        std::strcmp(strings_.c_str() + lastDirectory_, entry.directory) != 0) {
      lastDirectory_ = Store(entry.directory);
    }
    r.directory = lastDirectory_;
  }
  r.name = entry.name[0] == '\0' ? 0 : Store(entry.name);
  return r;
}

void Directory::push_back(const ArchiveEntry& entry) { records_.push_back(RecordOf(entry)); }

void Directory::Replace(std::size_t index, const ArchiveEntry& entry) {
  records_[index] = RecordOf(entry);
}

void Directory::Relocate(std::size_t index, std::uint64_t headerOffset, std::uint64_t dataOffset) {
  records_[index].header_offset = headerOffset;
  records_[index].data_offset = dataOffset;
}

void Directory::Remove(const std::vector<std::int32_t>& indices) {
  std::size_t kept = 0;
  std::size_t next = 0;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (next < indices.size() && static_cast<std::size_t>(indices[next]) == i) {
      ++next;
      continue;
    }
    if (kept != i) records_[kept] = records_[i];
    ++kept;
  }
  records_.resize(kept);
}

void Directory::clear() {
  std::vector<Record>().swap(records_);
  std::string().swap(strings_);
  lastDirectory_ = 0;
  std::vector<std::uint64_t>().swap(largeSizes_);
}

StatusCode LoadDirectoryFrom(ArchiveInput& in, Directory& entries,
                             const std::function<void(std::size_t)>& loaded) {
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
    if (loaded) loaded(entries.size() - 1);
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

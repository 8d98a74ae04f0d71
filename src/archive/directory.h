// The directory of an archive: its members in file order, kept compactly
// (the fixed fields of each member, and its directory and name parts in one
// shared store of strings, so a member costs some 64 bytes rather than two
// path buffers, and sizes beyond 32 bits in a side table, as such members
// are rare); the load of every header from the first to the end mark;
// and the search for the first header inside a self-extracting file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_input.h"
#include "archive/entry.h"
#include "archive/status.h"

class Directory {
 public:
  // Walks the members, each handed out as a whole ArchiveEntry.
  class Iterator {
   public:
    Iterator(const Directory* directory, std::size_t index)
        : directory_(directory), index_(index) {}
    ArchiveEntry operator*() const { return (*directory_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    const Directory* directory_;
    std::size_t index_;
  };

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  ArchiveEntry operator[](std::size_t index) const;
  ArchiveEntry back() const { return (*this)[size() - 1]; }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }
  std::uint64_t HeaderOffsetAt(std::size_t index) const { return records_[index].header_offset; }
  std::uint64_t PackedSizeAt(std::size_t index) const {
    const Record& r = records_[index];
    return r.large ? LargeSizesOf(r)[0] : r.packed_size;
  }
  // The directory part followed by the name part of member `index`.
  std::string MemberPathAt(std::size_t index) const;

  // These may throw std::bad_alloc.
  void push_back(const ArchiveEntry& entry);
  void Replace(std::size_t index, const ArchiveEntry& entry);
  // The member's header and data now lie at these offsets.
  void Relocate(std::size_t index, std::uint64_t headerOffset, std::uint64_t dataOffset);
  // Removes the members at `indices` (ascending, without repeats) in one pass.
  void Remove(const std::vector<std::int32_t>& indices);
  // Empties the directory and gives its memory back.
  void clear();

 private:
  struct Record {
    char method[6];
    std::uint8_t os_id;
    std::uint8_t header_level;
    // The sizes; with `large` set, packed_size is instead the index of the
    // member's pair of 64-bit sizes in largeSizes_.
    std::uint32_t packed_size;
    std::uint32_t original_size;
    std::uint32_t attributes;
    std::uint16_t crc;
    std::uint16_t unix_mode;  // fills the gap before mtime
    plat::FileTime mtime;
    std::uint64_t header_offset;
    std::uint64_t data_offset;
    std::uint32_t directory;  // offsets of NUL-terminated texts in strings_
    std::uint32_t name;
    std::uint16_t unix_uid;
    std::uint16_t unix_gid;
    bool has_unix_mode;
    bool has_unix_owner;
    bool large;
  };
  // A million members are listed in some 90 MB: sizes beyond 32 bits live in
  // a side table, not in a larger record.
  static_assert(sizeof(Record) <= 64);

  // A large member's packed and original size.
  const std::uint64_t* LargeSizesOf(const Record& r) const {
    return &largeSizes_[2 * std::size_t{r.packed_size}];
  }
  std::uint32_t Store(const char* text);
  Record RecordOf(const ArchiveEntry& entry);

  std::vector<Record> records_;
  // Every directory and name part, each ended by a NUL; a directory part is
  // stored once for a run of members in the same folder.
  std::string strings_;
  std::uint32_t lastDirectory_ = 0;
  // Packed and original size of each member that needs 64 bits, in pairs;
  // a replaced member's pair stays until clear().
  std::vector<std::uint64_t> largeSizes_;
};

// Reads every header from the input's position on, skipping each member's
// data, into `entries`. The directory is complete with kStatusOk (end mark),
// kStatusNoEndMark (end of file) or kStatusHeaderCrcWarning (a checksum or
// header CRC differed, then an end mark); any other status tells why not.
// `loaded`, when given, hears the index of each member as it joins.
StatusCode LoadDirectoryFrom(ArchiveInput& in, Directory& entries,
                             const std::function<void(std::size_t)>& loaded = nullptr);

// The offset of the first member header in `window` (the first bytes of a
// self-extracting file), or -1 when there is none. A method field such as
// "-lh5-" counts when its header's level byte and checksum (levels 0, 1) or
// attribute byte and first extended-header size (level 2) fit.
std::int64_t FindFirstHeader(const unsigned char* window, std::uint32_t size);

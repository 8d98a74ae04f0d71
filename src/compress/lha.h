// CLha: the archive object of every run, a CUnlha that can also add members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "archive/unlha.h"
#include "lzh/encoder.h"

class CLha : public CUnlha {
 public:
  CLha() = default;
  ~CLha() override = default;

  int freshenOnly = 0;
  int headerLevel = 2;
  int storeOnly = 0;
  int methodChoice = 1;  // 0: -lh5-, 1: -lh6-, 2: -lh7-

  // Adds one file or directory (name relative to baseDir). 1 on success.
  int AddFile(const char* name);
  // Writes header and data of one member at the end of `output`.
  // Returns false when the member could not be written whole.
  bool WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry);
  bool FindMember(const char* memberPath, std::int32_t* index);

  // Member path -> index of its first record, kept beside `entries` so that
  // FindMember does not walk the directory. Rebuilt when the directory
  // changed size behind its back (deletion, reload).
  std::unordered_map<std::string, std::int32_t> memberIndex;
  std::size_t indexedCount = 0;

  // Header bytes of `entry` at its header_level (archive/header_writer.cpp).
  // Returns the length, 0 for an unknown level or a short write.
  std::uint32_t WriteHeader(plat::FileHandle file, const ArchiveEntry& entry, bool measure_only);

  // The encoder of every compressed member, made on first use.
  std::unique_ptr<lzh::Encoder> encoder;
};

// CLha: the archive object of every run, a CUnlha that can also add members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "lzh/encoder.h"
#include "ops/unlha.h"

class CLha : public CUnlha {
 public:
  explicit CLha(const ArchiveOptions& options = {}, CInquireEvent* inquire = nullptr)
      : CUnlha(options, inquire) {}
  ~CLha() override = default;

  // Adds one file or directory (name relative to the base directory), new or
  // replacing the member of its path; `storeOnly` stores it as it is.
  StatusCode AddFile(const char* name, bool storeOnly);
  // Writes header and data of one member at the end of `output`. A member
  // that could not be written whole gives up the rewrite.
  StatusCode WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                         bool storeOnly);

 private:
  bool FindMember(const std::string& memberPath, std::int32_t* index);
  StatusCode Store(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry);
  StatusCode Compress(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry);

  // Member path -> index of its first record, kept beside the directory so
  // that FindMember does not walk it. Rebuilt when the directory changed
  // size behind its back (deletion, reload).
  std::unordered_map<std::string, std::int32_t> memberIndex_;
  std::size_t indexedCount_ = 0;
  // The encoder of every compressed member, made on first use.
  std::unique_ptr<lzh::Encoder> encoder_;
};

// STUB: replaced by the update work.
#include "compress/lha.h"
int CLha::AddFile(const char*) { status = kStatusCannotOpenFile; return 0; }
bool CLha::WriteMember(plat::FileHandle, plat::FileHandle, ArchiveEntry&) { return false; }
bool CLha::FindMember(const char*, std::int32_t*) { return false; }
bool CUnlha::MakeWorkFileName(char*) { return false; }
bool CUnlha::BeginRewrite() { return false; }
bool CUnlha::DeleteMember(ArchiveEntry*) { return false; }
bool CUnlha::DeleteMembers(const std::vector<std::int32_t>&) { return false; }
bool CUnlha::CloseAndCommit() { entries.clear(); return true; }
std::int64_t CUnlha::CopyBytes(plat::FileHandle, plat::FileHandle, std::uint64_t) { return -1; }

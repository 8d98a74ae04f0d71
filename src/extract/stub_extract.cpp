// STUB: replaced by the extraction work.
#include "archive/unlha.h"
#include "extract/decoder.h"
int GetMethodNumber(const char*) { return -1; }
std::uint16_t DecodeMember(ArchiveEntry&, int* success, int*) { *success = 0; return 0; }
bool CUnlha::ExtractEntry(ArchiveEntry&) { return false; }
bool CUnlha::ExtractFromHandle(plat::FileHandle, ArchiveEntry&) { return false; }
std::uint16_t CUnlha::UnpackData(plat::FileHandle, plat::FileHandle, ArchiveEntry&, int*, int*) { return 0; }
std::int64_t CUnlha::CopyData(plat::FileHandle, plat::FileHandle, std::uint32_t, std::uint16_t*) { return -1; }

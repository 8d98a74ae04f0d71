// STUB: replaced by the archive container work.
#include "archive/checksum.h"
#include "archive/header_names.h"
#include "archive/timestamp.h"
#include "archive/unlha.h"
#include "compress/lha.h"
void Crc16InitTable() {}
std::uint16_t Crc16Update(std::uint16_t crc, const void*, long) { return crc; }
std::uint8_t HeaderChecksum(const void*, long) { return 0; }
bool DosTimeToFileTime(std::uint16_t, std::uint16_t, plat::FileTime*) { return false; }
bool FileTimeToDosTime(plat::FileTime, std::uint16_t*, std::uint16_t*) { return false; }
plat::FileTime UnixTimeToFileTime(std::uint32_t) { return 0; }
bool FileTimeToUnixTime(plat::FileTime, std::uint32_t*) { return false; }
plat::FileTime LocalToUtc(plat::FileTime t) { return t; }
plat::FileTime UtcToLocal(plat::FileTime t) { return t; }
std::size_t EncodeNameForHeader(char*, std::size_t, const char*) { return 0; }
void DecodeNameFromHeader(char*, const char*, std::size_t) {}
CUnlha::CUnlha() {}
CUnlha::~CUnlha() {}
bool CUnlha::Open(const char*, bool) { status = kStatusCannotOpen; return false; }
bool CUnlha::LoadDirectory(plat::FileHandle) { return false; }
bool CUnlha::FindEmbeddedArchive(plat::FileHandle, std::uint32_t) { return false; }
bool CUnlha::ReadHeader(plat::FileHandle, ArchiveEntry&) { return false; }
std::uint32_t CLha::WriteHeader(plat::FileHandle, const ArchiveEntry&, bool) { return 0; }

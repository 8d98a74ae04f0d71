// STUB: replaced by the front-end work (patterns, listing, extract runner).
#include "cli/frontend.h"
bool MatchWildcard(const char*, const char*) { return false; }
bool IsSelected(const char*) { return true; }
bool IsStoreOnly(const char*) { return false; }
std::string StoredPath(const ArchiveEntry& e) { return std::string(e.directory) + e.name; }
int ListArchive(const char*, int, int) { return 0; }
int RunExtract() { return 2; }

// Where an extracted member goes: its path below the base directory, the
// check for paths that could leave the extraction folder, and the making of
// directories and output files.
#pragma once

#include <string>

#include "archive/entry.h"
#include "platform/platform.h"

// The member path used below the base directory: directory and name when
// directories are in use, the name alone otherwise. False when it does not
// fit in kPathSize bytes.
bool MakeRelativePath(const ArchiveEntry& entry, bool useDirs, char* relative);
// baseDir, a backslash and the relative path, or the relative path alone
// when baseDir is empty or the relative path begins with a backslash;
// lower-cased when asked. False (and nothing written past `output`) when the
// result does not fit in kPathSize bytes.
bool MakeOutputPath(const char* baseDir, const char* relative, bool lowerCase, char* output);
// True when the relative path could land outside the extraction folder.
bool IsUnsafePath(const char* relative);

bool MakeParentDirectories(const char* path);
// Creates a fresh, private scratch file in the folder of `path` (made when
// missing), where a member is written before it takes its name; its name
// goes to *temporary.
plat::FileHandle CreateOutputFile(const char* path, std::string* temporary);

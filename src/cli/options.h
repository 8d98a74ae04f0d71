// The options value of one run: made by ParseCommandLine and handed by const
// reference to the runners; its archive part goes to the archive object.
#pragma once

#include <string>
#include <vector>

#include "ops/options.h"

struct Options {
  ArchiveOptions archive;
  std::string archiveName;                     // as resolved (".lzh" possibly appended)
  std::string baseDirectory;                   // the last argument ending in a backslash
  bool listWithDirs = false;                   // v, -x: the listing shows directory parts
  int quietLevel = 0;                          // -n: 1 bare listing, 2 no per-member lines
  bool strictNames = false;                    // -p: patterns match the whole stored path
  bool showTime = false;                       // -g: print the elapsed time
  bool storeDirEntries = false;                // -d: directories become members
  bool recurse = false;                        // -r2: collecting descends into directories
  bool noResponseFiles = false;                // --: '@' arguments are plain names
  std::vector<std::string> fileNames;          // names and patterns, in order
  std::vector<std::string> storeOnlyPatterns;  // *.ext from -z<ext>
};

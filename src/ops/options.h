// The settings of the archive side of one run: made by the command line and
// handed to the archive object, which keeps a copy.
#pragma once

#include <string>

struct ArchiveOptions {
  // Extraction and testing.
  bool skipPathCheck = false;   // -b: no check of member paths
  bool skipHidden = false;      // leave out files and members marked hidden
  bool skipSystem = false;      // ... and system
  bool clearReadOnly = false;   // extracted files lose the read-only attribute
  bool noConfirm = false;       // ask nothing: overwrite, go on after errors
  bool testMode = false;        // t: decode and check only
  bool keepGoing = false;       // -y: directory members with data are extracted
  bool lowerCaseNames = false;  // -i
  bool compareTimes = false;    // skip what is not newer
  bool useDirs = false;         // directory parts of member paths in use
  std::string baseDir;          // put in front of member paths
  // Adding.
  bool freshenOnly = false;  // f: only files that are members already
  int headerLevel = 2;       // 0, 1 or 2
  bool storeOnly = false;    // -z: store every file as it is
  int methodChoice = 1;      // 0: -lh5-, 1: -lh6-, 2: -lh7-
  // Threads that decode and compress members (1: the main thread alone).
  int threads = 1;
};

// Front-end state of one run and the operations of the command-line front
// end: parsing, name patterns, listing, questions and the command runners.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/entry.h"
#include "archive/inquire_event.h"
#include "compress/lha.h"

struct FrontEnd {
  char archiveName[kPathSize] = {};
  char baseDirectory[kPathSize] = {};
  int listWithDirs = 0;
  int quietLevel = 0;
  int strictNames = 0;
  int showTime = 0;
  int storeDirEntries = 0;
  int recurse = 0;
  int noResponseFiles = 0;
  std::vector<std::string> fileNames;
  std::vector<std::string> storeOnlyPatterns;
  CLha* archive = nullptr;  // the archive object of the run, not owned
};

// The one instance of the process.
extern FrontEnd frontEnd;

// ---- messages (cli/console.cpp) ----
// A name or path as the console shows it: every byte below 0x20 and 0x7F
// becomes '?', so a name can never move the cursor, clear the screen or
// retitle the window. (Those bytes never occur inside a double-byte
// character.) Every name in a console line goes through it.
std::string ShownName(std::string_view name);
void AppendShownName(std::string& out, std::string_view name);
void Printf(const char* format, ...);      // standard output
void PrintError(const char* format, ...);  // "エラー: " + message on standard error
void PrintHelp();

// ---- command line (cli/command_line.cpp) ----
void SetDefaultOptions();
// args: the arguments after the program name, as CP932 strings.
int ParseCommandLine(const std::vector<std::string>& args);
int ParseModifier(const char* arg);
void ReadResponseFile(const char* name);
int CollectFiles(const char* pattern);
void AddName(const char* name);
void AddStoreOnlyPattern(const char* pattern);

// ---- name patterns (cli/patterns.cpp) ----
bool MatchWildcard(const char* name, const char* pattern);
bool IsSelected(const char* path);
bool IsStoreOnly(const char* path);
// directory + name with a final backslash removed.
std::string StoredPath(const ArchiveEntry& entry);

// ---- listing (cli/listing.cpp) ----
int ListArchive(const char* archiveName, int listWithDirs, int quietLevel);

// ---- questions (cli/user_inquire.cpp) ----
class CUserInquireEvent : public CInquireEvent {
 public:
  void AskExtractPath(const char* name, int* yes, int* all) override;
  void AskOverwrite(const char* name, int* yes, int* all) override;
};
int AskContinue();

// ---- runners (cli/run_extract.cpp, cli/run_add.cpp) ----
int RunExtract();
int RunAdd();
int RunDelete();

// ---- driver (cli/driver.cpp) ----
int TsuboMain(int argc, char** argv);

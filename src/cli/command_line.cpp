// The command line: option defaults, the walk over the arguments, option
// modifiers, response files and the expansion of names for the add commands.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

FrontEnd frontEnd;

namespace {

constexpr std::size_t kMaxPath = kPathSize - 1;  // longest path, without its terminator

// Parsing errors that were already reported end the run here: the archive
// is not open yet, so there is nothing to commit or close.
[[noreturn]] void ExitRun(int code) {
  plat::FlushConsole();
  std::exit(code);
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool EndsWithBackslash(const char* s) { return *s && *plat::LastChar(s) == '\\'; }

void CopyPath(char* destination, const char* source) {
  std::size_t length = std::strlen(source);
  std::memcpy(destination, source, length + 1);
}

// Command letter: sets the command code and the settings that go with it.
int ApplyCommandLetter(char letter) {
  CLha& archive = *frontEnd.archive;
  switch (letter) {
    case 'a':
      archive.compareTimes = 0;
      return 2;
    case 'u':
      return 2;
    case 'f':
      archive.freshenOnly = 1;
      return 2;
    case 'd':
      return 3;
    case 'e':
      return 1;
    case 'x':
      archive.useDirs = 1;
      archive.noConfirm = 1;
      return 1;
    case 't':
      archive.testMode = 1;
      return 1;
    case 'v':
      frontEnd.listWithDirs = 1;
      return 0;
    default:  // 'l' and every other single character list the archive
      return 0;
  }
}

// Archive name: ".lzh" is appended unless the name ends in ".lzh" or ".exe".
bool SetArchiveName(const char* arg) {
  std::size_t length = std::strlen(arg);
  if (length >= kPathSize) return false;
  const char* dot = std::strrchr(arg, '.');
  bool keep = dot && (EqualsNoCase(dot, ".lzh") || EqualsNoCase(dot, ".exe"));
  if (!keep && length >= kPathSize - 4) return false;
  CopyPath(frontEnd.archiveName, arg);
  if (!keep) std::strcat(frontEnd.archiveName, ".lzh");
  return true;
}

bool SetBaseDirectory(const char* arg) {
  if (std::strlen(arg) >= kPathSize) return false;
  CopyPath(frontEnd.baseDirectory, arg);
  CopyPath(frontEnd.archive->baseDir, arg);
  return true;
}

// -z: bare or "1" stores everything, "0" changes nothing, any other text T
// adds the pattern "*T" (T starting with '.') or "*.T".
bool ApplyStoreOnly(const char* text) {
  if (*text == '\0' || std::strcmp(text, "1") == 0) {
    frontEnd.archive->storeOnly = 1;
    return true;
  }
  if (std::strcmp(text, "0") == 0) return true;
  std::string pattern = text[0] == '.' ? "*" : "*.";
  pattern += text;
  if (pattern.size() > kMaxPath) return false;
  AddStoreOnlyPattern(pattern.c_str());
  return true;
}

// Sets *flag from an on/off value; any other value is refused.
bool SetFlag(int value, int* flag) {
  if (value != 0 && value != 1) return false;
  *flag = value;
  return true;
}

// Sets *level from a value of 0 to 2; any other value is refused.
bool SetLevel(int value, int* level) {
  if (value < 0 || value > 2) return false;
  *level = value;
  return true;
}

// One option argument ("-x", "-x0", "-zext", ...). False for a bad one.
bool ApplyOption(const char* arg) {
  if (std::strlen(arg) <= 1) return false;
  char letter = arg[1];
  int value = ParseModifier(arg);
  if (value == -1 && letter != 'z' && letter != 'o') return false;
  CLha& archive = *frontEnd.archive;
  switch (letter) {
    case '-':
      return SetFlag(value, &frontEnd.noResponseFiles);
    case 'a':
      if (value < 0 || value > 2) return false;
      archive.skipHidden = archive.skipSystem = archive.clearReadOnly = value == 0 ? 1 : 0;
      return true;
    case 'b':
      return SetFlag(value, &archive.skipPathCheck);
    case 'c':
      if (value != 0 && value != 1) return false;
      archive.compareTimes = 1 - value;
      return true;
    case 'd':
      if (value != 0 && value != 1) return false;
      frontEnd.storeDirEntries = frontEnd.recurse = archive.useDirs = value;
      return true;
    case 'g':
      return SetFlag(value, &frontEnd.showTime);
    case 'h':
      return SetLevel(value, &archive.headerLevel);
    case 'i':
      return SetFlag(value, &archive.lowerCaseNames);
    case 'm':
      return SetFlag(value, &archive.noConfirm);
    case 'n':
      return SetLevel(value, &frontEnd.quietLevel);
    case 'o':
      switch (value) {
        case 0:
        case 3:
          archive.methodChoice = 1;  // -lh6-
          return true;
        case 2:
          archive.methodChoice = 0;  // -lh5-
          return true;
        case 4:
          archive.methodChoice = 2;  // -lh7-
          return true;
        default:
          return false;
      }
    case 'p':
      return SetFlag(value, &frontEnd.strictNames);
    case 'r':
      if (value == 2)
        frontEnd.recurse = 1;
      else if (value == 0)
        frontEnd.recurse = 0;
      else
        return false;
      return true;
    case 'x':
      if (value != 0 && value != 1) return false;
      frontEnd.listWithDirs = archive.useDirs = value;
      return true;
    case 'y':
      return SetFlag(value, &archive.keepGoing);
    case 'z':
      return ApplyStoreOnly(arg + 2);
    default:
      return false;
  }
}

// Appends one response-file line; lines that do not fit a path are refused.
void AddResponseLine(const char* fileName, int lineNumber, const std::string& raw) {
  std::string line = plat::ExternalToInternal(raw);
  if (line.size() > kMaxPath) {
    PrintError(msg::kMsgResponseLineTooLong, lineNumber, ShownName(fileName).c_str());
    ExitRun(2);
  }
  AddName(line.c_str());
}

}  // namespace

void SetDefaultOptions() {
  frontEnd.listWithDirs = 0;
  frontEnd.quietLevel = 0;
  frontEnd.strictNames = 0;
  frontEnd.showTime = 0;
  frontEnd.storeDirEntries = 0;
  frontEnd.recurse = 0;
  frontEnd.noResponseFiles = 0;
  frontEnd.baseDirectory[0] = '\0';
  CLha& archive = *frontEnd.archive;
  archive.compareTimes = 1;
  archive.skipHidden = 1;
  archive.skipSystem = 1;
  archive.clearReadOnly = 1;
  archive.noConfirm = 0;
  archive.methodChoice = 1;
  archive.freshenOnly = 0;
  archive.baseDir[0] = '\0';
}

int ParseModifier(const char* arg) {
  std::size_t length = std::strlen(arg);
  if (length <= 1) return -1;
  if (length == 2) return 1;
  if (length == 3) return (arg[2] >= '0' && arg[2] <= '9') ? arg[2] - '0' : 0;
  return -1;
}

int ParseCommandLine(const std::vector<std::string>& args) {
  int command = 0;
  bool commandSeen = false;
  bool archiveSeen = false;
  for (const std::string& argument : args) {
    const char* arg = argument.c_str();
    if (arg[0] == '-' || arg[0] == '/') {
      if (!ApplyOption(arg)) return -1;
    } else if (!commandSeen && std::strlen(arg) == 1) {
      command = ApplyCommandLetter(arg[0]);
      commandSeen = true;
    } else if (!archiveSeen) {
      if (!SetArchiveName(arg)) return -1;
      archiveSeen = true;
    } else if (EndsWithBackslash(arg)) {
      if (!SetBaseDirectory(arg)) return -1;
    } else if (!frontEnd.noResponseFiles && arg[0] == '@') {
      ReadResponseFile(arg + 1);
    } else if (command == 2) {
      CollectFiles(arg);
    } else {
      AddName(arg);
    }
  }
  return command;
}

void ReadResponseFile(const char* name) {
  plat::FileHandle file =
      plat::OpenFile(name, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) {
    PrintError(msg::kMsgResponseFileOpen, ShownName(name).c_str());
    ExitRun(2);
  }
  // A converted line is never shorter than a third of its external form, so
  // a pending line this long cannot fit any more: stop collecting it early.
  constexpr std::size_t kMaxRawLine = 3 * kMaxPath + 3;
  std::string line;
  int lineNumber = 1;
  bool dropLineFeed = false;
  char buffer[4096];
  long count;
  while ((count = plat::ReadFile(file, buffer, sizeof buffer)) > 0) {
    for (long i = 0; i < count; ++i) {
      char c = buffer[i];
      // The line feed of a CR LF pair is dropped; any other byte after a
      // carriage return starts the next name.
      if (dropLineFeed) {
        dropLineFeed = false;
        if (c == '\n') continue;
      }
      if (c == '\r') {
        AddResponseLine(name, lineNumber, line);
        line.clear();
        ++lineNumber;
        dropLineFeed = true;
        continue;
      }
      line.push_back(c);
      if (line.size() > kMaxRawLine) {
        plat::CloseFile(file);
        PrintError(msg::kMsgResponseLineTooLong, lineNumber, ShownName(name).c_str());
        ExitRun(2);
      }
    }
  }
  plat::CloseFile(file);
  if (!line.empty()) AddResponseLine(name, lineNumber, line);
}

int CollectFiles(const char* pattern) {
  std::string full = std::string(frontEnd.baseDirectory) + pattern;
  if (full.size() > kMaxPath) {
    PrintError(msg::kMsgPathTooLong, ShownName(full).c_str());
    ExitRun(2);
  }
  std::vector<plat::FindData> found;
  std::vector<std::string> unconvertible;
  // The search succeeds on an empty directory searched with "*" (the
  // directory's own "." matched, as on Windows), so only a failed search is
  // a missing path.
  bool matched = plat::FindFiles(full.c_str(), found, &unconvertible);

  const char* lastBackslash = plat::FindLastBackslash(pattern);
  std::string prefix(pattern, lastBackslash ? lastBackslash + 1 - pattern : 0);
  for (const std::string& name : unconvertible) {
    PrintError(msg::kMsgUnconvertibleName, ShownName(prefix + name).c_str());
  }
  if (found.empty()) {
    if (!matched && unconvertible.empty()) Printf(msg::kMsgPathNotFound, ShownName(full).c_str());
    return 0;
  }

  int added = 0;
  for (const plat::FindData& entry : found) {
    bool isDirectory = (entry.attributes & plat::kAttrDirectory) != 0;
    if (isDirectory && (entry.name == "." || entry.name == "..")) continue;
    std::string path = prefix + entry.name;
    // The add runner joins the base directory and the name; that must fit.
    if (std::strlen(frontEnd.baseDirectory) + path.size() > kMaxPath) {
      PrintError(msg::kMsgPathTooLong, ShownName(frontEnd.baseDirectory + path).c_str());
      ExitRun(2);
    }
    if (isDirectory) {
      if (frontEnd.storeDirEntries) {
        AddName(path.c_str());
        ++added;
      }
      if (frontEnd.recurse) CollectFiles((path + "\\*").c_str());
    } else {
      AddName(path.c_str());
      ++added;
    }
  }
  return added;
}

void AddName(const char* name) { frontEnd.fileNames.emplace_back(name); }

void AddStoreOnlyPattern(const char* pattern) { frontEnd.storeOnlyPatterns.emplace_back(pattern); }

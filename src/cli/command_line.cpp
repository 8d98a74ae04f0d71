// The command line: option defaults, the walk over the arguments, option
// modifiers, response files and the expansion of names for the add commands.
#include <cstring>
#include <string>
#include <vector>

#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kMaxPath = kPathSize - 1;  // longest path, without its terminator

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool EndsWithBackslash(const char* s) { return *s && *plat::LastChar(s) == '\\'; }

// Command letter: sets the command code and the settings that go with it.
int ApplyCommandLetter(char letter, Options& options) {
  ArchiveOptions& archive = options.archive;
  switch (letter) {
    case 'a':
      archive.compareTimes = false;
      return 2;
    case 'u':
      return 2;
    case 'f':
      archive.freshenOnly = true;
      return 2;
    case 'd':
      return 3;
    case 'e':
      return 1;
    case 'x':
      archive.useDirs = true;
      archive.noConfirm = true;
      return 1;
    case 't':
      archive.testMode = true;
      return 1;
    case 'v':
      options.listWithDirs = true;
      return 0;
    default:  // 'l' and every other single character list the archive
      return 0;
  }
}

// Archive name: ".lzh" is appended unless the name ends in ".lzh" or ".exe".
bool SetArchiveName(const char* arg, Options& options) {
  std::size_t length = std::strlen(arg);
  if (length >= kPathSize) return false;
  const char* dot = std::strrchr(arg, '.');
  bool keep = dot && (EqualsNoCase(dot, ".lzh") || EqualsNoCase(dot, ".exe"));
  if (!keep && length >= kPathSize - 4) return false;
  options.archiveName = arg;
  if (!keep) options.archiveName += ".lzh";
  return true;
}

bool SetBaseDirectory(const char* arg, Options& options) {
  if (std::strlen(arg) >= kPathSize) return false;
  options.baseDirectory = arg;
  options.archive.baseDir = arg;
  return true;
}

// -z: bare or "1" stores everything, "0" changes nothing, any other text T
// adds the pattern "*T" (T starting with '.') or "*.T".
bool ApplyStoreOnly(const char* text, Options& options) {
  if (*text == '\0' || std::strcmp(text, "1") == 0) {
    options.archive.storeOnly = true;
    return true;
  }
  if (std::strcmp(text, "0") == 0) return true;
  std::string pattern = text[0] == '.' ? "*" : "*.";
  pattern += text;
  if (pattern.size() > kMaxPath) return false;
  options.storeOnlyPatterns.push_back(pattern);
  return true;
}

// Sets *flag from an on/off value; any other value is refused.
bool SetFlag(int value, bool* flag) {
  if (value != 0 && value != 1) return false;
  *flag = value == 1;
  return true;
}

// Sets *level from a value of 0 to 2; any other value is refused.
bool SetLevel(int value, int* level) {
  if (value < 0 || value > 2) return false;
  *level = value;
  return true;
}

// One option argument ("-x", "-x0", "-zext", ...). False for a bad one.
bool ApplyOption(const char* arg, Options& options) {
  if (std::strlen(arg) <= 1) return false;
  char letter = arg[1];
  int value = ParseModifier(arg);
  if (value == -1 && letter != 'z' && letter != 'o') return false;
  ArchiveOptions& archive = options.archive;
  switch (letter) {
    case '-':
      return SetFlag(value, &options.noResponseFiles);
    case 'a':
      if (value < 0 || value > 2) return false;
      archive.skipHidden = archive.skipSystem = archive.clearReadOnly = value == 0;
      return true;
    case 'b':
      return SetFlag(value, &archive.skipPathCheck);
    case 'c':
      if (value != 0 && value != 1) return false;
      archive.compareTimes = value == 0;
      return true;
    case 'd':
      if (value != 0 && value != 1) return false;
      options.storeDirEntries = options.recurse = archive.useDirs = value == 1;
      return true;
    case 'g':
      return SetFlag(value, &options.showTime);
    case 'h':
      return SetLevel(value, &archive.headerLevel);
    case 'i':
      return SetFlag(value, &archive.lowerCaseNames);
    case 'm':
      return SetFlag(value, &archive.noConfirm);
    case 'n':
      return SetLevel(value, &options.quietLevel);
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
      return SetFlag(value, &options.strictNames);
    case 'r':
      if (value != 0 && value != 2) return false;
      options.recurse = value == 2;
      return true;
    case 'x':
      if (value != 0 && value != 1) return false;
      options.listWithDirs = archive.useDirs = value == 1;
      return true;
    case 'y':
      return SetFlag(value, &archive.keepGoing);
    case 'z':
      return ApplyStoreOnly(arg + 2, options);
    default:
      return false;
  }
}

// A name with characters that CP932 cannot hold needs the level-2 name
// headers: at levels 0 and 1 the add commands refuse it, never storing it
// under another name, and go on with the rest.
void RefuseWideNames(Options& options) {
  std::erase_if(options.fileNames, [](const std::string& name) {
    if (!plat::HasWideChars(name)) return false;
    PrintError(msg::kMsgUnconvertibleName, ShownName(name).c_str());
    return true;
  });
}

// Appends one response-file line; a line that does not fit a path is
// refused (false, reported).
bool AddResponseLine(const char* fileName, int lineNumber, const std::string& raw,
                     Options& options) {
  const plat::Argument line = plat::ExternalToInternal(raw);
  if (line.text.size() > kMaxPath) {
    PrintError(msg::kMsgResponseLineTooLong, lineNumber, ShownName(fileName).c_str());
    return false;
  }
  options.fileNames.push_back(line.text);
  return true;
}

}  // namespace

void SetDefaultOptions(Options& options) {
  options = Options{};
  options.archive.compareTimes = true;
  options.archive.skipHidden = true;
  options.archive.skipSystem = true;
  options.archive.clearReadOnly = true;
  options.archive.methodChoice = 1;
  options.archive.headerLevel = 2;
}

int ParseModifier(const char* arg) {
  std::size_t length = std::strlen(arg);
  if (length <= 1) return -1;
  if (length == 2) return 1;
  if (length == 3) return (arg[2] >= '0' && arg[2] <= '9') ? arg[2] - '0' : 0;
  return -1;
}

int ParseCommandLine(const std::vector<plat::Argument>& args, Options& options) {
  int command = 0;
  bool commandSeen = false;
  bool archiveSeen = false;
  for (const plat::Argument& argument : args) {
    const char* arg = argument.text.c_str();
    if (arg[0] == '-' || arg[0] == '/') {
      if (!ApplyOption(arg, options)) return -1;
    } else if (!commandSeen && std::strlen(arg) == 1) {
      command = ApplyCommandLetter(arg[0], options);
      commandSeen = true;
    } else if (!archiveSeen) {
      if (!SetArchiveName(arg, options)) return -1;
      archiveSeen = true;
    } else if (EndsWithBackslash(arg)) {
      if (!SetBaseDirectory(arg, options)) return -1;
    } else if (!options.noResponseFiles && arg[0] == '@') {
      if (!ReadResponseFile(arg + 1, options)) return kParseStopped;
    } else if (command == 2) {
      if (CollectFiles(arg, options) < 0) return kParseStopped;
    } else {
      options.fileNames.push_back(arg);
    }
  }
  if (command == 2 && options.archive.headerLevel != 2) RefuseWideNames(options);
  return command;
}

bool ReadResponseFile(const char* name, Options& options) {
  plat::FileHandle file =
      plat::OpenFile(name, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) {
    PrintError(msg::kMsgResponseFileOpen, ShownName(name).c_str());
    return false;
  }
  // A converted line is never shorter than a third of its external form, so
  // a pending line this long cannot fit any more: stop collecting it early.
  constexpr std::size_t kMaxRawLine = 3 * kMaxPath + 3;
  std::string line;
  int lineNumber = 1;
  bool dropLineFeed = false;
  bool ok = true;
  char buffer[4096];
  long count;
  while (ok && (count = plat::ReadFile(file, buffer, sizeof buffer)) > 0) {
    for (long i = 0; ok && i < count; ++i) {
      char c = buffer[i];
      // The line feed of a CR LF pair is dropped; any other byte after a
      // carriage return starts the next name.
      if (dropLineFeed) {
        dropLineFeed = false;
        if (c == '\n') continue;
      }
      if (c == '\r') {
        ok = AddResponseLine(name, lineNumber, line, options);
        line.clear();
        ++lineNumber;
        dropLineFeed = true;
        continue;
      }
      line.push_back(c);
      if (line.size() > kMaxRawLine) {
        PrintError(msg::kMsgResponseLineTooLong, lineNumber, ShownName(name).c_str());
        ok = false;
      }
    }
  }
  plat::CloseFile(file);
  if (ok && !line.empty()) ok = AddResponseLine(name, lineNumber, line, options);
  return ok;
}

int CollectFiles(const char* pattern, Options& options) {
  std::string full = options.baseDirectory + pattern;
  if (full.size() > kMaxPath) {
    PrintError(msg::kMsgPathTooLong, ShownName(full).c_str());
    return -1;
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
    PrintError(msg::kMsgUnconvertibleName, (ShownName(prefix) + ShownTyped(name)).c_str());
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
    if (options.baseDirectory.size() + path.size() > kMaxPath) {
      PrintError(msg::kMsgPathTooLong, ShownName(options.baseDirectory + path).c_str());
      return -1;
    }
    if (isDirectory) {
      if (options.storeDirEntries) {
        options.fileNames.push_back(path);
        ++added;
      }
      if (options.recurse && CollectFiles((path + "\\*").c_str(), options) < 0) return -1;
    } else {
      options.fileNames.push_back(path);
      ++added;
    }
  }
  return added;
}

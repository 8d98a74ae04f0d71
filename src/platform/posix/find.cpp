// Directory search of the POSIX backend: lists one directory, matches the
// names against the last component of the pattern as Windows does, and
// returns them sorted so that every machine gives the same order.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace plat {

namespace {

// Windows turns the wildcards of a search into these before matching:
// '?' may match nothing at a '.' or at the end of the name, a '.' before a
// wildcard or at the end of the pattern may match the end of the name, and
// a '*' before a '.' never swallows the last '.' of the name. So "*.*"
// matches every name, "*." the names without a dot, and "a?.txt" a.txt.
enum class Token { Literal, Star, StarBeforeDot, AnyChar, Dot };

struct Part {
  Token token;
  unsigned char first = 0, second = 0;  // a literal character (second 0: single byte)
};

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

std::vector<Part> Compile(const char* pattern) {
  std::vector<Part> parts;
  for (const char* p = pattern; *p; p = CharNext(p)) {
    const char* next = CharNext(p);
    Part part{Token::Literal};
    if (next - p == 2) {
      part.first = static_cast<unsigned char>(p[0]);
      part.second = static_cast<unsigned char>(p[1]);
    } else if (*p == '?') {
      part.token = Token::AnyChar;
    } else if (*p == '*') {
      part.token = *next == '.' ? Token::StarBeforeDot : Token::Star;
    } else if (*p == '.' && (*next == '\0' || *next == '?' || *next == '*')) {
      part.token = Token::Dot;
    } else {
      part.first = Fold(static_cast<unsigned char>(*p));
    }
    parts.push_back(part);
  }
  return parts;
}

bool HasWildcards(const char* text) {
  for (const char* p = text; *p; p = CharNext(p)) {
    if (*p == '*' || *p == '?') return true;
  }
  return false;
}

// Runs the pattern as a set of positions over the name, one character at a
// time, so no pattern can make the match slow.
class Matcher {
 public:
  explicit Matcher(const char* pattern) : parts_(Compile(pattern)) {}

  bool Matches(const char* name) const {
    const std::size_t n = parts_.size();
    std::vector<char> active(n + 1, 0), next(n + 1, 0);
    active[0] = 1;
    const char* lastDot = std::strrchr(name, '.');
    const char* p = name;
    for (;;) {
      bool atEnd = *p == '\0';
      // Parts that may match nothing here.
      for (std::size_t i = 0; i < n; ++i) {
        if (!active[i]) continue;
        Token t = parts_[i].token;
        if (t == Token::Star || t == Token::StarBeforeDot ||
            (t == Token::AnyChar && (atEnd || *p == '.')) || (t == Token::Dot && atEnd)) {
          active[i + 1] = 1;
        }
      }
      if (atEnd) return active[n] != 0;
      const char* after = CharNext(p);
      bool pair = after - p == 2;
      unsigned char c = static_cast<unsigned char>(*p);
      std::fill(next.begin(), next.end(), 0);
      bool any = false;
      for (std::size_t i = 0; i < n; ++i) {
        if (!active[i]) continue;
        const Part& part = parts_[i];
        bool stay = false, advance = false;
        switch (part.token) {
          case Token::Star:
            stay = true;
            break;
          case Token::StarBeforeDot:
            stay = p != lastDot;
            break;
          case Token::AnyChar:
            advance = c != '.';
            break;
          case Token::Dot:
            advance = c == '.';
            break;
          case Token::Literal:
            advance = pair ? (part.first == c && part.second == static_cast<unsigned char>(p[1]))
                           : (part.second == 0 && part.first == Fold(c));
            break;
        }
        if (stay) next[i] = 1;
        if (advance) next[i + 1] = 1;
        any = any || stay || advance;
      }
      if (!any) return false;
      active.swap(next);
      p = after;
    }
  }

 private:
  std::vector<Part> parts_;
};

bool IsDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool NameIsHidden(const std::string& name) {
  return name[0] == '.' && !IsDotOrDotDot(name.c_str());
}

// The directories a search stands in: the directory searched and every one
// the pattern passes through (and the current one for a relative pattern).
// A symbolic link found to one of them leads back into itself and is left
// out, so that a recursive search cannot go round for ever.
class Ancestors {
 public:
  explicit Ancestors(const std::string& directory) : directory_(directory) {}

  bool Contains(const struct stat& st) {
    if (!loaded_) Load();
    for (const auto& id : ids_) {
      if (id.first == st.st_dev && id.second == st.st_ino) return true;
    }
    return false;
  }

 private:
  void Load() {
    loaded_ = true;
    Add(!directory_.empty() && directory_[0] == '/' ? "/" : ".");
    for (std::size_t i = 1; i <= directory_.size(); ++i) {
      if (i == directory_.size() || directory_[i] == '/') Add(directory_.substr(0, i));
    }
  }
  void Add(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) ids_.emplace_back(st.st_dev, st.st_ino);
  }

  std::string directory_;
  bool loaded_ = false;
  std::vector<std::pair<dev_t, ino_t>> ids_;
};

bool IsLink(DIR* dir, const struct dirent* entry) {
  if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_LNK;
  struct stat st;
  return fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// A last component without wildcards names one entry, as it stands.
bool FindExact(const char* name, const std::string& external, std::vector<FindData>& out) {
  struct stat st;
  if (stat(external.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, external);
    return false;
  }
  // Windows finds "." and ".." as entries that callers skip; they are not
  // returned, but the search succeeds.
  if (IsDotOrDotDot(name)) return true;
  out.push_back({name, posix::AttributesOf(st, NameIsHidden(name))});
  return true;
}

}  // namespace

bool FindFiles(const char* pattern, std::vector<FindData>& out,
               std::vector<std::string>* unconvertible) {
  out.clear();
  const char* slash = FindLastBackslash(pattern);
  const char* last = slash ? slash + 1 : pattern;
  std::string internalDirectory(pattern, last - pattern);
  std::string directory = posix::ToExternalPath(internalDirectory.c_str());
  if (*last == '\0') {  // "dir\" names no entry
    posix::SetError(kErrorFileNotFound);
    return false;
  }
  if (!HasWildcards(last)) {
    return FindExact(last, posix::ToExternalPath(pattern), out);
  }

  const std::string opened = directory.empty() ? "." : directory;
  DIR* dir = opendir(opened.c_str());
  if (dir == nullptr) {
    int err = errno;
    posix::SetErrorFromErrno(err, opened);
    if (err == ENOENT) posix::SetError(kErrorPathNotFound);
    return false;
  }
  Matcher matcher(last);
  Ancestors ancestors(directory);
  bool found = false;
  std::size_t firstUnconvertible = unconvertible ? unconvertible->size() : 0;
  std::string internal;
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (IsDotOrDotDot(name)) {
      found = found || matcher.Matches(name);
      continue;
    }
    if (!posix::ExternalNameToInternal(name, internal)) {
      // Matched on its bytes, so the report covers what the pattern meant.
      if (matcher.Matches(name)) {
        found = true;
        if (unconvertible != nullptr) {
          unconvertible->push_back(posix::ConsoleTextOfExternal(name, std::strlen(name)));
        }
      }
      continue;
    }
    if (!matcher.Matches(internal.c_str())) continue;
    struct stat st;
    // An entry that vanished since the listing, or a dangling link, is gone.
    if (fstatat(dirfd(dir), name, &st, 0) != 0) continue;
    found = true;
    if (S_ISDIR(st.st_mode) && IsLink(dir, entry) && ancestors.Contains(st)) continue;
    out.push_back({internal, posix::AttributesOf(st, NameIsHidden(internal))});
  }
  closedir(dir);
  std::sort(out.begin(), out.end(),
            [](const FindData& a, const FindData& b) { return a.name < b.name; });
  if (unconvertible != nullptr) {
    std::sort(unconvertible->begin() + static_cast<std::ptrdiff_t>(firstUnconvertible),
              unconvertible->end());
  }
  if (!found) posix::SetError(kErrorFileNotFound);
  return found;
}

}  // namespace plat

// The archive listing of the commands l and v: a header, one row per selected
// member and a totals line with the archive file's own time, built as
// console text (every column but the names is ASCII).
#include "cli/listing.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "archive/member_path.h"
#include "archive/timestamp.h"
#include "cli/frontend.h"

namespace {

constexpr char kHeaderLine[] =
    "File name        Original  Packed    Ratio  Date     Time     Attr CRC  Type  S\n";
constexpr char kRuleLine[] =
    "---------------- --------- --------- ------ -------- -------- ---- ---- ----- -\n";
constexpr int kNameColumn = 16;
// Console writes are gathered up to this size before they are handed on.
constexpr std::size_t kFlushSize = 64 * 1024;

void AppendFormat(std::string& out, const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length > 0) out.append(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

// " %5.1f%%" of packed / original, or `zeroText` when original is 0.
void AppendRatio(std::string& out, std::uint64_t original, std::uint64_t packed,
                 const char* zeroText) {
  if (original == 0) {
    out += zeroText;
    return;
  }
  double ratio = static_cast<double>(packed) / static_cast<double>(original) * 100.0;
  AppendFormat(out, " %5.1f%%", ratio);
}

// " yy-mm-dd hh:mm:ss": the year text from its third character on, which
// is the last two digits of a four-digit year.
void AppendTime(std::string& out, plat::FileTime time) {
  CalendarTime t = FileTimeToCalendar(time);
  char year[16];
  std::snprintf(year, sizeof year, "%d", t.year);
  const char* shortYear = std::strlen(year) > 2 ? year + 2 : year + std::strlen(year);
  AppendFormat(out, " %s-%02d-%02d %02d:%02d:%02d", shortYear, t.month, t.day, t.hour, t.minute,
               t.second);
}

void AppendAttributes(std::string& out, std::uint32_t attributes) {
  out += ' ';
  out += (attributes & plat::kAttrArchive) ? 'a' : '-';
  out += (attributes & plat::kAttrHidden) ? 'h' : '-';
  out += (attributes & plat::kAttrReadOnly) ? 'r' : '-';
  out += (attributes & plat::kAttrSystem) ? 's' : '-';
}

void AppendDetails(std::string& out, const ArchiveEntry& entry) {
  // A size of 4 GiB and more widens its field, as the totals do.
  AppendFormat(out, "%10llu%10llu", static_cast<unsigned long long>(entry.original_size),
               static_cast<unsigned long long>(entry.packed_size));
  AppendRatio(out, entry.original_size, entry.packed_size, "   0.0%");
  AppendTime(out, entry.mtime);
  AppendAttributes(out, entry.attributes);
  AppendFormat(out, " %04x", static_cast<unsigned>(entry.crc));
  out += ' ';
  out.append(entry.method, strnlen(entry.method, 5));
  // The system byte is written as it is, a zero byte included.
  out += ' ';
  out += static_cast<char>(entry.os_id);
  out += '\n';
}

std::string_view Field(const char* text, std::size_t capacity) {
  return std::string_view(text, strnlen(text, capacity));
}

// The archive file's last-write time in local time; 0 when it cannot be read.
plat::FileTime ArchiveLocalTime(const char* archiveName) {
  plat::FileTime time = 0;
  plat::FileHandle file = plat::OpenFile(archiveName, plat::Access::Query, plat::Share::Read,
                                         plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) return 0;
  bool known = plat::GetFileTime(file, &time);
  plat::CloseFile(file);
  return known ? UtcToLocal(time) : 0;
}

void Flush(std::string& out) {
  plat::ConsoleWrite(plat::Stream::Out, out.data(), out.size());
  out.clear();
}

}  // namespace

// Display columns of a character CP932 cannot hold: two for the East Asian
// wide ranges (Hangul, CJK, full-width forms, emoji), else one; one also
// where it is shown as '_'.
int WideCharColumns(char32_t code) {
  if (!plat::PathsShownWithSlash()) return 1;
  const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                    (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                    (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                    (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
                    (code >= 0x20000 && code <= 0x3FFFD);
  return wide ? 2 : 1;
}

// The name column: cut to its width and padded. The cut is made on the CP932
// bytes, whose count is the width a terminal gives them, so the columns line
// up in UTF-8 too (even inside a double-byte character); a wide character
// is kept whole or left out.
void AppendCutToColumn(std::string& out, std::string_view text) {
  std::string cut;
  int columns = 0;
  char32_t code = 0;
  for (std::size_t i = 0; i < text.size() && columns < kNameColumn;) {
    const std::size_t length = plat::WideCharAt(text.substr(i), &code);
    if (length == 0) {
      cut += text[i++];
      ++columns;
      continue;
    }
    const int width = WideCharColumns(code);
    if (columns + width > kNameColumn) break;
    cut.append(text.substr(i, length));
    columns += width;
    i += length;
  }
  cut.append(static_cast<std::size_t>(kNameColumn - columns), ' ');
  plat::AppendConsoleText(out, cut);
}

void AppendListHeader(std::string& out) {
  out += kHeaderLine;
  out += kRuleLine;
}

void AppendListRow(std::string& out, const ArchiveEntry& entry, int listWithDirs, int quietLevel) {
  if (listWithDirs) {
    std::string path(Field(entry.directory, sizeof entry.directory));
    path += Field(entry.name, sizeof entry.name);
    AppendShownName(out, path);
    out += '\n';
    if (quietLevel != 0) return;
    out.append(kNameColumn, ' ');
  } else if (quietLevel != 0) {
    if (entry.name[0] == '\0') return;
    AppendShownName(out, Field(entry.name, sizeof entry.name));
    out += '\n';
    return;
  } else if (entry.name[0] == '\0') {
    out += "+  <dir>        ";
  } else {
    // "+ " marks a member inside a directory.
    std::string text = entry.directory[0] != '\0' ? "+ " : "";
    AppendShownCp932(text, Field(entry.name, sizeof entry.name));
    AppendCutToColumn(out, text);
  }
  AppendDetails(out, entry);
}

void AppendListTotals(std::string& out, const ListTotals& totals, plat::FileTime archiveTime) {
  out += kRuleLine;
  AppendFormat(out, " %8d file%c ", totals.count, totals.count == 1 ? ' ' : 's');
  // The sums are kept in 64 bits so that large archives do not wrap.
  AppendFormat(out, "%10llu%10llu", static_cast<unsigned long long>(totals.originalSize),
               static_cast<unsigned long long>(totals.packedSize));
  AppendRatio(out, totals.originalSize, totals.packedSize, "       ");
  AppendTime(out, archiveTime);
  out += '\n';
}

int ListArchive(const CUnlha& archive, const Options& options) {
  const int quietLevel = options.quietLevel;
  std::string out;
  if (quietLevel == 0) AppendListHeader(out);
  ListTotals totals;
  for (const ArchiveEntry& entry : archive.entries()) {
    if (!IsSelected(options, StoredPath(entry).c_str())) continue;
    AppendListRow(out, entry, options.listWithDirs, quietLevel);
    ++totals.count;
    totals.originalSize += entry.original_size;
    totals.packedSize += entry.packed_size;
    if (out.size() >= kFlushSize) Flush(out);
  }
  if (quietLevel == 0) {
    AppendListTotals(out, totals, ArchiveLocalTime(options.archiveName.c_str()));
  }
  Flush(out);
  return 0;
}

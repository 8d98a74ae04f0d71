// The operations of the command-line front end: parsing, name patterns,
// console output, the listing, questions and the command runners.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "ops/inquire_event.h"
#include "ops/lha.h"
#include "platform/platform.h"

// ---- messages (cli/console.cpp) ----
// A CP932 name or path as the console shows it, as console text
// (plat::ConsoleText): every byte below 0x20 and 0x7F becomes '?', so a name
// can never move the cursor, clear the screen or retitle the window (those
// bytes never occur inside a double-byte character), and where paths are
// shown with '/' each single-byte '\' becomes '/' (the second byte 0x5C of
// a character such as 0x95 0x5C stays). Every name in a console line goes
// through it.
std::string ShownName(std::string_view name);
void AppendShownName(std::string& out, std::string_view name);
// The same, still in CP932 (the listing cuts it to its column first).
void AppendShownCp932(std::string& out, std::string_view name);
// A text as typed or found on disk (console text already, see
// plat::Argument::typed), with bytes below 0x20 and 0x7F as '?'.
std::string ShownTyped(std::string_view typed);
// The format is CP932 text; every %s argument is console text (ShownName,
// ShownTyped) or ASCII.
void Printf(const char* format, ...);      // standard output
void PrintError(const char* format, ...);  // "エラー: " + message on standard error
void PrintHelp();

// ---- command line (cli/command_line.cpp) ----
// ParseCommandLine's result when it stopped on an error it has reported
// (a response file or a path): the run ends with exit code 2.
inline constexpr int kParseStopped = -2;
void SetDefaultOptions(Options& options);
// args: the arguments after the program name (plat::StartUp). Returns the
// command code: 0 list, 1 extract or test, 2 add, update or freshen, 3
// delete; -1 for a bad command line; kParseStopped.
int ParseCommandLine(const std::vector<plat::Argument>& args, Options& options);
int ParseModifier(const char* arg);
// Appends the lines as names. False when the file cannot be read or a line is too long (reported).
bool ReadResponseFile(const char* name, Options& options);
// The names added at this level, or -1 when a path was too long (reported).
int CollectFiles(const char* pattern, Options& options);

// ---- name patterns (cli/patterns.cpp) ----
bool MatchWildcard(const char* name, const char* pattern);
bool IsSelected(const Options& options, const char* path);
bool IsStoreOnly(const Options& options, const char* path);

// ---- listing (cli/listing.cpp) ----
int ListArchive(const CUnlha& archive, const Options& options);

// ---- questions (cli/user_inquire.cpp) ----
class CUserInquireEvent : public CInquireEvent {
 public:
  // Progress is shown on standard error when it is a terminal and
  // `quietLevel` is 0.
  explicit CUserInquireEvent(int quietLevel = 2);
  void AskExtractPath(const char* name, int* yes, int* all) override;
  void AskOverwrite(const char* name, int* yes, int* all) override;
  // A member that takes longer than about a second gets one line on
  // standard error, "name  42%  12.3 MB/s", updated in place and erased
  // before the member's own line.
  void Progress(const char* name, std::uint64_t done, std::uint64_t total, bool finished) override;

 private:
  bool showProgress_;
  std::string member_;           // the member the line is about
  std::uint32_t start_ = 0;      // tick count when it began
  std::uint32_t shownAt_ = 0;    // when the line was last written
  std::size_t shownLength_ = 0;  // bytes of the line on screen, 0 when none
};
int AskContinue();

// ---- runners (cli/run_extract.cpp, cli/run_add.cpp) ----
int RunExtract(const Options& options, CLha& archive);
int RunAdd(const Options& options, CLha& archive);
int RunDelete(const Options& options, CLha& archive);

// ---- driver (cli/driver.cpp) ----
int TsuboMain(int argc, char** argv);

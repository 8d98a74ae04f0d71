// Helpers of the Win32 platform tests: a scratch folder, files made and read
// through the wide API, and runs of this test program as a child process
// (the child modes live in main.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace wintest {

// A fresh folder under the Windows temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // CP932 path of the folder, without a final backslash.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Files named by UTF-16 paths, so the tests do not go through the layer
// they check.
void WriteWide(const std::wstring& path, const std::string& bytes);
std::string ReadWide(const std::wstring& path);
bool ExistsWide(const std::wstring& path);
std::wstring Wide(const std::string& cp932);

// True when the program runs under Wine rather than Windows.
bool RunningUnderWine();

struct ChildResult {
  unsigned exitCode = 0;
  std::string out;  // standard output and standard error, in one pipe
};
// Runs this program with the command line tail `arguments` (UTF-16, as a
// user would type it after the program name) and `input` on standard input.
ChildResult RunChild(const std::wstring& arguments, const std::string& input = "");

}  // namespace wintest

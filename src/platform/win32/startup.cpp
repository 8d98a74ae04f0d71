// Start-up: the arguments come from GetCommandLineW, as UTF-16, and are
// turned into CP932. '/' stays as it is: on Windows it starts an option.
#include "platform/win32/win32.h"

namespace plat {

std::vector<std::string> StartUp(int argc, char** argv) {
  win32::InstallInterruptHandler();
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 1; i < count; ++i) args.push_back(win32::ToCp932(wide[i]));
  LocalFree(wide);
  return args;
}

// Response-file lines are CP932 bytes already.
std::string ExternalToInternal(const std::string& text) { return text; }

}  // namespace plat

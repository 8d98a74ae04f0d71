// Start-up: the arguments come from GetCommandLineW, as UTF-16, and are
// turned into CP932. '/' stays as it is: on Windows it starts an option.
#include "platform/win32/win32.h"

namespace plat {

namespace {

// Every text is taken as it converts ('?' for a character without a CP932
// form, as before); the Windows build has no locale rule.
Argument Exact(std::string text) { return Argument{text, text}; }

}  // namespace

std::vector<Argument> StartUp(int argc, char** argv) {
  win32::InstallInterruptHandler();
  std::vector<Argument> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) {
    for (int i = 1; i < argc; ++i) args.push_back(Exact(argv[i]));
    return args;
  }
  for (int i = 1; i < count; ++i) args.push_back(Exact(win32::ToCp932(wide[i])));
  LocalFree(wide);
  return args;
}

// Response-file lines are CP932 bytes already.
Argument ExternalToInternal(const std::string& text) { return Exact(text); }

}  // namespace plat

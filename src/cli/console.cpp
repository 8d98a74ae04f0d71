// Console messages: formatted output on standard output, error lines with
// their prefix on standard error, and the help screen.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

namespace {

// Formats into a stack buffer when the text fits, else formats a second
// time into a buffer of the exact size, so long names are never cut.
void WriteFormatted(plat::Stream stream, const char* format, va_list args) {
  char small[1024];
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    plat::ConsoleWrite(stream, small, static_cast<std::size_t>(length));
  } else {
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, again);
    plat::ConsoleWrite(stream, large.data(), static_cast<std::size_t>(length));
  }
  va_end(again);
}

void WriteText(const char* text) {
  plat::ConsoleWrite(plat::Stream::Out, text, std::char_traits<char>::length(text));
}

}  // namespace

void AppendShownName(std::string& out, std::string_view name) {
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
}

std::string ShownName(std::string_view name) {
  std::string shown;
  AppendShownName(shown, name);
  return shown;
}

void Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatted(plat::Stream::Out, format, args);
  va_end(args);
}

void PrintError(const char* format, ...) {
  plat::ConsoleWrite(plat::Stream::Err, msg::kMsgErrorPrefix,
                     std::char_traits<char>::length(msg::kMsgErrorPrefix));
  va_list args;
  va_start(args, format);
  WriteFormatted(plat::Stream::Err, format, args);
  va_end(args);
}

void PrintHelp() {
  static constexpr char kRule[] =
      "-------------------------------------------------------------------------------\n";
  static_assert(sizeof kRule == 79 + 2, "the rule is 79 dashes and a line end");
  WriteText(msg::kHelpTitle);
  Printf(msg::kHelpVersion, msg::kVersion);
  WriteText(msg::kHelpUsage);
  WriteText(kRule);
  WriteText(msg::kHelpCommands);
  WriteText(msg::kHelpCmd1);
  WriteText(msg::kHelpCmd2);
  WriteText(msg::kHelpCmd3);
  WriteText(msg::kHelpCmd4);
  WriteText(msg::kHelpCmd5);
  WriteText(msg::kHelpOptions);
  WriteText(msg::kHelpOpt1);
  WriteText(msg::kHelpOpt2);
  WriteText(msg::kHelpOpt3);
  WriteText(msg::kHelpOpt4);
  WriteText(msg::kHelpOpt5);
  WriteText(msg::kHelpOpt6);
  WriteText(msg::kHelpOpt7);
  WriteText(msg::kHelpOpt8);
  WriteText(kRule);
}

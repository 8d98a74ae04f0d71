// Console messages: names as the console shows them, formatted output on
// standard output, error lines with their prefix on standard error, and the
// help screen. Messages are CP932 inside; what is written is console text
// (plat::ConsoleText), UTF-8 in a UTF-8 locale.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "cli/frontend.h"
#include "cli/messages.h"
#include "platform/platform.h"

namespace {

// Formats into a stack buffer when the text fits, else formats a second
// time into a buffer of the exact size, so long names are never cut. The
// format's own text becomes console text first: a '%' (0x25) is never the
// second byte of a double-byte character, so every conversion is ASCII text
// that comes through unchanged, and the %s arguments are console text
// already.
void WriteFormatted(plat::Stream stream, const char* cp932Format, va_list args) {
  const std::string converted = plat::ConsoleText(cp932Format);
  const char* format = converted.c_str();
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

void WriteText(plat::Stream stream, const char* cp932) {
  const std::string text = plat::ConsoleText(cp932);
  plat::ConsoleWrite(stream, text.data(), text.size());
}

void WriteText(const char* cp932) { WriteText(plat::Stream::Out, cp932); }

// C1 controls, which some terminals obey, and the bidirectional overrides,
// which can make a name read as another: shown as '?' like C0 controls.
bool IsUnsafeToShow(char32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

void AppendShownCp932(std::string& out, std::string_view name) {
  const bool slash = plat::PathsShownWithSlash();
  bool trail = false;  // the byte is the second one of a double-byte character
  char32_t code = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t wide = trail ? 0 : plat::WideCharAt(name.substr(i), &code);
    if (wide != 0) {
      if (IsUnsafeToShow(code)) {
        out += '?';
      } else {
        out.append(name.substr(i, wide));
      }
      i += wide - 1;
      continue;
    }
    const bool separator = c == '\\' && !trail;
    trail = !trail && plat::IsLeadByte(byte);
    if (byte < 0x20 || byte == 0x7F) {
      c = '?';
    } else if (separator && slash) {
      c = '/';
    }
    out += c;
  }
}

void AppendShownName(std::string& out, std::string_view name) {
  std::string cp932;
  AppendShownCp932(cp932, name);
  plat::AppendConsoleText(out, cp932);
}

std::string ShownName(std::string_view name) {
  std::string shown;
  AppendShownName(shown, name);
  return shown;
}

std::string ShownTyped(std::string_view typed) {
  std::string shown(typed);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return shown;
}

void Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatted(plat::Stream::Out, format, args);
  va_end(args);
}

void PrintError(const char* format, ...) {
  WriteText(plat::Stream::Err, msg::kMsgErrorPrefix);
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
  // A path, shown as paths are ("dir/" in a UTF-8 locale).
  Printf(msg::kHelpUsage, ShownName(msg::kHelpUsageDir).c_str());
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

// The arguments that the test harness hands to tsubo.exe under a runner
// (Wine): the text the POSIX build would see, in Windows form, as UTF-8.
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

struct ArgumentCase {
  const char* arg;
  bool utf8Locale;
  const char* expected;
};

TEST(RunnerArgumentTest, WindowsFormOfPosixArguments) {
  const ArgumentCase cases[] = {
      {"a", false, "a"},
      {"-x1", false, "-x1"},
      {"arc.lzh", false, "arc.lzh"},
      {"/tmp/t/arc.lzh", false, "Z:\\tmp\\t\\arc.lzh"},
      {"docs/a.txt", false, "docs\\a.txt"},
      {"src/", false, "src\\"},
      {"\\abs", false, "Z:\\abs"},
      // CP932 bytes in the C locale; 0x95 0x5C is one character, not a '\'.
      {"\x95\x5C.lzh", false, "\xE8\xA1\xA8.lzh"},
      {"\x95\x5C/x", false, "\xE8\xA1\xA8\\x"},
      // UTF-8 in a UTF-8 locale stays UTF-8.
      {"\xE8\xA1\xA8.lzh", true, "\xE8\xA1\xA8.lzh"},
      {"\x95\x5C.lzh", true, "\xE8\xA1\xA8.lzh"},
      // Neither valid CP932 nor UTF-8: the bytes as they are.
      {"\xFF.lzh", false, "\xFF.lzh"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    EXPECT_EQ(test::ArgumentForRunner(c.arg, c.utf8Locale), c.expected);
  }
}

}  // namespace

// Start-up arguments, console output and input of the Win32 layer, seen
// from a parent process: the child is this test program (main.cpp).
#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "win_support.h"

namespace {

using wintest::RunChild;

TEST(Win32StartUp, ArgumentsBecomeCp932AndKeepSlashes) {
  // 表 (U+8868) is 0x95 0x5C; quotes group words as CommandLineToArgvW does.
  auto r = RunChild(L"--child args a /x \"two words\" dir\\\u8868\\ C:/tmp/f.txt -");
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.out,
            "<--child>\n<args>\n<a>\n</x>\n<two words>\n<dir\\\x95\x5C\\>\n<C:/tmp/f.txt>\n<->\n");
}

// An argument keeps a character without a CP932 form as a wide character;
// a pipe shows its '_' form.
TEST(Win32StartUp, CharactersWithoutCp932FormAreKept) {
  auto r = RunChild(L"--child args caf\u00e9");
  EXPECT_EQ(r.out, "<--child>\n<args>\n<caf_>\n");
  const std::string internal =
      "caf\xFF"
      "e9\xFF \xFF"
      "1f600\xFF";
  EXPECT_EQ(plat::win32::ToCp932(L"caf\u00e9 \U0001F600"), internal);
  EXPECT_EQ(plat::win32::ToWide(internal.c_str()), L"caf\u00e9 \U0001F600");
}

TEST(Win32StartUp, ResponseFileLinesPassUnchanged) {
  EXPECT_EQ(plat::ExternalToInternal("a/b\\\x95\x5C\xff").text, "a/b\\\x95\x5C\xff");
}

TEST(Win32Console, RedirectedOutputIsByteExactAndFlushedInOrder) {
  auto r = RunChild(L"--child streams");
  EXPECT_EQ(r.exitCode, 3u);
  EXPECT_EQ(r.out, "out1 err out2 " + std::string(10000, 'x') + "end");
}

struct InputCase {
  const char* name;
  std::string input;
  std::string output;
};

TEST(Win32Console, InputFromAPipe) {
  const InputCase cases[] = {
      {"plain", "ab\n", "?[a][b][\n]$"},
      {"discard rest of line", "xd-junk\nc\n", "?[x][d]|[c][\n]$"},
      {"discard at line end", "d\nc", "?[d]|[c]$"},
      {"CR LF reads as LF", "a\r\nb\r", "?[a][\n][b][\r]$"},
      {"CP932 bytes unchanged", "\x95\x5C\n", "?[\x95][\x5C][\n]$"},
      {"empty", "", "?$"},
      {"discard at end of input", "d", "?[d]|$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = RunChild(L"--child input", c.input);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, c.output);
  }
}

TEST(Win32Sharing, SecondProcessCannotOpenAHeldArchive) {
  wintest::TempDir dir;
  std::string path = dir / "held.lzh";
  wintest::WriteWide(wintest::Wide(path), "data");
  plat::FileHandle held = plat::OpenFile(path.c_str(), plat::Access::Read, plat::Share::None,
                                         plat::Disposition::OpenExisting);
  ASSERT_NE(held, plat::kInvalidFile);
  auto r = RunChild(L"--child hold \"" + wintest::Wide(path) + L"\"", "\n");
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.out, "cannot open\n");
  plat::CloseFile(held);
  r = RunChild(L"--child hold \"" + wintest::Wide(path) + L"\"", "\n");
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.out, "held\n");
}

}  // namespace

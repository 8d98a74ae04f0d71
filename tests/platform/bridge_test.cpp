// The text bridge: arguments and response-file lines come in as CP932 with
// '\' separators, and names go out to disk in the host's encoding.
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

using test::Internal;

// Runs StartUp under the given locale and returns the converted arguments.
std::vector<plat::Argument> StartUpWith(const char* locale, std::vector<std::string> arguments) {
  setenv("LC_ALL", locale, 1);
  std::vector<char*> argv;
  std::string program = "tsubo";
  argv.push_back(program.data());
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  return plat::StartUp(static_cast<int>(arguments.size()) + 1, argv.data());
}

// The same, the arguments' CP932 texts only.
std::vector<std::string> StartWith(const char* locale, std::vector<std::string> arguments) {
  std::vector<std::string> texts;
  for (const plat::Argument& a : StartUpWith(locale, arguments)) texts.push_back(a.text);
  return texts;
}

class Utf8Bridge : public testing::Test {
 protected:
  void SetUp() override { StartWith("C.UTF-8", {}); }
  void TearDown() override { StartWith("C", {}); }
};

TEST_F(Utf8Bridge, ArgumentsBecomeCp932WithBackslashes) {
  struct Case {
    std::string external, internal;
    std::string typed = external;
  } cases[] = {
      {"表.txt", "\x95\x5C.txt"},
      {"docs/ソ/a.txt", "docs\\\x83\x5C\\a.txt"},
      {"/abs/path", "\\abs\\path"},
      {"plain-ascii", "plain-ascii"},
      {"ｱ", "\xB1"},  // half-width katakana
      // Not UTF-8: taken as CP932 bytes; shown with '?' for what is no UTF-8.
      {"\xFF\xFE/x", "\xFF\xFE\\x", "\?\?/x"},
      {"\x95\x5C.txt", "\x95\x5C.txt", "?\\.txt"},  // CP932 typed as it is
      // No CP932 form that leads back to the same character: a wide character.
      {"〜",
       "\xFF"
       "301c\xFF"},  // U+301C would come back as U+FF5E
      {"¥",
       "\xFF"
       "a5\xFF"},  // U+00A5 would become a backslash
      {"é/한.txt",
       "\xFF"
       "e9\xFF\\\xFF"
       "d55c\xFF.txt"},
  };
  std::vector<std::string> externals;
  for (const Case& c : cases) externals.push_back(c.external);
  std::vector<plat::Argument> internals = StartUpWith("C.UTF-8", externals);
  ASSERT_EQ(internals.size(), externals.size());
  for (std::size_t i = 0; i < internals.size(); ++i) {
    const Case& c = cases[i];
    for (const plat::Argument& a : {internals[i], plat::ExternalToInternal(c.external)}) {
      EXPECT_EQ(a.text, c.internal) << c.external;
      EXPECT_EQ(a.typed, c.typed) << c.external;
    }
  }
}

TEST_F(Utf8Bridge, NamesGoToDiskAsUtf8AndComeBackAsCp932) {
  test::TempDir dir;
  std::string base = Internal(dir.path()) + "\\";
  ASSERT_TRUE(plat::CreateDirectory((base + "\x83\x5C").c_str()));  // ソ
  plat::FileHandle f =
      plat::OpenFile((base + "\x83\x5C\\\x95\x5C.txt").c_str(), plat::Access::Write,
                     plat::Share::None, plat::Disposition::CreateNew);
  ASSERT_NE(f, plat::kInvalidFile);
  EXPECT_EQ(plat::WriteFile(f, "hi", 2), 2);
  plat::CloseFile(f);
  EXPECT_EQ(test::ReadFile(dir / "ソ/表.txt"), "hi");
  EXPECT_EQ(plat::GetFileAttributes((base + "\x83\x5C").c_str()), plat::kAttrDirectory);

  // A name that is not valid CP932 goes to disk with its bytes unchanged.
  f = plat::OpenFile((base + "\x81\x20.bin").c_str(), plat::Access::Write, plat::Share::None,
                     plat::Disposition::CreateNew);
  ASSERT_NE(f, plat::kInvalidFile);
  plat::CloseFile(f);
  EXPECT_TRUE(test::FileExists(dir / "\x81\x20.bin"));

  test::WriteFile(dir / "ソ/能.dat", "x");
  test::WriteFile(dir / "ソ/〜.dat", "x");    // U+301C: no CP932 form of its own
  test::WriteFile(dir / "ソ/\xFF.dat", "x");  // not UTF-8
  test::WriteFile(dir / "ソ/ascii.dat", "x");
  std::vector<plat::FindData> found;
  std::vector<std::string> unconvertible;
  ASSERT_TRUE(plat::FindFiles((base + "\x83\x5C\\*").c_str(), found, &unconvertible));
  std::vector<std::string> names;
  for (const auto& e : found) names.push_back(e.name);
  const std::string wide =
      "\xFF"
      "301c\xFF.dat";
  EXPECT_EQ(names, (std::vector<std::string>{"ascii.dat", "\x94\x5C.dat", "\x95\x5C.txt", wide}));
  // Reported as console text: what is no UTF-8 shows as '?'.
  EXPECT_EQ(unconvertible, (std::vector<std::string>{"?.dat"}));
  // A wide character names the file it came from.
  EXPECT_TRUE(plat::DeleteFile((base + "\x83\x5C\\" + wide).c_str()));
  EXPECT_FALSE(test::FileExists(dir / "ソ/〜.dat"));

  // Patterns and exact names in CP932 reach the UTF-8 names.
  ASSERT_TRUE(plat::FindFiles((base + "\x83\x5C\\\x95\x5C.*").c_str(), found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "\x95\x5C.txt");
  ASSERT_TRUE(plat::FindFiles((base + "\x83\x5C\\\x94\x5C.dat").c_str(), found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(plat::MoveReplacing((base + "\x83\x5C\\\x94\x5C.dat").c_str(),
                                  (base + "\x83\x5C\\\x95\x5C.dat").c_str()));
  EXPECT_TRUE(test::FileExists(dir / "ソ/表.dat"));
  EXPECT_TRUE(plat::DeleteFile((base + "\x83\x5C\\\x95\x5C.dat").c_str()));
  EXPECT_FALSE(test::FileExists(dir / "ソ/表.dat"));
}

TEST(Bridge, OtherLocalesPassBytesAndTranslateOnlySeparators) {
  std::vector<std::string> internals = StartWith("C", {"表/a.txt", "\x95\x5C/b", "\\x"});
  EXPECT_EQ(internals, (std::vector<std::string>{"表\\a.txt", "\x95\x5C\\b", "\\x"}));
  EXPECT_EQ(plat::ExternalToInternal("dir/\x83\x5C").text, "dir\\\x83\x5C");

  // The trail byte 0x5C stays a byte on disk; the separator becomes '/'.
  test::TempDir dir;
  std::string base = Internal(dir.path()) + "\\";
  ASSERT_TRUE(plat::CreateDirectory((base + "\x95\x5C").c_str()));
  plat::FileHandle f = plat::OpenFile((base + "\x95\x5C\\\x83\x5C").c_str(), plat::Access::Write,
                                      plat::Share::None, plat::Disposition::CreateNew);
  ASSERT_NE(f, plat::kInvalidFile);
  plat::CloseFile(f);
  struct stat st;
  EXPECT_EQ(stat((dir.path() + "/\x95\x5C/\x83\x5C").c_str(), &st), 0);
}

TEST(Bridge, UnknownUtf8LocaleIsStillRecognised) {
  // A UTF-8 locale that is not installed still names the encoding.
  std::vector<std::string> internals = StartWith("xx_YY.UTF-8", {"表"});
  EXPECT_EQ(internals, std::vector<std::string>{"\x95\x5C"});
  StartWith("C", {});
}

}  // namespace

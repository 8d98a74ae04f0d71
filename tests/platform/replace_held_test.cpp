// ReplaceHeldFile: the commit of a rebuilt archive over the archive the run
// still holds, and its refusal when the held file is no longer the one that
// carries the name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "support/support.h"

namespace {

using test::Internal;

plat::FileHandle Hold(const std::string& path) {
  return plat::OpenFile(Internal(path).c_str(), plat::Access::Read, plat::Share::None,
                        plat::Disposition::OpenExisting);
}

TEST(ReplaceHeldFile, ReplacesTheHeldFile) {
  test::TempDir dir;
  test::WriteFile(dir / "arc.lzh", "old");
  test::WriteFile(dir / "work", "new");
  const plat::FileHandle held = Hold(dir / "arc.lzh");
  ASSERT_NE(held, plat::kInvalidFile);
  // While held, nobody else gets the archive.
  EXPECT_EQ(Hold(dir / "arc.lzh"), plat::kInvalidFile);
  ASSERT_TRUE(plat::ReplaceHeldFile(Internal(dir / "work").c_str(),
                                    Internal(dir / "arc.lzh").c_str(), held));
  EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), "new");
  EXPECT_FALSE(test::FileExists(dir / "work"));
  const plat::FileHandle again = Hold(dir / "arc.lzh");  // released
  EXPECT_NE(again, plat::kInvalidFile);
  plat::CloseFile(again);
}

TEST(ReplaceHeldFile, RefusesWhenTheNameHasMovedOn) {
  test::TempDir dir;
  test::WriteFile(dir / "arc.lzh", "old");
  test::WriteFile(dir / "work", "mine");
  const plat::FileHandle held = Hold(dir / "arc.lzh");
  ASSERT_NE(held, plat::kInvalidFile);
  // Someone else's archive now carries the name.
  ASSERT_EQ(std::rename((dir / "arc.lzh").c_str(), (dir / "gone").c_str()), 0);
  test::WriteFile(dir / "arc.lzh", "theirs");
  EXPECT_FALSE(plat::ReplaceHeldFile(Internal(dir / "work").c_str(),
                                     Internal(dir / "arc.lzh").c_str(), held));
  EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), "theirs");
  EXPECT_EQ(test::ReadFile(dir / "work"), "mine");
}

TEST(ReplaceHeldFile, MissingWorkFileLeavesTheArchive) {
  test::TempDir dir;
  test::WriteFile(dir / "arc.lzh", "old");
  const plat::FileHandle held = Hold(dir / "arc.lzh");
  ASSERT_NE(held, plat::kInvalidFile);
  EXPECT_FALSE(plat::ReplaceHeldFile(Internal(dir / "work").c_str(),
                                     Internal(dir / "arc.lzh").c_str(), held));
  EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), "old");
  const plat::FileHandle again = Hold(dir / "arc.lzh");  // the hold is gone
  EXPECT_NE(again, plat::kInvalidFile);
  plat::CloseFile(again);
}

}  // namespace

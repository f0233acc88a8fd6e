#include "platform/temp_names.h"

#include <cstdlib>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

using platform::IsOwnTemporaryName;

// The names the programs make are known again; names that merely look
// like them are the user's.
TEST(OwnTemporaryNames, TheProgramsNamesAreKnownAndLookalikesAreNot) {
  testing_support::TempDir dir;
  std::string made = dir / platform::kArchiverTempPattern;
  const int fd = mkstemp(made.data());
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string archiverName = made.substr(made.rfind('/') + 1);

  const struct {
    std::string name;
    bool own;
  } cases[] = {
      {platform::DownloadPartName(0), true},
      {platform::DownloadPartName(0xFEDCBA9876543210ull), true},
      {".download-0123456789abcdef.part", true},
      {archiverName, true},
      {".rartemp.aZ09xy", true},
      {".writing.aZ09xy", true},
      {".writing.abcde", false},
      {".writing.ab-def", false},
      {"writing.abcdef", false},
      {"", false},
      {".download-0123456789ABCDEF.part", false},
      {".download-0123456789abcde.part", false},
      {".download-0123456789abcdef0.part", false},
      {".download-0123456789abcdeg.part", false},
      {"download-0123456789abcdef.part", false},
      {".download-0123456789abcdef.part.htm", false},
      {"x.download-0123456789abcdef.part", false},
      {".rartemp.abcde", false},
      {".rartemp.abcdefg", false},
      {".rartemp.ab-def", false},
      {".rartemp.XXXXX.", false},
      {"rartemp.abcdef", false},
      {".rartemp", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnTemporaryName(c.name), c.own) << c.name;
  // Of those, only the file layer's own are left by a write it broke off.
  EXPECT_TRUE(platform::IsWriteTemporaryName(".writing.aZ09xy"));
  EXPECT_FALSE(platform::IsWriteTemporaryName(".rartemp.aZ09xy"));
  EXPECT_FALSE(platform::IsWriteTemporaryName(platform::DownloadPartName(0)));
  EXPECT_EQ(platform::DownloadPartName(0x1f), ".download-000000000000001f.part");
}

}  // namespace

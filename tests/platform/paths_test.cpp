#include "platform/paths.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Exists;
using testing_support::ScopedEnv;
using testing_support::ScopedWorkingFolder;
using testing_support::TempDir;

// The fixed files live in the user's cache folder. A relative
// XDG_CACHE_HOME means nothing fixed (it would follow the working folder,
// which may be a site), so it counts as unset.
TEST(UserCacheFolder, TakesAnAbsoluteXdgCacheHomeAndOtherwiseTheHomeCache) {
  TempDir dir;
  const std::string work = dir / "site";
  testing_support::MakeDirs(work);
  ScopedEnv home("HOME", dir / "home");
  ScopedWorkingFolder inSite(work);
  const struct {
    const char* what;
    std::string xdg, folder;
  } cases[] = {
      {"absolute", dir / "xdg", dir / "xdg/talvora"},
      {"relative", "cache", dir / "home/.cache/talvora"},
      {"relative to the working folder", "./cache", dir / "home/.cache/talvora"},
      {"empty", "", dir / "home/.cache/talvora"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv xdg("XDG_CACHE_HOME", c.xdg);
    EXPECT_EQ(platform::UserCacheFolder(), c.folder);
    EXPECT_TRUE(fs::is_directory(c.folder));
    EXPECT_FALSE(Exists(work + "/cache"));
  }
}

}  // namespace

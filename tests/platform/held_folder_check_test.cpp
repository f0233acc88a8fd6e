#include "platform/held_folder_check.h"

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/fso.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;

// A folder the run has listed, with its parent, is replaced when its path
// leads elsewhere now; one the run holds nothing of never is.
TEST(HeldFolderReplaced, TellsAHeldFolderMovedOrReplaced) {
  struct Case {
    const char* what;
    std::function<void(const std::string& held, const std::string& dir)> change;
    bool replaced;
  } cases[] = {
      {"left as it was", [](const std::string&, const std::string&) {}, false},
      {"moved away",
       [](const std::string& held, const std::string& dir) { fs::rename(held, dir + "/away"); }, true},
      {"a link in its place",
       [](const std::string& held, const std::string& dir) {
         fs::rename(held, dir + "/away");
         fs::create_symlink(dir + "/away", held);
       },
       true},
      {"another folder in its place",
       [](const std::string& held, const std::string& dir) {
         fs::rename(held, dir + "/away");
         MakeDirs(held);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string site = dir / "site", held = site + "/startxml.files";
    WriteFile(held + "/a.css", "a");
    platform::fso::ListingScope scope;
    platform::fso::FileNames(site);
    platform::fso::FileNames(held);
    c.change(held, dir.path());
    EXPECT_EQ(platform::fso::HeldFolderReplaced(held), c.replaced);
  }
  // Outside a run, and for a folder the run never listed, there is nothing to tell.
  TempDir dir;
  MakeDirs(dir / "a");
  EXPECT_FALSE(platform::fso::HeldFolderReplaced(dir / "a"));
  platform::fso::ListingScope scope;
  fs::rename(dir / "a", dir / "b");
  EXPECT_FALSE(platform::fso::HeldFolderReplaced(dir / "a"));
}

}  // namespace

#include "platform/fso.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/fifo_deadline.h"
#include "support/fso_error.h"
#include "support/temp_dir.h"
#include "support/walk_fixtures.h"

namespace {

namespace fso = platform::fso;
namespace fs = std::filesystem;
using platform::FsoError;
using testing_support::FifoDeadline;
using testing_support::MakeDirs;
using testing_support::MakeFifo;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

void MakeReadOnly(const std::string& path) { ASSERT_EQ(chmod(path.c_str(), 0444), 0); }

TEST(Fso, ExistsTestsTellFilesFromFolders) {
  TempDir dir;
  WriteFile(dir / "file.txt", "x");
  MakeDirs(dir / "folder");
  fs::create_symlink(dir / "file.txt", dir / "link-to-file");
  fs::create_symlink(dir / "folder", dir / "link-to-folder");
  fs::create_symlink(dir / "gone", dir / "dangling");

  const struct {
    std::string path;
    bool file, folder;
  } cases[] = {
      {dir / "file.txt", true, false},
      {dir / "folder", false, true},
      {dir / "folder/", false, true},
      {dir / "link-to-file", true, false},
      {dir / "link-to-folder", false, true},
      {dir / "dangling", false, false},
      {dir / "missing", false, false},
      {dir / "file.txt/", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(fso::FileExists(c.path), c.file);
    EXPECT_EQ(fso::FolderExists(c.path), c.folder);
  }
}

TEST(Fso, ListingsAreSortedByteWise) {
  TempDir dir;
  // Created in an order unlike the expected one.
  for (const char* name : {"中", "B", "a", "一", "10", "_x", "2", ".hidden"}) {
    WriteFile(dir / (std::string("files/") + name), "x");
    MakeDirs(dir / (std::string("folders/") + name));
  }
  // 一 is E4 B8 80 and 中 is E4 B8 AD in UTF-8.
  const std::vector<std::string> expected = {".hidden", "10", "2", "B", "_x", "a", "一", "中"};
  EXPECT_EQ(fso::FileNames(dir / "files"), expected);
  EXPECT_EQ(fso::SubFolderNames(dir / "folders"), expected);

  std::vector<std::string> names = {"b", "\xC3\xA9", "A", "ab", "a"};
  fso::SortNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "ab", "b", "\xC3\xA9"}));
}

TEST(Fso, ListingsSeparateFilesFromFoldersThroughLinks) {
  TempDir dir;
  WriteFile(dir / "f", "x");
  MakeDirs(dir / "d");
  fs::create_symlink(dir / "f", dir / "lf");
  fs::create_symlink(dir / "d", dir / "ld");
  fs::create_symlink(dir / "gone", dir / "dangling");
  EXPECT_EQ(fso::FileNames(dir.path()), (std::vector<std::string>{"f", "lf"}));
  EXPECT_EQ(fso::SubFolderNames(dir.path()), (std::vector<std::string>{"d", "ld"}));
}

TEST(Fso, ListingAFolderThatCannotBeReadThrowsWithPathAndReason) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir / "missing", "No such file or directory"},
      {dir / "file", "Not a directory"},
  };
  for (const auto& c : cases) {
    for (auto list : {fso::FileNames, fso::SubFolderNames}) {
      try {
        list(c.path);
        ADD_FAILURE() << "no error for " << c.path;
      } catch (const FsoError& e) {
        EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      }
    }
  }
}

// Moves and renames never replace anything: every clash throws and leaves
// both sides as they were.
TEST(Fso, MoveOntoAnExistingNameFailsAndKeepsBoth) {
  const struct {
    const char* label;
    bool sourceIsFolder, targetIsFolder;
    const char* target;  // relative to the test folder
  } cases[] = {
      {"file onto file", false, false, "target"},
      {"folder onto folder", true, true, "target"},
      {"folder onto a file's name", true, false, "target"},
      {"file onto a folder's name", false, true, "target"},
      {"file into a folder that holds its name", false, false, "into/"},
      {"folder into a folder that holds its name", true, true, "into/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    std::string source = dir / "source";
    std::string target = dir / "target";
    std::string sourceContent = source + (c.sourceIsFolder ? "/inner.txt" : "");
    std::string targetContent = target + (c.targetIsFolder ? "/inner.txt" : "");
    if (std::string(c.target) == "into/") {
      // The clash is with a same-named entry inside the target folder.
      target = dir / "into/source";
      targetContent = target + (c.targetIsFolder ? "/inner.txt" : "");
    }
    WriteFile(sourceContent, "source data");
    WriteFile(targetContent, "target data");

    auto move = c.sourceIsFolder ? fso::MoveFolder : fso::MoveFile;
    EXPECT_THROW(move(source, dir / c.target), FsoError);
    EXPECT_EQ(ReadFile(sourceContent), "source data");
    EXPECT_EQ(ReadFile(targetContent), "target data");
  }
}

TEST(Fso, MoveRenamesAndMovesInto) {
  TempDir dir;
  WriteFile(dir / "a.txt", "A");
  WriteFile(dir / "tree/sub/f.txt", "F");
  MakeDirs(dir / "dest");

  fso::MoveFile(dir / "a.txt", dir / "b.txt");
  fso::MoveFile(dir / "b.txt", dir / "dest/");
  EXPECT_EQ(ReadFile(dir / "dest/b.txt"), "A");
  EXPECT_FALSE(fso::FileExists(dir / "b.txt"));

  fso::MoveFolder(dir / "tree", dir / "renamed");
  fso::MoveFolder(dir / "renamed/", dir / "dest/");
  EXPECT_EQ(ReadFile(dir / "dest/renamed/sub/f.txt"), "F");
  EXPECT_FALSE(fso::FolderExists(dir / "renamed"));

  EXPECT_THROW(fso::MoveFolder(dir / "dest", dir / "dest/renamed/inside"), FsoError);
  EXPECT_THROW(fso::MoveFile(dir / "missing", dir / "x"), FsoError);
  EXPECT_THROW(fso::MoveFile(dir / "dest", dir / "x"), FsoError);     // a folder
  EXPECT_THROW(fso::MoveFolder(dir / "dest/b.txt", dir / "x"), FsoError);  // a file
  EXPECT_THROW(fso::MoveFile(dir / "dest/b.txt", dir / "nowhere/"), FsoError);
  EXPECT_EQ(ReadFile(dir / "dest/b.txt"), "A");
}

// /dev/shm is another file system than the temporary folder on most
// machines; where it is not, the cross-device path cannot be reached here.
std::string OtherFileSystemFolder(const std::string& here) {
  struct stat a, b;
  if (stat(here.c_str(), &a) != 0 || stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) return "";
  std::string tmpl = "/dev/shm/talvora-fso-XXXXXX";
  return mkdtemp(tmpl.data()) ? tmpl : "";
}

TEST(Fso, MoveAcrossFileSystemsCopiesThenRemoves) {
  TempDir dir;
  std::string other = OtherFileSystemFolder(dir.path());
  if (other.empty()) GTEST_SKIP() << "no second file system";
  struct Cleanup {
    std::string p;
    ~Cleanup() { fs::remove_all(p); }
  } cleanup{other};

  WriteFile(dir / "f.bin", std::string("\0\1\2data", 7));
  WriteFile(dir / "tree/a/deep.txt", "deep");
  WriteFile(dir / "tree/top.txt", "top");
  fs::create_symlink("top.txt", dir / "tree/link");
  WriteFile(other + "/taken", "kept");

  fso::MoveFile(dir / "f.bin", other + "/f.bin");
  EXPECT_EQ(ReadFile(other + "/f.bin"), std::string("\0\1\2data", 7));
  EXPECT_FALSE(fs::exists(dir / "f.bin"));

  fso::MoveFolder(dir / "tree", other + "/");
  EXPECT_EQ(ReadFile(other + "/tree/a/deep.txt"), "deep");
  EXPECT_EQ(ReadFile(other + "/tree/top.txt"), "top");
  EXPECT_TRUE(fs::is_symlink(other + "/tree/link"));
  EXPECT_FALSE(fs::exists(dir / "tree"));

  // No replacing across file systems either.
  WriteFile(dir / "g.txt", "mine");
  EXPECT_THROW(fso::MoveFile(dir / "g.txt", other + "/taken"), FsoError);
  MakeDirs(dir / "taken");
  EXPECT_THROW(fso::MoveFolder(dir / "taken", other + "/taken"), FsoError);
  EXPECT_EQ(ReadFile(dir / "g.txt"), "mine");
  EXPECT_EQ(ReadFile(other + "/taken"), "kept");
  EXPECT_TRUE(fso::FolderExists(dir / "taken"));
}

TEST(Fso, DeleteWithoutForceLeavesReadOnlyFiles) {
  TempDir dir;
  WriteFile(dir / "ro.txt", "keep");
  MakeReadOnly(dir / "ro.txt");
  EXPECT_THROW(fso::DeleteFile(dir / "ro.txt"), FsoError);
  EXPECT_EQ(ReadFile(dir / "ro.txt"), "keep");
  fso::DeleteFile(dir / "ro.txt", true);
  EXPECT_FALSE(fs::exists(dir / "ro.txt"));

  WriteFile(dir / "tree/a.txt", "a");
  WriteFile(dir / "tree/sub/ro.txt", "keep");
  WriteFile(dir / "tree/sub/b.txt", "b");
  MakeReadOnly(dir / "tree/sub/ro.txt");
  EXPECT_THROW(fso::DeleteFolder(dir / "tree"), FsoError);
  // What could go went; the read-only file and the folders holding it stay.
  EXPECT_EQ(ReadFile(dir / "tree/sub/ro.txt"), "keep");
  EXPECT_FALSE(fs::exists(dir / "tree/a.txt"));
  EXPECT_FALSE(fs::exists(dir / "tree/sub/b.txt"));
  fso::DeleteFolder(dir / "tree", true);
  EXPECT_FALSE(fs::exists(dir / "tree"));
}

TEST(Fso, DeleteFolderRemovesLinksNotWhatTheyPointAt) {
  TempDir dir;
  WriteFile(dir / "outside/precious.txt", "p");
  WriteFile(dir / "outside/file.txt", "f");
  WriteFile(dir / "site/a.txt", "a");
  fs::create_symlink(dir / "outside", dir / "site/link-to-folder");
  fs::create_symlink(dir / "outside/file.txt", dir / "site/link-to-file");
  fso::DeleteFolder(dir / "site");
  EXPECT_FALSE(fs::exists(dir / "site"));
  EXPECT_EQ(ReadFile(dir / "outside/precious.txt"), "p");
  EXPECT_EQ(ReadFile(dir / "outside/file.txt"), "f");
}

TEST(Fso, DeleteErrors) {
  TempDir dir;
  MakeDirs(dir / "folder");
  WriteFile(dir / "file", "x");
  EXPECT_THROW(fso::DeleteFile(dir / "missing"), FsoError);
  EXPECT_THROW(fso::DeleteFile(dir / "folder"), FsoError);
  EXPECT_THROW(fso::DeleteFolder(dir / "missing"), FsoError);
  EXPECT_THROW(fso::DeleteFolder(dir / "file"), FsoError);
  EXPECT_TRUE(fso::FolderExists(dir / "folder"));
  EXPECT_TRUE(fso::FileExists(dir / "file"));
}

TEST(Fso, CopyFileFollowsTheTargetRule) {
  TempDir dir;
  WriteFile(dir / "src.txt", "new");
  MakeDirs(dir / "into");
  WriteFile(dir / "old.txt", "old");

  fso::CopyFile(dir / "src.txt", dir / "into/");
  EXPECT_EQ(ReadFile(dir / "into/src.txt"), "new");
  fso::CopyFile(dir / "src.txt", dir / "named.txt");
  EXPECT_EQ(ReadFile(dir / "named.txt"), "new");

  EXPECT_THROW(fso::CopyFile(dir / "src.txt", dir / "old.txt", false), FsoError);
  EXPECT_EQ(ReadFile(dir / "old.txt"), "old");
  fso::CopyFile(dir / "src.txt", dir / "old.txt", true);
  EXPECT_EQ(ReadFile(dir / "old.txt"), "new");

  // Copying a file onto itself must not empty it.
  EXPECT_THROW(fso::CopyFile(dir / "src.txt", dir / "src.txt"), FsoError);
  EXPECT_THROW(fso::CopyFile(dir / "src.txt", dir.path() + "/"), FsoError);
  EXPECT_EQ(ReadFile(dir / "src.txt"), "new");

  EXPECT_THROW(fso::CopyFile(dir / "missing", dir / "x"), FsoError);
  EXPECT_THROW(fso::CopyFile(dir / "src.txt", dir / "nowhere/"), FsoError);
  EXPECT_THROW(fso::CopyFile(dir / "src.txt", dir / "into"), FsoError);  // a folder's name
}

TEST(Fso, CopyFolderFollowsTheTargetRule) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "A");
  WriteFile(dir / "src/sub/b.txt", "B");
  MakeDirs(dir / "into");

  fso::CopyFolder(dir / "src", dir / "into/");
  EXPECT_EQ(ReadFile(dir / "into/src/sub/b.txt"), "B");

  fso::CopyFolder(dir / "src", dir / "fresh");
  EXPECT_EQ(ReadFile(dir / "fresh/a.txt"), "A");
  EXPECT_EQ(ReadFile(dir / "fresh/sub/b.txt"), "B");

  // Into an existing folder of the target name: merged, replacing files.
  WriteFile(dir / "merge/a.txt", "old");
  WriteFile(dir / "merge/own.txt", "own");
  EXPECT_THROW(fso::CopyFolder(dir / "src", dir / "merge", false), FsoError);
  EXPECT_EQ(ReadFile(dir / "merge/a.txt"), "old");
  fso::CopyFolder(dir / "src", dir / "merge", true);
  EXPECT_EQ(ReadFile(dir / "merge/a.txt"), "A");
  EXPECT_EQ(ReadFile(dir / "merge/own.txt"), "own");
  EXPECT_EQ(ReadFile(dir / "merge/sub/b.txt"), "B");

  EXPECT_THROW(fso::CopyFolder(dir / "src", dir / "src/sub/inner"), FsoError);
  EXPECT_THROW(fso::CopyFolder(dir / "src", dir / "src/"), FsoError);
  EXPECT_FALSE(fs::exists(dir / "src/sub/inner"));
  EXPECT_THROW(fso::CopyFolder(dir / "missing", dir / "x"), FsoError);
}

// A write at a name where a link stands replaces the link: what it points
// at (a file or folder outside) is never written, nor created when the link
// dangles.
TEST(Fso, WritesReplaceALinkAtTheTargetName) {
  const struct {
    const char* what;
    std::string name;  // the target name, inside "in"
    std::function<void(const std::string& source, const std::string& target)> write;
  } cases[] = {
      {"WriteBytes", "page.xml",
       [](const std::string&, const std::string& t) { fso::WriteBytes(t, "written"); }},
      {"CopyFile", "page.xml",
       [](const std::string& s, const std::string& t) { fso::CopyFile(s + "/a.txt", t); }},
      {"CopyFolder into a linked sub-folder", "sub",
       [](const std::string& s, const std::string& t) { fso::CopyFolder(s, fs::path(t).parent_path().string()); }},
      {"CopyFolder onto a link", "sub",
       [](const std::string& s, const std::string& t) { fso::CopyFolder(s + "/sub", t); }},
  };
  for (const auto& c : cases) {
    for (int variant = 0; variant < 4; ++variant) {
      // Made since a run listed the folder: the run's listing lacks it.
      const bool dangling = variant & 1, madeSinceListed = variant & 2;
      SCOPED_TRACE(std::string(c.what) + (dangling ? ", dangling link" : ", live link") +
                   (madeSinceListed ? ", made since the run listed the folder" : ""));
      TempDir dir;
      WriteFile(dir / "source/a.txt", "a");
      WriteFile(dir / "source/sub/b.txt", "b");
      WriteFile(dir / "outside/a.txt", "outside");
      WriteFile(dir / "outside/b.txt", "outside");
      WriteFile(dir / "outside.file", "outside");
      MakeDirs(dir / "in");
      std::unique_ptr<fso::ListingScope> run;
      if (madeSinceListed) {
        run = std::make_unique<fso::ListingScope>();
        // The folder above tells the run how the disk matches names.
        ASSERT_FALSE(fso::SubFolderNames(dir.path()).empty());
        ASSERT_TRUE(fso::FileNames(dir / "in").empty());
      }
      const bool folder = c.name == "sub";
      const std::string pointsAt = dangling ? dir / "created" : folder ? dir / "outside" : dir / "outside.file";
      fs::create_symlink(pointsAt, dir / ("in/" + c.name));
      c.write(dir / "source", dir / ("in/" + c.name));
      EXPECT_FALSE(fs::is_symlink(dir / ("in/" + c.name)));
      EXPECT_FALSE(testing_support::Exists(dir / "created"));
      EXPECT_EQ(ReadFile(dir / "outside.file"), "outside");
      EXPECT_EQ(ReadFile(dir / "outside/a.txt"), "outside");
      EXPECT_EQ(ReadFile(dir / "outside/b.txt"), "outside");
    }
  }
}

// A confined copy takes a link only when it points inside the folders given;
// the others are named and left out.
TEST(Fso, CopyFolderWithinLeavesOutLinksPointingAway) {
  TempDir dir;
  WriteFile(dir / "allowed/shared.css", "shared");
  WriteFile(dir / "outside/secret", "secret");
  WriteFile(dir / "style/own.css", "own");
  fs::create_symlink(dir / "allowed/shared.css", dir / "style/shared.css");
  fs::create_symlink(dir / "style/own.css", dir / "style/again.css");
  fs::create_symlink(dir / "outside/secret", dir / "style/secret");
  fs::create_symlink(dir / "outside", dir / "style/away");
  std::vector<std::string> refused;
  fso::CopyFolderWithin(dir / "style", dir / "site", {dir / "allowed", dir / "style"}, refused);
  EXPECT_EQ(ReadFile(dir / "site/own.css"), "own");
  EXPECT_EQ(ReadFile(dir / "site/again.css"), "own");
  EXPECT_EQ(ReadFile(dir / "site/shared.css"), "shared");
  EXPECT_FALSE(testing_support::Exists(dir / "site/secret"));
  EXPECT_FALSE(testing_support::Exists(dir / "site/away"));
  EXPECT_EQ(refused, (std::vector<std::string>{dir / "style/away", dir / "style/secret"}));
}

TEST(Fso, CopyFolderThroughALinkToAnAncestorEnds) {
  TempDir dir;
  WriteFile(dir / "src/a/f.txt", "f");
  fs::create_symlink(dir / "src", dir / "src/a/up");
  fso::CopyFolder(dir / "src", dir / "copy");
  EXPECT_EQ(ReadFile(dir / "copy/a/f.txt"), "f");
  EXPECT_FALSE(fs::exists(dir / "copy/a/up/a"));
}

TEST(Fso, WalkWithAncestorChainEndsOnASymlinkLoop) {
  TempDir dir;
  MakeDirs(dir / "root/a/b");
  MakeDirs(dir / "root/c");
  fs::create_symlink(dir / "root", dir / "root/a/b/to-root");
  fs::create_symlink("..", dir / "root/c/parent");
  fs::create_symlink(".", dir / "root/c/self");

  std::map<std::string, int> visits;  // real path -> visits
  int entered = 0;
  fso::AncestorChain chain;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    if (!chain.Enter(folder)) return;
    ASSERT_LT(++entered, 100) << "the walk does not end";
    ++visits[fs::canonical(folder).string()];
    for (const std::string& name : fso::SubFolderNames(folder)) walk(folder + "/" + name);
    chain.Leave();
  };
  walk(dir / "root");

  std::string root = fs::canonical(dir / "root").string();
  std::map<std::string, int> expected = {
      {root, 1}, {root + "/a", 1}, {root + "/a/b", 1}, {root + "/c", 1}};
  EXPECT_EQ(visits, expected);
  EXPECT_FALSE(chain.Enter(dir / "missing"));
}

TEST(Fso, CreateFolder) {
  TempDir dir;
  fso::CreateFolder(dir / "new");
  EXPECT_TRUE(fso::FolderExists(dir / "new"));
  EXPECT_THROW(fso::CreateFolder(dir / "new"), FsoError);
  EXPECT_THROW(fso::CreateFolder(dir / "no/parent"), FsoError);
}

TEST(Fso, BytesAndAnsiText) {
  TempDir dir;
  const std::string binary("\0\xFF\r\n\x80z", 6);
  fso::WriteBytes(dir / "b.bin", binary);
  EXPECT_EQ(fso::ReadBytes(dir / "b.bin"), binary);
  EXPECT_EQ(fso::ReadBytes(dir / "b.bin", 3), binary.substr(0, 3));
  EXPECT_EQ(fso::ReadBytes(dir / "b.bin", 100), binary);
  EXPECT_EQ(fso::FileSize(dir / "b.bin"), 6u);
  fso::WriteBytes(dir / "b.bin", "ab");  // replaced, not overlaid
  EXPECT_EQ(fso::ReadBytes(dir / "b.bin"), "ab");

  fso::WriteAnsiText(dir / "t.txt", "中文 \xF0\x9F\x98\x80");
  EXPECT_EQ(ReadFile(dir / "t.txt"), "\xD6\xD0\xCE\xC4 ?");
  EXPECT_EQ(fso::ReadAnsiText(dir / "t.txt"), "中文 ?");

  MakeDirs(dir / "folder");
  EXPECT_THROW(fso::ReadBytes(dir / "missing"), FsoError);
  EXPECT_THROW(fso::ReadBytes(dir / "folder"), FsoError);
  EXPECT_THROW(fso::WriteBytes(dir / "missing/x", "x"), FsoError);
  EXPECT_THROW(fso::WriteBytes(dir / "folder", "x"), FsoError);
  EXPECT_THROW(fso::FileSize(dir / "missing"), FsoError);

  // A read-only file is not written over, not even by root.
  WriteFile(dir / "ro.txt", "keep");
  MakeReadOnly(dir / "ro.txt");
  EXPECT_THROW(fso::WriteBytes(dir / "ro.txt", "x"), FsoError);
  EXPECT_EQ(ReadFile(dir / "ro.txt"), "keep");
}

// Within a run's scope every answer comes from the folder listings it holds;
// after each of the layer's own changes (writes through links, copies,
// deletions, a folder deleted and made again) the answers are still those
// of the disk, for every folder, through links too.
TEST(Fso, ListingsHeldByARunFollowTheLayersOwnChanges) {
  TempDir dir;
  const std::string root = dir / "t";
  WriteFile(root + "/f", "x");
  WriteFile(root + "/d/in.txt", "x");
  MakeDirs(root + "/d/sub");
  MakeDirs(root + "/e");
  fs::create_symlink(root + "/f", root + "/lf");
  fs::create_symlink(root + "/d", root + "/ld");
  fs::create_symlink(root + "/gone", root + "/dangling");
  fs::create_symlink(root + "/d/sub", root + "/e/to-sub");
  auto sorted = [](std::vector<std::string> v) {
    fso::SortNames(v);
    return v;
  };
  // What the disk says, following links, for the folders of the tree and
  // the folders reached through its links.
  auto check = [&] {
    std::vector<std::string> folders{root};
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_directory()) folders.push_back(e.path().string());
    for (const std::string& folder : folders) {
      SCOPED_TRACE(folder);
      std::vector<std::string> files, subs, names{"missing", "missing/x", "f/x"};
      for (const auto& e : fs::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        names.push_back(name);
        if (e.is_regular_file()) files.push_back(name);
        if (e.is_directory()) subs.push_back(name);
      }
      EXPECT_EQ(fso::FileNames(folder), sorted(files));
      EXPECT_EQ(fso::SubFolderNames(folder), sorted(subs));
      for (const std::string& name : names) {
        std::string path = folder + "/" + name;
        EXPECT_EQ(fso::FileExists(path), fs::is_regular_file(path)) << name;
        EXPECT_EQ(fso::FolderExists(path), fs::is_directory(path)) << name;
        EXPECT_EQ(fso::IsLink(path), fs::is_symlink(fs::symlink_status(path))) << name;
      }
    }
  };
  const struct {
    const char* what;
    std::function<void()> change;
  } changes[] = {
      {"nothing yet", [] {}},
      {"a new file", [&] { fso::WriteBytes(root + "/new", "n"); }},
      {"a file written through a folder link", [&] { fso::WriteBytes(root + "/ld/via", "v"); }},
      {"a file written through a dangling link", [&] { fso::WriteBytes(root + "/dangling", "g"); }},
      {"a file written over", [&] { fso::WriteBytes(root + "/f", "again"); }},
      {"a file deleted", [&] { fso::DeleteFile(root + "/new"); }},
      {"a link to a file deleted", [&] { fso::DeleteFile(root + "/lf"); }},
      {"a folder created", [&] { fso::CreateFolder(root + "/made"); }},
      {"a file copied in", [&] { fso::CopyFile(root + "/f", root + "/made/"); }},
      {"a folder copied", [&] { fso::CopyFolder(root + "/d", root + "/copy"); }},
      {"a folder copied over", [&] { fso::CopyFolder(root + "/made", root + "/copy/"); }},
      {"a copied folder deleted", [&] { fso::DeleteFolder(root + "/copy"); }},
      {"a link to a folder deleted", [&] { fso::DeleteFolder(root + "/ld"); }},
      {"a file moved", [&] { fso::MoveFile(root + "/f", root + "/e/f"); }},
      {"a folder moved", [&] { fso::MoveFolder(root + "/made", root + "/e/made"); }},
      {"a folder deleted and made again",
       [&] {
         fso::DeleteFolder(root + "/d");
         fso::CreateFolder(root + "/d");
         fso::CreateFolder(root + "/d/sub");
         fso::WriteBytes(root + "/d/sub/again.txt", "a");
       }},
  };
  fso::ListingScope run;
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    c.change();
    check();
  }
}

// A folder reached by two paths is listed once; a run's scope ends with
// the disk asked again.
TEST(Fso, ARunListsAFolderOnceWhateverPathLeadsThere) {
  TempDir dir;
  WriteFile(dir / "real/a.txt", "a");
  fs::create_symlink(dir / "real", dir / "alias");
  std::vector<std::string> listed;
  fso::ListingObserver previous =
      fso::SetListingObserver([&](const std::string& folder) { listed.push_back(folder); });
  {
    fso::ListingScope run;
    fso::ListingScope nested;  // an inner scope changes nothing
    for (const std::string& path : {dir / "real", dir / "real/", dir / "alias"})
      EXPECT_EQ(fso::FileNames(path), std::vector<std::string>{"a.txt"}) << path;
  }
  EXPECT_EQ(listed, std::vector<std::string>{dir / "real"});
  fso::FileNames(dir / "real");
  fso::FileNames(dir / "real");
  EXPECT_EQ(listed.size(), 3u);
  fso::SetListingObserver(previous);
}

// Makes a socket at the path, as a program listening there would.
bool MakeSocket(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
  path.copy(address.sun_path, path.size());
  bool made = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return made;
}

// A device node with the numbers of /dev/null; root only.
bool MakeDevice(const std::string& path) { return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }

// A FIFO, socket or device at a name the layer writes holds no file's data:
// it is replaced by the file written, as a link there is. No write waits
// for a reader or goes into a device, whether the run's listing saw the
// thing or it came since.
TEST(Fso, WritesReplaceWhatIsNoRegularFileAtTheTargetName) {
  int reader = -1;
  const struct {
    const char* what;
    std::function<bool(const std::string&)> make;
  } kinds[] = {
      {"a FIFO", MakeFifo},
      {"a FIFO with a reader",
       [&](const std::string& p) {
         reader = MakeFifo(p) ? open(p.c_str(), O_RDONLY | O_NONBLOCK) : -1;
         return reader >= 0;
       }},
      {"a socket", MakeSocket},
      {"a device", MakeDevice},
  };
  const struct {
    const char* what;
    std::function<void(const std::string& source, const std::string& target)> write;
  } writes[] = {
      {"WriteBytes", [](const std::string&, const std::string& t) { fso::WriteBytes(t, "written"); }},
      {"CopyFile", [](const std::string& s, const std::string& t) { fso::CopyFile(s, t); }},
  };
  for (const auto& kind : kinds) {
    for (const auto& w : writes) {
      for (bool madeSinceListed : {false, true}) {
        SCOPED_TRACE(std::string(kind.what) + ", " + w.what +
                     (madeSinceListed ? ", made since the run listed the folder" : ""));
        TempDir dir;
        WriteFile(dir / "source.txt", "written");
        MakeDirs(dir / "in");
        const std::string target = dir / "in/page.xml";
        FifoDeadline deadline({target});
        std::unique_ptr<fso::ListingScope> run;
        if (madeSinceListed) {
          run = std::make_unique<fso::ListingScope>();
          // The folder above tells the run how the disk matches names.
          ASSERT_FALSE(fso::SubFolderNames(dir.path()).empty());
          ASSERT_TRUE(fso::FileNames(dir / "in").empty());
        }
        if (!kind.make(target)) {
          ADD_FAILURE() << "cannot make " << kind.what << " here";
          continue;
        }
        EXPECT_NO_THROW(w.write(dir / "source.txt", target));
        EXPECT_FALSE(deadline.Passed()) << "the write waited";
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
        EXPECT_EQ(ReadFile(target), "written");
        if (reader >= 0) close(reader);
        reader = -1;
      }
    }
  }
}

// A FIFO, socket or device is no file to read: reading it is an error
// naming it, and never waits for a writer.
TEST(Fso, ReadsRefuseWhatIsNoRegularFile) {
  const struct {
    const char* what;
    std::function<bool(const std::string&)> make;
  } kinds[] = {{"a FIFO", MakeFifo}, {"a socket", MakeSocket}, {"a device", MakeDevice}};
  const struct {
    const char* what;
    std::function<void(const std::string& source, const std::string& target)> read;
  } reads[] = {
      {"ReadBytes", [](const std::string& s, const std::string&) { fso::ReadBytes(s); }},
      {"ReadAnsiText", [](const std::string& s, const std::string&) { fso::ReadAnsiText(s); }},
      {"CopyFile", [](const std::string& s, const std::string& t) { fso::CopyFile(s, t); }},
  };
  for (const auto& kind : kinds) {
    for (const auto& r : reads) {
      SCOPED_TRACE(std::string(kind.what) + ", " + r.what);
      TempDir dir;
      const std::string source = dir / "array.ini";
      FifoDeadline deadline({source});
      ASSERT_TRUE(kind.make(source));
      testing_support::ExpectFsoErrorNaming([&] { r.read(source, dir / "copy"); }, source);
      EXPECT_FALSE(deadline.Passed()) << "the read waited";
      EXPECT_FALSE(testing_support::Exists(dir / "copy"));
    }
  }
}

// Once a run has listed a folder, nothing is written, created or deleted
// through its path when another folder, or a link to one, has taken its
// place since: each change is an error naming the folder, and neither the
// folder moved away nor the one now at its path is touched.
TEST(Fso, NothingChangesThroughAFolderReplacedSinceTheRunListedIt) {
  const struct {
    const char* what;
    std::function<void(const std::string& folder, const std::string& loose)> change;
  } changes[] = {
      {"a file written", [](const std::string& d, const std::string&) { fso::WriteBytes(d + "/new.txt", "x"); }},
      {"a file written over", [](const std::string& d, const std::string&) { fso::WriteBytes(d + "/f.txt", "x"); }},
      {"a file copied in", [](const std::string& d, const std::string& l) { fso::CopyFile(l, d + "/copy.txt"); }},
      {"a file moved in", [](const std::string& d, const std::string& l) { fso::MoveFile(l, d + "/moved.txt"); }},
      {"a file deleted", [](const std::string& d, const std::string&) { fso::DeleteFile(d + "/f.txt"); }},
      {"a folder made", [](const std::string& d, const std::string&) { fso::CreateFolder(d + "/made"); }},
      {"a folder deleted", [](const std::string& d, const std::string&) { fso::DeleteFolder(d + "/sub"); }},
      {"a folder copied in", [](const std::string& d, const std::string& l) {
         fso::CopyFolder(fs::path(l).parent_path().string() + "/tree", d + "/tree");
       }},
  };
  for (bool byLink : {true, false}) {
    for (const auto& c : changes) {
      SCOPED_TRACE(std::string(c.what) + (byLink ? ", a link in its place" : ", another folder in its place"));
      TempDir dir;
      const std::string folder = testing_support::MakeFolderToSwap(dir.path());
      fso::ListingScope run;
      ASSERT_EQ(fso::FileNames(folder), std::vector<std::string>{"f.txt"});
      ASSERT_EQ(fso::SubFolderNames(folder), std::vector<std::string>{"sub"});
      ASSERT_EQ(rename(folder.c_str(), (dir / "away").c_str()), 0);
      if (byLink)
        fs::create_symlink(dir / "outside", folder);
      else
        WriteFile(folder + "/other.txt", "another folder");
      const auto outside = testing_support::Snapshot(dir / "outside");
      const auto away = testing_support::Snapshot(dir / "away");
      const auto now = testing_support::Snapshot(dir / "site");
      testing_support::ExpectSiteChangedNaming([&] { c.change(folder, dir / "loose.txt"); }, folder);
      EXPECT_EQ(testing_support::Snapshot(dir / "outside"), outside);
      EXPECT_EQ(testing_support::Snapshot(dir / "away"), away);
      EXPECT_EQ(testing_support::Snapshot(dir / "site"), now);
      EXPECT_EQ(ReadFile(dir / "loose.txt"), "loose");
    }
  }
}

// Where a disk folds case (exFAT, FAT, Windows disks), a run's listing finds
// a name whatever the case of its ASCII letters, as the disk itself does;
// where it does not, byte for byte. Whether it does is found out once per
// disk, by looking a listed name up in the other case: here the probe
// answers for the disk.
TEST(Fso, HeldListingsMatchNamesAsTheirDiskDoes) {
  TempDir dir;
  WriteFile(dir / "A/WELCOME.HTML", "own");
  WriteFile(dir / "Nested/INDEX.HTML", "own");
  WriteFile(dir / "05电子课本/INDEX.HTML", "own");
  WriteFile(dir / "05电子课本/课文.htm", "x");
  for (bool folds : {true, false}) {
    SCOPED_TRACE(folds ? "a disk that folds case" : "a disk that does not");
    std::vector<std::string> asked;
    fso::CaseProbe previous = fso::SetCaseProbe([&](const std::string& path) {
      asked.push_back(path);
      return folds;
    });
    {
      fso::ListingScope run;
      const struct {
        std::string path;
        bool file, folder;
      } cases[] = {
          {dir / "A/WELCOME.HTML", true, false},
          {dir / "A/welcome.html", folds, false},
          {dir / "A/Welcome.Html", folds, false},
          {dir / "A/welcome.htm", false, false},
          {dir / "nested", false, folds},
          {dir / "Nested/index.html", folds, false},
          {dir / "05电子课本/index.html", folds, false},
          {dir / "05电子课本/课文.HTM", folds, false},
          {dir / "05电子课本/课本.htm", false, false},
      };
      for (const auto& c : cases) {
        EXPECT_EQ(fso::FileExists(c.path), c.file) << c.path;
        EXPECT_EQ(fso::FolderExists(c.path), c.folder) << c.path;
      }
      EXPECT_EQ(fso::FileNames(dir / "A"), std::vector<std::string>{"WELCOME.HTML"});
      // The rule the run's own names follow too.
      EXPECT_EQ(fso::FoldsCase(dir / "A"), folds);
    }
    EXPECT_FALSE(fso::FoldsCase(dir / "A"));  // known only while the run lasts
    EXPECT_EQ(asked.size(), 1u);
    fso::SetCaseProbe(previous);
  }
}

// A folder the run has made is the folder it writes in: one swapped for a
// link the moment it is made is an error naming it, and nothing is written
// through it.
TEST(Fso, NothingIsWrittenThroughAFolderSwappedTheMomentTheRunMadeIt) {
  const struct {
    const char* what;
    std::function<void(const std::string& made, const std::string& tree)> make;
  } makes[] = {
      {"a folder made", [](const std::string& m, const std::string&) { fso::CreateFolder(m); }},
      {"a folder copied in", [](const std::string& m, const std::string& t) { fso::CopyFolder(t, m); }},
  };
  for (const auto& c : makes) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string site = dir / "site", made = site + "/made";
    WriteFile(site + "/f.txt", "f");
    WriteFile(dir / "tree/t.txt", "t");
    WriteFile(dir / "victim/t.txt", "precious");
    const auto victim = testing_support::Snapshot(dir / "victim");
    fso::ListingScope run;
    ASSERT_EQ(fso::FileNames(site), std::vector<std::string>{"f.txt"});
    bool swapped = false;
    fso::FolderMadeObserver previous = fso::SetFolderMadeObserver([&](const std::string& folder) {
      if (folder != made || swapped) return;
      swapped = true;
      ASSERT_EQ(rename(made.c_str(), (dir / "away").c_str()), 0);
      fs::create_symlink(dir / "victim", made);
    });
    testing_support::ExpectSiteChangedNaming(
        [&] {
          c.make(made, dir / "tree");
          fso::WriteBytes(made + "/t.txt", "written");
        },
        made);
    fso::SetFolderMadeObserver(previous);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(testing_support::Snapshot(dir / "victim"), victim);
  }
}

// A folder the run holds as real, swapped for a link before its own first
// listing, is not listed through the link: an error names it, and nothing
// is written there.
TEST(Fso, AFolderHeldAsRealThatBecameALinkIsNotListedThroughIt) {
  TempDir dir;
  const std::string site = dir / "site", folder = site + "/d";
  WriteFile(folder + "/f.txt", "listed");
  WriteFile(dir / "outside/secret.txt", "outside");
  const auto outside = testing_support::Snapshot(dir / "outside");
  fso::ListingScope run;
  ASSERT_EQ(fso::SubFolderNames(site), std::vector<std::string>{"d"});
  ASSERT_EQ(rename(folder.c_str(), (dir / "away").c_str()), 0);
  fs::create_symlink(dir / "outside", folder);
  testing_support::ExpectSiteChangedNaming([&] { fso::FileNames(folder); }, folder);
  testing_support::ExpectSiteChangedNaming([&] { fso::WriteBytes(folder + "/new.txt", "x"); }, folder);
  EXPECT_EQ(testing_support::Snapshot(dir / "outside"), outside);
}

// A run lets go of the folders it has not used for longest and opens them
// again from the folder above when it needs them: a folder opened again is
// still the folder listed, and one replaced by a link meanwhile is an error
// naming it.
TEST(Fso, AFolderOpenedAgainIsStillTheFolderListed) {
  TempDir dir;
  const std::string site = dir / "site";
  std::vector<std::string> folders;
  for (int i = 0; i < 300; ++i) {
    folders.push_back(site + "/" + std::to_string(1000 + i));
    WriteFile(folders.back() + "/f.txt", "f");
  }
  WriteFile(dir / "outside/g.txt", "outside");
  const auto outside = testing_support::Snapshot(dir / "outside");
  fso::ListingScope run;
  for (const std::string& folder : folders) ASSERT_EQ(fso::FileNames(folder), std::vector<std::string>{"f.txt"});
  fso::WriteBytes(folders[1] + "/new.txt", "written");
  EXPECT_EQ(ReadFile(folders[1] + "/new.txt"), "written");
  ASSERT_EQ(rename(folders[0].c_str(), (dir / "away").c_str()), 0);
  fs::create_symlink(dir / "outside", folders[0]);
  testing_support::ExpectSiteChangedNaming([&] { fso::WriteBytes(folders[0] + "/new.txt", "x"); }, folders[0]);
  EXPECT_EQ(testing_support::Snapshot(dir / "outside"), outside);
}

// A file the run listed as a regular file is read as one: a link put in
// its place since is not followed to what it points at, and the read or
// copy is an error naming the file.
TEST(Fso, AFileListedAsRegularIsNotReadThroughALinkPutInItsPlace) {
  const struct {
    const char* what;
    std::function<void(const std::string& file, const std::string& target)> read;
  } reads[] = {
      {"read", [](const std::string& f, const std::string&) { fso::ReadBytes(f); }},
      {"copied", [](const std::string& f, const std::string& t) { fso::CopyFile(f, t); }},
  };
  for (const auto& c : reads) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir / "site/welcome.txt", target = dir / "site/copy.txt";
    WriteFile(file, "own");
    WriteFile(dir / "secret.txt", "secret");
    fso::ListingScope run;
    ASSERT_TRUE(fso::FileExists(file));
    ASSERT_FALSE(fso::IsLink(file));
    ASSERT_EQ(unlink(file.c_str()), 0);
    fs::create_symlink(dir / "secret.txt", file);
    testing_support::ExpectSiteChangedNaming([&] { c.read(file, target); }, file);
    EXPECT_FALSE(fs::exists(target));
  }
}

// A folder a run holds, moved away, replaced by a link or by another
// folder, is the site changing under the run; the same folder moved away
// outside a run, or in a run that never listed it, is only a failure of
// the write, which a routine that passes over failures may pass over.
TEST(Fso, OnlyAFolderTheRunHoldsChangingIsTheSiteChanging) {
  const struct {
    const char* what;
    std::function<void(const std::string& folder, const std::string& dir)> change;
  } changes[] = {
      {"moved away", [](const std::string& f, const std::string& d) { fs::rename(f, d + "/away"); }},
      {"a link in its place",
       [](const std::string& f, const std::string& d) {
         fs::rename(f, d + "/away");
         fs::create_symlink(d + "/away", f);
       }},
      {"another folder in its place",
       [](const std::string& f, const std::string& d) {
         fs::rename(f, d + "/away");
         MakeDirs(f);
       }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string site = dir / "site", folder = site + "/startxml.files";
    WriteFile(folder + "/a.css", "a");
    fso::ListingScope run;
    fso::FileNames(site);
    fso::FileNames(folder);
    c.change(folder, dir.path());
    testing_support::ExpectSiteChangedNaming([&] { fso::WriteBytes(folder + "/b.css", "b"); }, folder);
    EXPECT_FALSE(fs::exists(dir / "away/b.css"));
  }
  for (bool inARun : {false, true}) {
    SCOPED_TRACE(inARun ? "in a run that never listed it" : "outside a run");
    TempDir dir;
    WriteFile(dir / "a/f.txt", "f");
    std::unique_ptr<fso::ListingScope> run;
    if (inARun) run = std::make_unique<fso::ListingScope>();
    fs::rename(dir / "a", dir / "b");
    try {
      fso::WriteBytes(dir / "a/g.txt", "g");
      ADD_FAILURE() << "written into a folder that is not there";
    } catch (const platform::FsoError& e) {
      EXPECT_EQ(dynamic_cast<const platform::SiteChangedError*>(&e), nullptr) << e.what();
    }
  }
}

// A write broken off half-way leaves the name as it was: the old content,
// or nothing. What it left is one of the programs' own temporary files,
// which the next run's listing does not hold and removes.
TEST(Fso, AWriteBrokenOffHalfWayLeavesTheNameAsItWas) {
  const struct {
    const char* what;
    std::function<void(const std::string& file, const std::string& source)> write;
  } writes[] = {
      {"bytes written", [](const std::string& f, const std::string&) { fso::WriteBytes(f, "the whole new page"); }},
      {"a file copied over", [](const std::string& f, const std::string& s) { fso::CopyFile(s, f); }},
  };
  const std::vector<std::string> kBoth{"other.htm", "page.html"}, kOther{"other.htm"};
  for (const auto& c : writes) {
    for (bool existed : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (existed ? ", written over" : ", a new file"));
      TempDir dir;
      const std::string site = dir / "site", file = site + "/page.html", source = dir / "new.html";
      WriteFile(site + "/other.htm", "o");
      WriteFile(source, "the whole new page");
      if (existed) WriteFile(file, "the old page");
      fso::WriteStop previous = fso::SetWriteStop([&](const std::string& path) { return path == file; });
      EXPECT_THROW(c.write(file, source), FsoError);
      fso::SetWriteStop(previous);
      if (existed)
        EXPECT_EQ(ReadFile(file), "the old page");
      else
        EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
      {
        fso::ListingScope run;
        const std::vector<std::string> names = fso::FileNames(site);
        EXPECT_EQ(names, existed ? kBoth : kOther);
      }
      std::set<std::string> left;
      for (const auto& entry : fs::directory_iterator(site)) left.insert(entry.path().filename().string());
      EXPECT_EQ(std::vector<std::string>(left.begin(), left.end()), existed ? kBoth : kOther);
      c.write(file, source);
      EXPECT_EQ(ReadFile(file), "the whole new page");
    }
  }
}

// The check meant for disks that number their folders afresh (FAT, exFAT)
// does not let another file system pass: a copy bind-mounted over a listed
// folder, holding the same names, is another folder.
TEST(Fso, ACopyMountedOverAListedFolderIsAnotherFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "bind-mounting a folder needs root";
  TempDir dir;
  const std::string folder = dir / "site/d", copy = dir / "copy";
  WriteFile(folder + "/f.txt", "listed");
  WriteFile(copy + "/f.txt", "the copy");
  fso::ListingScope run;
  ASSERT_EQ(fso::FileNames(folder), std::vector<std::string>{"f.txt"});
  if (mount(copy.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
  testing_support::ExpectSiteChangedNaming([&] { fso::WriteBytes(folder + "/startxml.xml", "x"); }, folder);
  EXPECT_FALSE(fs::exists(copy + "/startxml.xml"));
  umount2(folder.c_str(), MNT_DETACH);
  EXPECT_FALSE(fs::exists(folder + "/startxml.xml"));
}

}  // namespace

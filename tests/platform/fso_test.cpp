#include "platform/fso.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

namespace fso = platform::fso;
namespace fs = std::filesystem;
using platform::FsoError;
using testing_support::MakeDirs;
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
    for (bool dangling : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (dangling ? ", dangling link" : ", live link"));
      TempDir dir;
      WriteFile(dir / "source/a.txt", "a");
      WriteFile(dir / "source/sub/b.txt", "b");
      WriteFile(dir / "outside/a.txt", "outside");
      WriteFile(dir / "outside/b.txt", "outside");
      WriteFile(dir / "outside.file", "outside");
      MakeDirs(dir / "in");
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

}  // namespace

// Path and name routines, existence tests, folder counting and the
// delete/copy-if-exists family.
#include "generator/uitl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/recording_sink.h"
#include "generator/skip_on_error.h"
#include "generator/ui_sink.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "support/fso_error.h"
#include "support/temp_dir.h"
#include "support/walk_fixtures.h"

namespace talvora {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Trimmed(std::string path) {
  TrimSlashes(path);
  return path;
}

struct TextCase {
  const char* routine;
  std::function<std::string(const std::string&)> call;
  std::string input;
  std::string expected;
};

TEST(UitlNames, TextRoutinesTakePathsApartAsDesigned) {
  const TextCase cases[] = {
      {"GetFileName", GetFileName, "/a/b.txt", "b.txt"},
      {"GetFileName", GetFileName, "/a/", ""},
      {"GetFileName", GetFileName, "abc", "abc"},
      {"GetBaseName", GetBaseName, "/a/b.tar.gz", "b.tar"},
      {"GetBaseName", GetBaseName, ".ini", ""},
      {"GetBaseName", GetBaseName, "/a.b/README", "README"},
      {"GetExtension", GetExtension, "abc.", ""},
      {"GetExtension", GetExtension, "abc", "abc"},
      {"GetExtension", GetExtension, "a.b/c", "b/c"},
      {"GetExtension", GetExtension, "/a/b.tar.gz", "gz"},
      {"TrimSlashes", Trimmed, "/a/b/", "a/b"},
      {"TrimSlashes", Trimmed, "//a//", "/a/"},
      {"TrimSlashes", Trimmed, "/", ""},
      {"TrimSlashes", Trimmed, "a", "a"},
      {"StripNumberPrefix", StripNumberPrefix, "1234x", "4x"},
      {"StripNumberPrefix", StripNumberPrefix, "", ""},
      {"StripNumberPrefix", StripNumberPrefix, "01语文", "语文"},
      {"StripNumberPrefix", StripNumberPrefix, "2008年", "8年"},
      {"StripNumberPrefix", StripNumberPrefix, "x12", "x12"},
      {"StripNumberPrefix", StripNumberPrefix, "01 Intro", " Intro"},
      {"ParentPrefix", ParentPrefix, "/res/math", "/res/"},
      {"ParentPrefix", ParentPrefix, "/res/", "/res/"},
      {"ParentPrefix", ParentPrefix, "/", "/"},
      {"ParentPrefix", ParentPrefix, "abc", "abc"},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(c.call(c.input), c.expected) << c.routine << "(" << c.input << ")";
}

TEST(UitlNames, CountLevelsCountsSeparatorsButALoneOneIsZero) {
  const std::pair<std::string, int> cases[] = {
      {"/", 0}, {"//", 2}, {"/a", 1}, {"/a/b", 2}, {"", 0}, {"/a/b/", 3}};
  for (const auto& [text, levels] : cases) EXPECT_EQ(CountLevels(text), levels) << text;
}

TEST(UitlNames, StartsWith) {
  EXPECT_TRUE(StartsWith("innerxml1", "innerxml"));
  EXPECT_FALSE(StartsWith("inner", "innerxml"));
  EXPECT_TRUE(StartsWith("anything", ""));
  EXPECT_TRUE(StartsWith("", ""));
  EXPECT_FALSE(StartsWith("Welcome", "welcome"));
}

TEST(UitlNames, RelativePathCutsTheRootLengthFromTheEnd) {
  struct Case {
    std::string root, path, expected;
  } cases[] = {
      {"/site", "/site", ""},
      {"/site", "/site/a", "/a"},
      {"/site", "/site/a/b", "/a/b"},
      {"/other", "/site/a", "/site/a"},
      // The root may stand anywhere; only its length is cut.
      {"site", "/w/site/a", "ite/a"},
      // Lengths are in characters: a Chinese name is never cut in half.
      {"/x/语文", "/y/x/语文/课", "语文/课"},
      {"/资源/语文", "/资源/语文/第一课", "/第一课"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RelativePath(c.root, c.path), c.expected) << c.root << " | " << c.path;
}

TEST(UitlDisk, ExistenceTestsTellFilesFromFolders) {
  TempDir dir;
  WriteFile(dir / "site/index.html", "x");
  WriteFile(dir / "site/startxml.xsl", "x");
  WriteFile(dir / "other/index.htm", "x");
  MakeDirs(dir / "other/index.html.d");

  EXPECT_TRUE(FileExists(dir / "site/index.html"));
  EXPECT_FALSE(FileExists(dir / "site"));
  EXPECT_FALSE(FileExists(dir / "missing"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(FolderExists(dir / "site"));
  EXPECT_FALSE(FolderExists(dir / "site/index.html"));
  EXPECT_FALSE(FolderExists(""));

  EXPECT_EQ(GetIndexPage(dir / "site"), "index.html");
  EXPECT_EQ(GetIndexPage(dir / "other"), "");  // index.htm does not count
  EXPECT_EQ(GetIndexPage(dir / "missing"), "");
  EXPECT_TRUE(IsSiteRoot(dir / "site"));
  EXPECT_FALSE(IsSiteRoot(dir / "other"));
}

TEST(UitlDisk, HasSiteMarkerLooksAtTheFirstThreeBytes) {
  TempDir dir;
  const std::pair<std::string, bool> cases[] = {
      {"<qz", true}, {"<qzhtml>", true}, {"<q", false}, {"", false}, {"<QZ>", false}, {" <qz", false}};
  for (const auto& [content, marked] : cases) {
    WriteFile(dir / "index.html", content);
    EXPECT_EQ(HasSiteMarker(dir / "index.html"), marked) << "[" << content << "]";
  }
  EXPECT_FALSE(HasSiteMarker(dir / "none.html"));
  EXPECT_FALSE(FileExists(dir / "none.html"));
}

using UitlCount = WithSink;

TEST_F(UitlCount, CountsEveryFolderBelowAtEveryDepth) {
  TempDir dir;
  MakeDirs(dir / "site/a/b/c");
  MakeDirs(dir / "site/a/d");
  MakeDirs(dir / "site/e.files");  // skipped by the generator, counted here
  WriteFile(dir / "site/a/page.htm", "x");
  EXPECT_EQ(CountFolders(dir / "site"), 5);
  // The start folder and every folder with sub-folders let messages through
  // once; a folder without sub-folders is counted without a visit.
  EXPECT_EQ(sink.pumps, 3);
  EXPECT_EQ(CountFolders(dir / "site/a/b/c"), 0);
}

TEST_F(UitlCount, CancelStopsTheCount) {
  TempDir dir;
  MakeDirs(dir / "site/a/b/c");
  MakeDirs(dir / "site/x/y/z");
  Options().CancelFlag = -1;
  EXPECT_EQ(CountFolders(dir / "missing"), 0);  // returns before touching the disk
  EXPECT_EQ(sink.pumps, 0);

  // Cancel pressed while the first branch is being counted: deeper calls give 0.
  Options().CancelFlag = 0;
  sink.onPump = [&] {
    if (sink.pumps == 2) Options().CancelFlag = -1;
  };
  // a counts b but not c; x counts alone.
  EXPECT_EQ(CountFolders(dir / "site"), 3);
}

TEST_F(UitlCount, ALinkBackToAnEnclosingFolderIsNotFollowed) {
  TempDir dir;
  MakeDirs(dir / "site/a/b");
  std::filesystem::create_directory_symlink(dir / "site", dir / "site/a/b/up");
  std::filesystem::create_directory_symlink(dir / "site/a", dir / "site/a/back");
  EXPECT_EQ(CountFolders(dir / "site"), 2);
}

TEST_F(UitlCount, AFolderThatCannotBeListedRaises) {
  TempDir dir;
  EXPECT_THROW(CountFolders(dir / "missing"), platform::FsoError);
}

TEST(UitlDisk, DeleteIfExistsIgnoresEverythingThatGoesWrong) {
  TempDir dir;
  WriteFile(dir / "f.txt", "x");
  WriteFile(dir / "tree/sub/g.txt", "x");
  WriteFile(dir / "ro.txt", "x");
  chmod((dir / "ro.txt").c_str(), 0444);

  DeleteFileIfExists(dir / "f.txt");
  DeleteFolderIfExists(dir / "tree");
  EXPECT_FALSE(FileExists(dir / "f.txt"));
  EXPECT_FALSE(FolderExists(dir / "tree"));

  EXPECT_NO_THROW(DeleteFileIfExists(dir / "missing.txt"));
  EXPECT_NO_THROW(DeleteFolderIfExists(dir / "missing"));
  EXPECT_NO_THROW(DeleteFileIfExists(""));
  // Not forced: a read-only file stays.
  EXPECT_NO_THROW(DeleteFileIfExists(dir / "ro.txt"));
  EXPECT_TRUE(FileExists(dir / "ro.txt"));
}

TEST(UitlDisk, CopyIfExistsReplacesTargetsAndIgnoresFailures) {
  TempDir dir;
  WriteFile(dir / "src.txt", "new");
  WriteFile(dir / "dst.txt", "old");
  CopyFileIfExists(dir / "src.txt", dir / "dst.txt");
  EXPECT_EQ(ReadFile(dir / "dst.txt"), "new");

  // Into an existing folder named with a trailing separator.
  MakeDirs(dir / "into");
  CopyFileIfExists(dir / "src.txt", dir / "into/");
  EXPECT_EQ(ReadFile(dir / "into/src.txt"), "new");

  WriteFile(dir / "tpl/a.xsl", "A2");
  WriteFile(dir / "tpl/img/b.gif", "B2");
  WriteFile(dir / "site/a.xsl", "A1");
  CopyFolderIfExists(dir / "tpl", dir / "site");
  EXPECT_EQ(ReadFile(dir / "site/a.xsl"), "A2");
  EXPECT_EQ(ReadFile(dir / "site/img/b.gif"), "B2");

  EXPECT_NO_THROW(CopyFileIfExists(dir / "missing.txt", dir / "x.txt"));
  EXPECT_FALSE(FileExists(dir / "x.txt"));
  EXPECT_NO_THROW(CopyFolderIfExists(dir / "missing", dir / "y"));
  EXPECT_FALSE(FolderExists(dir / "y"));
  EXPECT_NO_THROW(CopyFileIfExists(dir / "src.txt", dir / "no/such/folder/x.txt"));
}

// What passes over failures passes over none that says the site changed
// under the run: a folder the run holds, swapped for a link, stops each of
// them with an error naming it, and nothing reaches the folder linked to.
TEST(UitlDisk, TheSiteChangingUnderARunIsNeverPassedOver) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    std::function<void(const std::string& folder, const std::string& dir)> act;
  } routines[] = {
      {"DeleteFileIfExists", [](const std::string& f, const std::string&) { DeleteFileIfExists(f + "/f.txt"); }},
      {"DeleteFolderIfExists", [](const std::string& f, const std::string&) { DeleteFolderIfExists(f + "/sub"); }},
      {"CopyFileIfExists",
       [](const std::string& f, const std::string& d) { CopyFileIfExists(d + "/loose.txt", f + "/new.txt"); }},
      {"CopyFolderIfExists",
       [](const std::string& f, const std::string& d) { CopyFolderIfExists(d + "/tree", f + "/tree"); }},
      {"the column sites' CopyFileIfExists",
       [](const std::string& f, const std::string& d) {
         quenlet::CopyFileIfExists(d + "/loose.txt", f + "/new.txt");
       }},
      {"Try", [](const std::string& f, const std::string&) {
         Try([&] { platform::fso::WriteBytes(f + "/new.txt", "x"); });
       }},
  };
  for (const auto& r : routines) {
    SCOPED_TRACE(r.what);
    TempDir dir;
    const std::string folder = testing_support::MakeFolderToSwap(dir.path());
    platform::fso::ListingScope run;
    ASSERT_EQ(platform::fso::SubFolderNames(dir / "site"), std::vector<std::string>{"d"});
    ASSERT_EQ(platform::fso::FileNames(folder), std::vector<std::string>{"f.txt"});
    ASSERT_EQ(rename(folder.c_str(), (dir / "away").c_str()), 0);
    fs::create_symlink(dir / "outside", folder);
    const auto outside = testing_support::Snapshot(dir / "outside");
    testing_support::ExpectSiteChangedNaming([&] { r.act(folder, dir.path()); }, folder);
    EXPECT_EQ(testing_support::Snapshot(dir / "outside"), outside);
  }
}

TEST(UitlDisk, WriteTextFileWritesGbkWithALineEndAndKeepsWhatGbkLacks) {
  TempDir dir;
  WriteFile(dir / "page.html", "a much longer earlier content");
  WriteTextFile(dir / "page.html", "语文 😀");
  EXPECT_EQ(ReadFile(dir / "page.html"), platform::ToAnsi("语文") + " &#128512;\r\n");
  EXPECT_THROW(WriteTextFile(dir / "no/such/page.html", "x"), platform::FsoError);
}

TEST(UitlOther, BrowseForFolderAsksTheDialogLayer) {
  platform::ScriptedDialogs dialogs;
  dialogs.paths = {"/home/t/资源", ""};
  EXPECT_EQ(BrowseForFolder(nullptr, "请选择主题资源目录："), "/home/t/资源");
  EXPECT_EQ(BrowseForFolder(nullptr, "请选择主题资源目录："), "");
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].kind, "folder");
  EXPECT_EQ(dialogs.shown[0].prompt, "请选择主题资源目录：");
}

TEST(UitlOther, RandomValueStaysInTheUnitInterval) {
  for (int i = 0; i < 1000; ++i) {
    float v = RandomValue();
    ASSERT_GE(v, 0.0f);
    ASSERT_LT(v, 1.0f);
  }
}

}  // namespace
}  // namespace talvora

#include "platform/shell_ops.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace ShellOps = platform::ShellOps;
using platform::ScriptedDialogs;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The trash of a test lives in a temp folder of its own.
class TrashHere {
 public:
  TrashHere() : env_("XDG_DATA_HOME", data_.path()) {}
  std::string Files() const { return data_ / "Trash/files"; }

 private:
  TempDir data_;
  testing_support::ScopedEnv env_;
};

TEST(ShellOpsDelete, AsksFirstAndMovesToTheTrashOnlyOnYes) {
  for (int answer : {platform::vbNo, platform::vbYes}) {
    TempDir dir;
    TrashHere trash;
    ScriptedDialogs dialogs;
    dialogs.answers = {answer};
    WriteFile(dir / "a.txt", "data");
    const int done = ShellOps::Delete(dir / "a.txt");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "msgbox");
    EXPECT_EQ(dialogs.shown[0].style, platform::vbYesNo | platform::vbQuestion);
    EXPECT_NE(dialogs.shown[0].prompt.find("a.txt"), std::string::npos);
    if (answer == platform::vbNo) {
      EXPECT_EQ(done, 0);
      EXPECT_EQ(ReadFile(dir / "a.txt"), "data");
    } else {
      EXPECT_EQ(done, 1);
      EXPECT_FALSE(fs::exists(dir / "a.txt"));
      EXPECT_EQ(ReadFile(trash.Files() + "/a.txt"), "data");
    }
  }
}

TEST(ShellOpsDelete, AFolderGoesWholeAndAMissingPathIsReported) {
  TempDir dir;
  TrashHere trash;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "site/sub");
  WriteFile(dir / "site/sub/p.htm", "<p>");
  dialogs.answers = {platform::vbYes};
  EXPECT_EQ(ShellOps::Delete(dir / "site/"), 1);
  EXPECT_FALSE(fs::exists(dir / "site"));
  EXPECT_EQ(ReadFile(trash.Files() + "/site/sub/p.htm"), "<p>");

  dialogs.shown.clear();
  EXPECT_EQ(ShellOps::Delete(dir / "gone"), 0);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].prompt.find("找不到"), std::string::npos);
}

TEST(ShellOpsCopy, ANewNameOrAFolderToGoInto) {
  TempDir dir;
  ScriptedDialogs dialogs;
  WriteFile(dir / "a.txt", "A");
  MakeDirs(dir / "tree/sub");
  WriteFile(dir / "tree/sub/b.txt", "B");
  MakeDirs(dir / "into");

  EXPECT_EQ(ShellOps::Copy(dir / "a.txt", dir / "into/renamed.txt"), 1);
  EXPECT_EQ(ShellOps::Copy(dir / "a.txt", dir / "into"), 1);
  EXPECT_EQ(ShellOps::Copy(dir / "tree", dir / "into"), 1);
  EXPECT_EQ(ShellOps::Copy(dir / "tree", dir / "into/tree2"), 1);
  EXPECT_EQ(ReadFile(dir / "into/renamed.txt"), "A");
  EXPECT_EQ(ReadFile(dir / "into/a.txt"), "A");
  EXPECT_EQ(ReadFile(dir / "into/tree/sub/b.txt"), "B");
  EXPECT_EQ(ReadFile(dir / "into/tree2/sub/b.txt"), "B");
  EXPECT_EQ(ReadFile(dir / "tree/sub/b.txt"), "B");
  EXPECT_TRUE(dialogs.shown.empty());
}

// Replacing an existing file: the answer decides, and only Yes (or Yes to
// all) replaces it.
TEST(ShellOpsCopy, AnExistingFileIsReplacedOnlyOnYes) {
  const struct {
    int answer;
    int result;
    const char* content;
  } cases[] = {
      {platform::vbYes, 1, "new"},
      {platform::vbYesToAll, 1, "new"},
      {platform::vbNo, 0, "old"},
      {platform::vbCancel, 0, "old"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    ScriptedDialogs dialogs;
    dialogs.answers = {c.answer};
    WriteFile(dir / "a.txt", "new");
    MakeDirs(dir / "to");
    WriteFile(dir / "to/a.txt", "old");
    EXPECT_EQ(ShellOps::Copy(dir / "a.txt", dir / "to/a.txt"), c.result) << c.answer;
    EXPECT_EQ(ReadFile(dir / "to/a.txt"), c.content) << c.answer;
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "replace");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "to"), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
  }
}

TEST(ShellOpsCopy, AFolderOfTheSameNameIsMergedAskingPerFile) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "src/A/deep");
  WriteFile(dir / "src/A/same.txt", "new");
  WriteFile(dir / "src/A/other.txt", "other");
  WriteFile(dir / "src/A/deep/d.txt", "d");
  MakeDirs(dir / "dst/A");
  WriteFile(dir / "dst/A/same.txt", "old");
  WriteFile(dir / "dst/A/mine.txt", "mine");
  // Merge the folders: yes; replace same.txt: no.
  dialogs.answers = {platform::vbYes, platform::vbNo};
  EXPECT_EQ(ShellOps::Copy(dir / "src/A", dir / "dst/A"), 0);
  EXPECT_EQ(ReadFile(dir / "dst/A/same.txt"), "old");
  EXPECT_EQ(ReadFile(dir / "dst/A/mine.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "dst/A/other.txt"), "other");
  EXPECT_EQ(ReadFile(dir / "dst/A/deep/d.txt"), "d");
  EXPECT_FALSE(fs::exists(dir / "dst/A/A"));
  ASSERT_EQ(dialogs.shown.size(), 2u);
}

TEST(ShellOpsCopy, IntoItselfIsRefused) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "A/sub");
  WriteFile(dir / "A/a.txt", "a");
  EXPECT_EQ(ShellOps::Copy(dir / "A", dir / "A/sub"), 0);
  EXPECT_EQ(ShellOps::Copy(dir / "A", dir / "A"), 0);
  EXPECT_EQ(ShellOps::Copy(dir / "A/a.txt", dir / "A"), 0);
  EXPECT_FALSE(fs::exists(dir / "A/sub/A"));
  EXPECT_FALSE(fs::exists(dir / "A/A"));
  EXPECT_EQ(dialogs.shown.size(), 3u);
  EXPECT_EQ(ReadFile(dir / "A/a.txt"), "a");
}

TEST(ShellOpsMove, AnExistingNameIsNeverOverwrittenWithoutAYes) {
  const struct {
    int answer;
    int result;
  } cases[] = {
      {platform::vbNo, 0},
      {platform::vbCancel, 0},
      {platform::vbYes, 1},
  };
  for (const auto& c : cases) {
    TempDir dir;
    ScriptedDialogs dialogs;
    dialogs.answers = {c.answer};
    WriteFile(dir / "a.txt", "moving");
    MakeDirs(dir / "to");
    WriteFile(dir / "to/a.txt", "staying");
    EXPECT_EQ(ShellOps::Move(dir / "a.txt", dir / "to"), c.result) << c.answer;
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "replace");
    if (c.result == 1) {
      EXPECT_EQ(ReadFile(dir / "to/a.txt"), "moving");
      EXPECT_FALSE(fs::exists(dir / "a.txt"));
    } else {
      EXPECT_EQ(ReadFile(dir / "to/a.txt"), "staying");
      EXPECT_EQ(ReadFile(dir / "a.txt"), "moving");
    }
  }
}

TEST(ShellOpsMove, MovesIntoAFolderOrToANewName) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "A/sub");
  WriteFile(dir / "A/sub/x.txt", "x");
  WriteFile(dir / "f.txt", "f");
  MakeDirs(dir / "B");
  EXPECT_EQ(ShellOps::Move(dir / "A", dir / "B"), 1);
  EXPECT_EQ(ShellOps::Move(dir / "f.txt", dir / "B/A/g.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "B/A/sub/x.txt"), "x");
  EXPECT_EQ(ReadFile(dir / "B/A/g.txt"), "f");
  EXPECT_FALSE(fs::exists(dir / "A"));
  EXPECT_FALSE(fs::exists(dir / "f.txt"));
  EXPECT_TRUE(dialogs.shown.empty());
}

// Each refusal shows a message and leaves both sides as they were.
TEST(ShellOpsMove, OntoAFileOrIntoItselfIsRefused) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "A/sub");
  WriteFile(dir / "A/a.txt", "a");
  WriteFile(dir / "other.txt", "o");
  const struct {
    std::string source, destination;
  } cases[] = {
      {dir / "A/a.txt", dir / "other.txt"},
      {dir / "A", dir / "other.txt"},
      {dir / "A", dir / "A/sub"},
      {dir / "A", dir / "A"},
      {dir / "A", dir / "missing/A"},
      {dir / "gone.txt", dir / "A"},
  };
  for (const auto& c : cases) {
    dialogs.shown.clear();
    EXPECT_EQ(ShellOps::Move(c.source, c.destination), 0) << c.source << " -> " << c.destination;
    ASSERT_EQ(dialogs.shown.size(), 1u) << c.source << " -> " << c.destination;
    EXPECT_EQ(dialogs.shown[0].kind, "msgbox");
  }
  EXPECT_EQ(ReadFile(dir / "A/a.txt"), "a");
  EXPECT_EQ(ReadFile(dir / "other.txt"), "o");
  EXPECT_TRUE(fs::is_directory(dir / "A/sub"));
  EXPECT_FALSE(fs::exists(dir / "A/sub/A"));
}

TEST(ShellOpsMove, AMergeKeepsWhatWasNotMoved) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "src/A");
  WriteFile(dir / "src/A/same.txt", "new");
  WriteFile(dir / "src/A/free.txt", "free");
  MakeDirs(dir / "dst/A");
  WriteFile(dir / "dst/A/same.txt", "old");
  dialogs.answers = {platform::vbYes, platform::vbNo};
  EXPECT_EQ(ShellOps::Move(dir / "src/A", dir / "dst"), 0);
  EXPECT_EQ(ReadFile(dir / "dst/A/same.txt"), "old");
  EXPECT_EQ(ReadFile(dir / "dst/A/free.txt"), "free");
  EXPECT_EQ(ReadFile(dir / "src/A/same.txt"), "new");
  EXPECT_FALSE(fs::exists(dir / "src/A/free.txt"));

  // Yes to all: the rest goes, and the emptied source folder with it.
  dialogs.answers = {platform::vbYesToAll};
  EXPECT_EQ(ShellOps::Move(dir / "src/A", dir / "dst"), 1);
  EXPECT_EQ(ReadFile(dir / "dst/A/same.txt"), "new");
  EXPECT_FALSE(fs::exists(dir / "src/A"));
}

// A merge meets a link in the destination that points back into the source:
// the link is replaced (after its prompt), nothing is written through it,
// and the source's only copy of a file is never the one removed.
TEST(ShellOpsMerge, ALinkInTheDestinationIsReplacedNotWrittenThrough) {
  const struct {
    const char* what;
    bool move;
    const char* link;    // below b/X
    const char* target;  // what it points to, below a/X
  } cases[] = {
      {"move, a link to the file", true, "only.txt", "only.txt"},
      {"copy, a link to the file", false, "only.txt", "only.txt"},
      {"move, a link to the folder", true, "sub", "sub"},
      {"copy, a link to the folder", false, "sub", "sub"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ScriptedDialogs dialogs;
    WriteFile(dir / "a/X/only.txt", "only");
    WriteFile(dir / "a/X/sub/deep.txt", "deep");
    MakeDirs(dir / "b/X");
    fs::create_symlink(dir / (std::string("a/X/") + c.target), dir / (std::string("b/X/") + c.link));
    for (int i = 0; i < 8; ++i) dialogs.answers.push_back(platform::vbYes);
    const int done = c.move ? ShellOps::Move(dir / "a/X", dir / "b/X")
                            : ShellOps::Copy(dir / "a/X", dir / "b/X");
    EXPECT_EQ(done, 1);
    // The link itself was asked about.
    bool askedForTheLink = false;
    for (const auto& shown : dialogs.shown)
      if (shown.kind == "replace" && shown.prompt.find(c.link) != std::string::npos) askedForTheLink = true;
    EXPECT_TRUE(askedForTheLink);
    // The destination holds real entries now, with the data.
    EXPECT_FALSE(fs::is_symlink(dir / (std::string("b/X/") + c.link)));
    EXPECT_EQ(ReadFile(dir / "b/X/only.txt"), "only");
    EXPECT_EQ(ReadFile(dir / "b/X/sub/deep.txt"), "deep");
    if (c.move) {
      EXPECT_FALSE(fs::exists(dir / "a/X"));
    } else {
      EXPECT_EQ(ReadFile(dir / "a/X/only.txt"), "only");
      EXPECT_EQ(ReadFile(dir / "a/X/sub/deep.txt"), "deep");
    }
  }
}

// The same file reached by two names (a hard link) is never removed as the
// "moved" source: the move stops there and says so.
TEST(ShellOpsMerge, TheSameFileUnderTwoNamesIsKept) {
  TempDir dir;
  ScriptedDialogs dialogs;
  WriteFile(dir / "a/X/only.txt", "only");
  MakeDirs(dir / "b/X");
  fs::create_hard_link(dir / "a/X/only.txt", dir / "b/X/only.txt");
  dialogs.answers = {platform::vbYes, platform::vbYes};
  EXPECT_EQ(ShellOps::Move(dir / "a/X", dir / "b/X"), 0);
  EXPECT_EQ(ReadFile(dir / "a/X/only.txt"), "only");
  EXPECT_EQ(ReadFile(dir / "b/X/only.txt"), "only");
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().kind, "msgbox");
}

}  // namespace

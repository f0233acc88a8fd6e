#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/shell_file_ops.h"
#include "workspace/tree_helpers.h"

namespace {

namespace fs = std::filesystem;
using platform::ScriptedDialogs;
using talvora::Form1;
using talvora::TreeNodes;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using tree_helpers::ChildTexts;
using tree_helpers::OpenDownTo;

class ShellFileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    trashHere_.emplace("XDG_DATA_HOME", data_.path());
    form_ = &Form1::Load();
    MakeDirs(dir_ / "dest");
    WriteFile(dir_ / "dest/stale.txt", "s");
    WriteFile(dir_ / "src.txt", "copy me");
    // Open the tree down to the temp folder, as clicks would.
    OpenDownTo(*form_, dir_.path());
    dest_ = form_->NodeOfKey(dir_ / "dest");
    ASSERT_NE(dest_, nullptr);
    ASSERT_EQ(ChildTexts(dest_), std::vector<std::string>{"stale.txt"});
    // The node goes stale: gone on disk, still in the tree.
    fs::remove(dir_ / "dest/stale.txt");
    form_->TreeView1->setCurrentItem(dest_);
  }
  void TearDown() override {
    delete Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    trashHere_.reset();
  }

  TempDir data_;
  TempDir dir_;
  std::optional<testing_support::ScopedEnv> trashHere_;
  Form1* form_ = nullptr;
  QTreeWidgetItem* dest_ = nullptr;
};

TEST_F(ShellFileOpsTest, ACopyShowsTheTargetFreshFromDiskAndOpened) {
  ScriptedDialogs dialogs;
  EXPECT_EQ(talvora::ShellCopy(*form_, dir_ / "src.txt", dir_ / "dest/src.txt"), 1);
  EXPECT_EQ(ReadFile(dir_ / "dest/src.txt"), "copy me");
  EXPECT_TRUE(dest_->isExpanded());
  EXPECT_EQ(ChildTexts(dest_), std::vector<std::string>{"src.txt"});
  EXPECT_EQ(TreeNodes::Key(dest_->child(0)), dir_ / "dest/src.txt");
  EXPECT_FALSE(form_->isEnabled());
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ShellFileOpsTest, ACancelledReplaceGivesNothingAndNoRefresh) {
  ScriptedDialogs dialogs;
  WriteFile(dir_ / "dest/src.txt", "older");
  dialogs.answers = {platform::vbCancel};
  EXPECT_EQ(talvora::ShellCopy(*form_, dir_ / "src.txt", dir_ / "dest/src.txt"), 0);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "replace");
  EXPECT_EQ(ReadFile(dir_ / "dest/src.txt"), "older");
  EXPECT_FALSE(dest_->isExpanded());
  EXPECT_EQ(ChildTexts(dest_), std::vector<std::string>{"stale.txt"});
  EXPECT_FALSE(form_->isEnabled());
}

TEST_F(ShellFileOpsTest, MoveAndDeleteLeaveTheWindowLockedForTheCaller) {
  ScriptedDialogs dialogs;
  EXPECT_EQ(talvora::ShellMove(*form_, dir_ / "src.txt", dir_ / "dest"), 1);
  EXPECT_FALSE(form_->isEnabled());
  form_->setEnabled(true);
  EXPECT_EQ(ReadFile(dir_ / "dest/src.txt"), "copy me");
  // A move does not refresh the tree; its caller does.
  EXPECT_EQ(ChildTexts(dest_), std::vector<std::string>{"stale.txt"});

  dialogs.answers = {platform::vbNo};
  EXPECT_EQ(talvora::ShellDelete(*form_, dir_ / "dest/src.txt"), 0);
  EXPECT_FALSE(form_->isEnabled());
  EXPECT_TRUE(fs::exists(dir_ / "dest/src.txt"));
}

TEST_F(ShellFileOpsTest, ACopyWithNoSelectedNodeReportsTheFailedRefresh) {
  ScriptedDialogs dialogs;
  form_->TreeView1->setCurrentItem(nullptr);
  EXPECT_THROW(talvora::ShellCopy(*form_, dir_ / "src.txt", dir_ / "dest"), std::runtime_error);
  EXPECT_EQ(ReadFile(dir_ / "dest/src.txt"), "copy me");
}

}  // namespace

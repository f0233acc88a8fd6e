// The main window with its tree opened down to a small folder on disk, for
// the tree's commands, its context menu and its mouse events:
//
//   lessons/        a folder with children
//     a.txt
//     c.txt
//     sub/          an empty folder
//   site/           a generated site (startxml.xsl), entry page without marker
//     index.html
//     startxml.xsl
//     unit1/page.htm
//   dest/           a folder to paste and drop into; its node shows stale.txt,
//                   which is gone on disk
//   note.txt
#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "menu/c_menu.h"
#include "menu/m_menu.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/modal_wait.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/tree_helpers.h"

namespace tree_commands_test {

namespace fs = std::filesystem;
using talvora::Form1;
using talvora::TreeNodes;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using tree_helpers::ChildTexts;
using tree_helpers::OpenDownTo;

// The command ID of a context-menu item.
inline int ItemId(const std::string& alias) {
  for (std::size_t i = 0; i < talvora::mMenu::MyItems.size(); ++i)
    if (talvora::mMenu::MyItems[i].Alias == alias) return static_cast<int>(i);
  return -1;
}

// Writes an executable shell script.
inline void WriteScript(const std::string& path, const std::string& body) {
  MakeDirs(fs::path(path).parent_path().string());
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

class TreeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    savedProgram_ = platform::ProgramFolder();
    trashHere_.emplace("XDG_DATA_HOME", trash_.path());
    opened_.clear();
    platform::SetDesktopOpener([this](const std::string& target) { opened_.push_back(target); });

    form_ = &Form1::Load();
    WriteFile(dir_ / "lessons/a.txt", "a");
    WriteFile(dir_ / "lessons/c.txt", "c");
    MakeDirs(dir_ / "lessons/sub");
    WriteFile(dir_ / "site/index.html", "<html>site</html>");
    WriteFile(dir_ / "site/startxml.xsl", "<xsl/>");
    WriteFile(dir_ / "site/unit1/page.htm", "<html/>");
    MakeDirs(dir_ / "dest");
    WriteFile(dir_ / "dest/stale.txt", "s");
    WriteFile(dir_ / "note.txt", "note");
    // Open the tree down to the folder, as clicks would.
    OpenDownTo(*form_, dir_.path());
    ASSERT_NE(Node("dest"), nullptr);
    ASSERT_EQ(ChildTexts(Node("dest")), std::vector<std::string>{"stale.txt"});
    fs::remove(dir_ / "dest/stale.txt");
  }

  void TearDown() override {
    talvora::mMenu::DoMenuCommand = nullptr;
    talvora::mMenu::ShowMenuStatus = nullptr;
    delete Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::SetDesktopOpener(nullptr);
    platform::SetProgramFolder(savedProgram_);
    trashHere_.reset();
  }

  // The node of a path below the fixture folder ("" for the folder itself).
  QTreeWidgetItem* Node(const std::string& relative) const {
    return form_->NodeOfKey(relative.empty() ? dir_.path() : dir_ / relative);
  }
  std::string Key(const std::string& relative) const { return dir_ / relative; }

  QTreeWidgetItem* Select(const std::string& relative) {
    QTreeWidgetItem* node = Node(relative);
    form_->TreeView1->setCurrentItem(node);
    return node;
  }

  // Chooses the menu item as the menu's window procedure does, from a
  // disabled window.
  void Choose(const std::string& alias) {
    form_->setEnabled(false);
    talvora::mMenu::DoMenuCommand(ItemId(alias));
  }

  std::string StatusLine() const { return form_->StatusPanel(2)->text().toStdString(); }

  // Runs body while a modal window or popup is up (found by kind), then
  // closes what is still open. Returns whether one came up. A window still
  // up a few seconds after body ran fails the test and is closed.
  static bool WhileUp(const std::function<void()>& start, const std::function<void(QWidget*)>& body) {
    testing_support::UpWatch watch(testing_support::PopupOrModal, [&](QWidget* up) {
      body(up);
      if (up == QApplication::activePopupWidget() || up == QApplication::activeModalWidget())
        up->close();
    }, false);
    start();
    return watch.ran();
  }

  TempDir trash_;
  TempDir dir_;
  std::optional<testing_support::ScopedEnv> trashHere_;
  std::string savedProgram_;
  std::vector<std::string> opened_;
  Form1* form_ = nullptr;
};

}  // namespace tree_commands_test

// The tree's context menu, its dispatch and the commands behind it.
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "columnsite/page1.h"
#include "generator/generator.h"
#include "menu/owner_draw_menu.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "wizard/wizard_pane.h"
#include "workspace/import_dialog.h"
#include "support/event_wait.h"
#include "tree_commands_fixture.h"

namespace tree_commands_test {
namespace {

using platform::ScriptedDialogs;

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

bool Marked(const QTreeWidgetItem* node, const QColor& colour) {
  return node && node->background(0).style() != Qt::NoBrush && node->background(0).color() == colour;
}

class CommandsTest : public TreeFixture {
 protected:
  // Lets the queued end of the edit and the rename behind it run.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QLineEdit* Editor() const { return form_->TreeView1->viewport()->findChild<QLineEdit*>(); }

  // Types the text into the open label editor and ends the edit with Enter.
  void TypeLabel(const std::string& text) {
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    editor->setText(QString::fromStdString(text));
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
  }

  // A program folder with stand-ins for the column-site program and the
  // archiver; each writes its arguments, one a line, beside itself.
  std::string FakePrograms() {
    WriteScript(programs_ / "Quenlet/Quenlet", "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n");
    WriteScript(programs_ / "WinRAR/WinRAR",
                "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n: > \"$5\"\n");
    platform::SetProgramFolder(programs_.path());
    return programs_.path();
  }
  std::string Args(const std::string& program) const {
    const std::string file = programs_ / (program + "/args.txt");
    return fs::exists(file) ? ReadFile(file) : "";
  }

  // The wizard ready to run: page 1, "生  成".
  void WizardReady() {
    form_->RightFrame->cancelCommand->setText(QStringLiteral("新 建"));
    form_->RightFrame->cancelCommand_Click();
  }
  // The wizard on its last page, about to generate the folder unpacked.
  talvora::WizardPane* WizardAboutToGenerate(const std::string& relative) {
    talvora::WizardPane* wz = form_->RightFrame;
    WizardReady();
    wz->AutoRar->setChecked(false);
    wz->ResourcePath->setText(QString::fromStdString(Key(relative)));
    wz->nextCommand_Click();
    wz->nextCommand_Click();
    return wz;
  }

  TempDir programs_;
};

TEST_F(CommandsTest, TheMenuHasItsFifteenItemsWithIcons) {
  const std::vector<std::pair<std::string, std::string>> items = {
      {"expend", "展开"},       {"sep0", ""},
      {"gen", "生成主题资源"},  {"edit", "打包主题资源"},
      {"sep1", ""},             {"open", "打开"},
      {"openfolder", "打开文件所在文件夹"},
      {"cut", "剪切"},          {"copy", "复制"},
      {"paste", "粘贴"},        {"delete", "删除"},
      {"sep2", ""},             {"newdir", "新建文件夹"},
      {"rename", "重命名"},     {"input", "导入资源包"},
  };
  ASSERT_EQ(talvora::mMenu::MyItems.size(), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const talvora::MenuItem& item = talvora::mMenu::MyItems[i];
    const bool separator = items[i].first.rfind("sep", 0) == 0;
    EXPECT_EQ(item.Alias, items[i].first);
    EXPECT_EQ(item.Text, items[i].second) << item.Alias;
    EXPECT_EQ(item.Type, separator ? talvora::kItemSeparator : talvora::kItemPlain) << item.Alias;
    EXPECT_EQ(item.State, 0) << item.Alias;
    // Every command shows its picture; the separators have none.
    EXPECT_EQ(talvora::HasHandle(item.Icon), !separator) << item.Alias;
  }
  EXPECT_EQ(form_->menu->Style(), 4);
}

TEST_F(CommandsTest, HighlightingAnItemShowsItsTextInTheFirstPanel) {
  talvora::mMenu::ShowMenuStatus(ItemId("paste"));
  EXPECT_EQ(form_->StatusPanel(1)->text(), QStringLiteral("粘贴"));
  talvora::mMenu::ShowMenuStatus(ItemId("sep2"));
  EXPECT_EQ(form_->StatusPanel(1)->text(), QString());
}

// Each alias reaches its command, and the window is unlocked afterwards.
TEST_F(CommandsTest, EachAliasRunsItsCommandAndUnlocksTheWindow) {
  struct Case {
    const char* alias;
    const char* selected;
    std::vector<int> answers;
    std::function<void(QWidget* modal)> check;
  };
  const std::vector<Case> cases = {
      {"gen", "lessons", {},
       [&](QWidget*) {
         EXPECT_TRUE(form_->RightFrame->isVisibleTo(form_->rightBox));
         EXPECT_FALSE(form_->resourceFrame->isVisibleTo(form_->rightBox));
         EXPECT_EQ(form_->RightFrame->ResourcePath->text().toStdString(), Key("lessons"));
         EXPECT_EQ(form_->RightFrame->finishCommand->text(), talvora::kCaptionGenerate);
         EXPECT_EQ(form_->RightFrame->cancelCommand->text(), talvora::kCaptionCancel);
         EXPECT_NE(StatusLine().find("资源生成向导启动成功"), std::string::npos);
       }},
      {"open", "lessons/a.txt", {},
       [&](QWidget*) { EXPECT_EQ(opened_, std::vector<std::string>{Key("lessons/a.txt")}); }},
      {"openfolder", "lessons/a.txt", {},
       [&](QWidget*) { EXPECT_EQ(opened_, std::vector<std::string>{Key("lessons")}); }},
      {"openfolder", "lessons", {},
       [&](QWidget*) { EXPECT_EQ(opened_, std::vector<std::string>{dir_.path()}); }},
      {"copy", "note.txt", {},
       [&](QWidget*) {
         EXPECT_EQ(form_->ClipboardKey, Key("note.txt"));
         EXPECT_TRUE(Marked(Node("note.txt"), kWhite));
       }},
      {"cut", "note.txt", {},
       [&](QWidget*) {
         EXPECT_EQ(form_->ClipboardKey, Key("note.txt"));
         EXPECT_TRUE(Marked(Node("note.txt"), kRed));
       }},
      {"paste", "dest", {},
       [&](QWidget*) { EXPECT_EQ(ReadFile(Key("dest/note.txt")), "note"); }},
      {"rename", "note.txt", {}, [&](QWidget*) { EXPECT_NE(Editor(), nullptr); }},
      {"delete", "note.txt", {platform::vbYes},
       [&](QWidget*) {
         EXPECT_FALSE(fs::exists(Key("note.txt")));
         EXPECT_EQ(Node("note.txt"), nullptr);
       }},
      {"input", "lessons", {},
       [&](QWidget* modal) {
         auto* dialog = qobject_cast<talvora::Dialog*>(modal);
         ASSERT_NE(dialog, nullptr);
         EXPECT_EQ(dialog->inputPath->text().toStdString(), Key("lessons"));
       }},
      {"newdir", "dest", {},
       [&](QWidget*) {
         const auto names = platform::fso::SubFolderNames(Key("dest"));
         ASSERT_EQ(names.size(), 1u);
         EXPECT_EQ(names[0].rfind("新建文件夹", 0), 0u);
       }},
      {"sep1", "lessons", {}, [&](QWidget* modal) { EXPECT_EQ(modal, nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.alias) + " on " + c.selected);
    ScriptedDialogs dialogs;
    dialogs.answers.assign(c.answers.begin(), c.answers.end());
    opened_.clear();
    if (std::string(c.alias) == "paste") {
      Select("note.txt");
      form_->CopyNode();
    }
    ASSERT_NE(Select(c.selected), nullptr);
    QWidget* modal = nullptr;
    WhileUp([&] { Choose(c.alias); }, [&](QWidget* up) { modal = up; c.check(up); });
    if (std::string(c.alias) != "input") c.check(modal);
    EXPECT_TRUE(form_->isEnabled());
    // Leave no label edit open for the next case.
    if (QLineEdit* editor = Editor()) {
      QTest::keyClick(editor, Qt::Key_Escape);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  }
}

TEST_F(CommandsTest, ExpendTogglesTheNodeAndSaysWhatItDoesNext) {
  QTreeWidgetItem* lessons = Select("lessons");
  ASSERT_FALSE(lessons->isExpanded());
  Choose("expend");
  EXPECT_TRUE(lessons->isExpanded());
  EXPECT_EQ(form_->menu->GetItemText("expend"), "折叠");
  Choose("expend");
  EXPECT_FALSE(lessons->isExpanded());
  EXPECT_EQ(form_->menu->GetItemText("expend"), "展开");
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(CommandsTest, AFailingCommandStillUnlocksTheWindow) {
  // The root has no parent folder to open.
  form_->TreeView1->setCurrentItem(form_->NodeOfKey("My Computer"));
  EXPECT_ANY_THROW(Choose("openfolder"));
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(opened_.empty());
}

// --- Copy, cut and paste ---

TEST_F(CommandsTest, CopyAndCutMarkNodesAndRememberTheLastOne) {
  struct Step {
    const char* command;  // "copy" or "cut"
    const char* node;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::pair<const char*, QColor>> marks;
    const char* clipboard;
    const char* status;
  } cases[] = {
      {"copy", {{"copy", "note.txt"}}, {{"note.txt", kWhite}}, "note.txt", " 已放入粘贴板"},
      {"cut", {{"cut", "note.txt"}}, {{"note.txt", kRed}}, "note.txt", " 已放入剪贴板"},
      {"cut then copy",
       {{"cut", "note.txt"}, {"copy", "lessons/a.txt"}},
       {{"note.txt", kWhite}, {"lessons/a.txt", kWhite}},
       "lessons/a.txt",
       " 已放入粘贴板"},
      {"cut then cut",
       {{"cut", "note.txt"}, {"cut", "lessons/a.txt"}},
       {{"note.txt", kRed}, {"lessons/a.txt", kRed}},
       "lessons/a.txt",
       " 已放入剪贴板"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* key : {"note.txt", "lessons/a.txt"}) Node(key)->setBackground(0, QBrush());
    form_->ClipboardKey.clear();
    for (const Step& s : c.steps) {
      Select(s.node);
      if (std::string(s.command) == "copy")
        form_->CopyNode();
      else
        form_->CutNode();
    }
    for (const auto& [node, colour] : c.marks) EXPECT_TRUE(Marked(Node(node), colour)) << node;
    EXPECT_EQ(form_->ClipboardKey, Key(c.clipboard));
    EXPECT_NE(StatusLine().find(Key(c.clipboard) + c.status), std::string::npos) << StatusLine();
  }
}

TEST_F(CommandsTest, PasteAfterCopyCopiesAndKeepsTheClipboard) {
  ScriptedDialogs dialogs;
  Select("note.txt");
  form_->CopyNode();
  QTreeWidgetItem* dest = Select("dest");
  form_->PasteNode();
  EXPECT_EQ(ReadFile(Key("dest/note.txt")), "note");
  EXPECT_EQ(ReadFile(Key("note.txt")), "note");
  // The target is read again from disk: the stale entry is gone.
  EXPECT_EQ(ChildTexts(Node("dest")), std::vector<std::string>{"note.txt"});
  EXPECT_EQ(TreeNodes::Key(Node("dest")->child(0)), Key("dest/note.txt"));
  EXPECT_EQ(form_->ClipboardKey, Key("note.txt"));
  EXPECT_TRUE(dialogs.shown.empty());

  // The same item again: the shell asks before replacing.
  WriteFile(Key("note.txt"), "newer");
  dialogs.answers = {platform::vbYes};
  form_->TreeView1->setCurrentItem(dest);
  form_->PasteNode();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "replace");
  EXPECT_EQ(ReadFile(Key("dest/note.txt")), "newer");
}

TEST_F(CommandsTest, PasteAfterCutMovesAndEmptiesTheClipboard) {
  ScriptedDialogs dialogs;
  Select("lessons");
  form_->CutNode();
  Select("dest");
  form_->PasteNode();
  EXPECT_FALSE(fs::exists(Key("lessons")));
  EXPECT_EQ(ReadFile(Key("dest/lessons/a.txt")), "a");
  EXPECT_EQ(Node("lessons"), nullptr);
  EXPECT_EQ(ChildTexts(Node("dest")), std::vector<std::string>{"lessons"});
  EXPECT_TRUE(form_->ClipboardKey.empty());
  EXPECT_NE(StatusLine().find(Key("lessons") + " 粘贴成功"), std::string::npos);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CommandsTest, APasteTheShellRefusesKeepsSourceAndClipboard) {
  ScriptedDialogs dialogs;
  Select("lessons");
  form_->CutNode();
  // Into its own sub-folder.
  Select("lessons/sub");
  form_->PasteNode();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_TRUE(fs::exists(Key("lessons/a.txt")));
  EXPECT_NE(Node("lessons"), nullptr);
  EXPECT_EQ(form_->ClipboardKey, Key("lessons"));
}

TEST_F(CommandsTest, PasteWithNothingMarkedDoesNothingNotEvenARefresh) {
  ScriptedDialogs dialogs;
  Select("dest");
  form_->PasteNode();
  EXPECT_EQ(ChildTexts(Node("dest")), std::vector<std::string>{"stale.txt"});
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CommandsTest, PasteOfANodeNoLongerInTheTreeOnlyRefreshesTheTarget) {
  ScriptedDialogs dialogs;
  Select("note.txt");
  form_->CutNode();
  delete Node("note.txt");
  Select("dest");
  form_->PasteNode();
  EXPECT_TRUE(fs::exists(Key("note.txt")));
  EXPECT_FALSE(fs::exists(Key("dest/note.txt")));
  EXPECT_TRUE(ChildTexts(Node("dest")).empty());
}

TEST_F(CommandsTest, ANodeReadAgainSinceItsCutIsCopiedNotMoved) {
  ScriptedDialogs dialogs;
  Select("lessons/a.txt");
  form_->CutNode();
  // The refresh re-creates the node without its mark.
  form_->TreeView1_Flash(Node("lessons"));
  Select("dest");
  form_->PasteNode();
  EXPECT_EQ(ReadFile(Key("dest/a.txt")), "a");
  EXPECT_TRUE(fs::exists(Key("lessons/a.txt")));
}

// --- Drives and the root ---

// A volume of its own below the fixture folder: a tmpfs where the test may
// mount one, else a plain folder. Unmounted (lazily) at the end.
class Volume {
 public:
  explicit Volume(const std::string& path) : path_(path) {
    MakeDirs(path);
    mounted_ = ::mount("none", path.c_str(), "tmpfs", 0, "size=1m") == 0;
    WriteFile(path + "/data.txt", "data");
  }
  ~Volume() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

// Copy, cut, paste, delete and rename leave a drive, a mount point and the
// root alone, from the menu, the toolbar and the keyboard alike: nothing is
// asked, nothing moves, and the root's name never reaches the disk (here a
// folder of that name in the working folder).
TEST_F(CommandsTest, DrivesMountPointsAndTheRootAreNotCopiedCutDeletedOrRenamed) {
  Volume volume(Key("vol"));
  // The volume as a drive below the root, and as a folder in the fixture.
  const std::string driveKey = Key("vol") + "/";
  ASSERT_NE(form_->treeNodes->Add(form_->NodeOfKey("My Computer"), driveKey, driveKey, 19), nullptr);
  form_->rootSplitNode(dir_.path());
  ASSERT_NE(Node("vol"), nullptr);
  MakeDirs(Key("My Computer"));
  WriteFile(Key("My Computer/keep.txt"), "keep");
  struct InFolder {
    fs::path saved = fs::current_path();
    explicit InFolder(const std::string& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(saved); }
  } working(dir_.path());

  auto toolbar = [this](int button) { form_->Toolbar1Buttons[button]->trigger(); };
  const struct {
    const char* what;
    const char* node;  // "drive", "mount" or "root"
    std::function<void()> act;
  } cases[] = {
      {"cut and paste from the menu", "drive", [&] { Choose("cut"); Select("dest"); Choose("paste"); }},
      {"cut and paste from the menu", "mount", [&] { Choose("cut"); Select("dest"); Choose("paste"); }},
      {"copy and paste from the toolbar", "drive", [&] { toolbar(6); Select("dest"); toolbar(8); }},
      {"cut and paste from the toolbar", "root", [&] { toolbar(7); Select("dest"); toolbar(8); }},
      {"delete from the menu", "drive", [&] { Choose("delete"); }},
      {"delete from the toolbar", "mount", [&] { toolbar(9); }},
      {"delete from the keyboard", "root", [&] {
         // Home moves the selection to the root; the delete button is still on.
         form_->TreeView1->setFocus();
         QTest::keyClick(form_->TreeView1, Qt::Key_Home);
         ASSERT_EQ(form_->TreeView1->currentItem(), form_->NodeOfKey("My Computer"));
         toolbar(9);
       }},
      {"rename from the toolbar", "mount", [&] { toolbar(10); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ", " + c.node);
    const std::string node(c.node);
    if (node == "mount" && !volume.mounted()) continue;  // no mount here
    ScriptedDialogs dialogs;
    for (int i = 0; i < 4; ++i) dialogs.answers.push_back(platform::vbYes);
    form_->ClipboardKey.clear();
    // Selected first by a press on a folder, which turns the file buttons on.
    Select("lessons");
    form_->Form1_TreeView1_MouseDown(-1, -1);
    form_->TreeView1->setCurrentItem(node == "drive" ? form_->NodeOfKey(driveKey)
                                     : node == "mount" ? Node("vol")
                                                       : form_->NodeOfKey("My Computer"));
    c.act();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
    EXPECT_EQ(ReadFile(Key("vol/data.txt")), "data");
    EXPECT_FALSE(testing_support::Exists(Key("dest/vol")));
    EXPECT_EQ(ReadFile(Key("My Computer/keep.txt")), "keep");
    EXPECT_TRUE(form_->ClipboardKey.empty());
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_NE(form_->NodeOfKey(driveKey), nullptr);
    form_->setEnabled(true);
  }
}

// --- Closing while a command runs ---

// The window manager's close reaches the window while a paste copies a file
// that comes in slowly: the close waits for the copy, then it is carried out.
TEST_F(CommandsTest, ClosingDuringAPasteWaitsForTheCopyThenCloses) {
  const std::string fifo = Key("slow.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Listings leave a pipe out: the tree shows it as the file it was when read.
  ASSERT_NE(form_->treeNodes->Add(Node(""), fifo, "slow.fifo", 22), nullptr);
  const std::string piece(64 * 1024, 'x');
  const int pieces = 32;
  // Fed piece by piece, with a pause after each, once the copy reads; a copy
  // that never reads or stops early fails the test instead of blocking it.
  struct sigaction ignore {}, saved {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &saved);
  std::thread feeder([&] {
    int fd = -1;
    for (int wait = 0; fd < 0 && wait < 1000; ++wait) {
      fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (fd < 0) return;
    ::fcntl(fd, F_SETFL, 0);
    for (int i = 0; i < pieces; ++i) {
      if (::write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size())) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ::close(fd);
  });
  ScriptedDialogs dialogs;
  Select("slow.fifo");
  form_->CopyNode();
  Select("dest");
  bool closedMidCopy = false;
  QTimer::singleShot(200, form_, [&] {
    closedMidCopy = !testing_support::Exists(Key("dest/slow.fifo"));
    form_->close();
  });
  form_->Toolbar1_ButtonClick(8);
  feeder.join();
  ::sigaction(SIGPIPE, &saved, nullptr);

  EXPECT_TRUE(closedMidCopy);
  // The copy ran to its end in a window that was still there.
  ASSERT_EQ(Form1::Loaded(), form_);
  EXPECT_EQ(fs::file_size(Key("dest/slow.fifo")), piece.size() * pieces);
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
  // Then the close that was asked for.
  EXPECT_TRUE(testing_support::WaitUntil([] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return Form1::Loaded() == nullptr;
  }, 5000));
  form_ = nullptr;
}

// --- Delete ---

TEST_F(CommandsTest, DeleteRemovesTheNodeOnlyWhenTheShellDidIt) {
  ScriptedDialogs dialogs;
  Select("note.txt");
  dialogs.answers = {platform::vbNo};
  form_->DeleteNode();
  EXPECT_TRUE(fs::exists(Key("note.txt")));
  EXPECT_NE(Node("note.txt"), nullptr);

  dialogs.answers = {platform::vbYes};
  form_->DeleteNode();
  EXPECT_FALSE(fs::exists(Key("note.txt")));
  EXPECT_EQ(Node("note.txt"), nullptr);
  EXPECT_NE(StatusLine().find(Key("note.txt") + " 删除成功"), std::string::npos);
  EXPECT_TRUE(fs::exists(trash_ / "Trash/files/note.txt"));
}

// --- Rename ---

TEST_F(CommandsTest, RenameThroughTheLabelEdit) {
  const struct {
    const char* node;
    const char* typed;
    const char* shownAfter;  // the node's text after the refresh
    std::set<std::string> onDisk;  // lessons/ afterwards
  } cases[] = {
      {"lessons/a.txt", "b.txt", "b.txt", {"b.txt", "c.txt", "sub"}},
      {"lessons/sub", "unit", "unit", {"a.txt", "c.txt", "unit"}},
      // A taken name is refused: nothing is replaced.
      {"lessons/a.txt", "c.txt", "a.txt", {"a.txt", "c.txt", "sub"}},
      {"lessons/sub", "a.txt", "sub", {"a.txt", "c.txt", "sub"}},
      // A name must stay a name in the same folder.
      {"lessons/a.txt", "../a.txt", "a.txt", {"a.txt", "c.txt", "sub"}},
      {"lessons/a.txt", "sub/a.txt", "a.txt", {"a.txt", "c.txt", "sub"}},
      {"lessons/a.txt", "", "a.txt", {"a.txt", "c.txt", "sub"}},
      {"lessons/sub", "..", "sub", {"a.txt", "c.txt", "sub"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.node) + " -> " + c.typed);
    fs::remove_all(Key("lessons"));
    WriteFile(Key("lessons/a.txt"), "a");
    WriteFile(Key("lessons/c.txt"), "c");
    MakeDirs(Key("lessons/sub"));
    form_->TreeView1_Flash(Node(""));
    form_->rootSplitNode(Key("lessons"));

    Select(c.node);
    form_->BeginRename();
    TypeLabel(c.typed);
    std::set<std::string> onDisk;
    for (const auto& e : fs::directory_iterator(Key("lessons"))) onDisk.insert(e.path().filename().string());
    EXPECT_EQ(onDisk, c.onDisk);
    EXPECT_EQ(ReadFile(Key("lessons/c.txt")), "c");
    const std::string shown = std::string("lessons/") + c.shownAfter;
    ASSERT_NE(Node(shown), nullptr);
    EXPECT_EQ(TreeNodes::Text(Node(shown)), c.shownAfter);
  }
}

// What the user types after choosing the command goes into the label
// editor, whichever way the command was chosen: the window's lock while the
// command ran does not keep the focus from it.
TEST_F(CommandsTest, RenameTakesWhatTheUserTypesAtOnce) {
  form_->show();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
  const struct {
    const char* how;
    std::function<void()> choose;
  } cases[] = {
      {"the toolbar", [&] { form_->Toolbar1Buttons[10]->trigger(); }},
      {"the context menu", [&] { Choose("rename"); }},
      {"the pop-up, chosen with the keyboard",
       [&] {
         QWidget* viewport = form_->TreeView1->viewport();
         const QRect row = form_->TreeView1->visualItemRect(Node("lessons/unit"));
         const QPoint at(row.left() + 4, row.center().y());
         QCursor::setPos(viewport->mapToGlobal(at));
         const bool shown = WhileUp([&] { QTest::mouseClick(viewport, Qt::RightButton, {}, at); },
                                    [&](QWidget* up) {
                                      auto* menu = static_cast<talvora::OwnerDrawMenu*>(up);
                                      menu->setActiveAction(menu->ItemById(ItemId("rename")));
                                      QTest::keyClick(menu, Qt::Key_Return);
                                    });
         ASSERT_TRUE(shown);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    fs::remove_all(Key("lessons"));
    WriteFile(Key("lessons/unit/a.txt"), "a");
    form_->TreeView1_Flash(Node(""));
    form_->rootSplitNode(Key("lessons"));
    // Selected by a press on the folder, which turns the file buttons on.
    Select("lessons/unit");
    form_->Form1_TreeView1_MouseDown(-1, -1);
    form_->TreeView1->setFocus();

    c.choose();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(focus, Editor());
    if (focus != Editor()) {
      QTest::keyClick(Editor(), Qt::Key_Escape);
      continue;
    }
    QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focus, "unit2");
    QTest::keyClick(focus, Qt::Key_Return);
    Settle();
    EXPECT_EQ(ReadFile(Key("lessons/unit2/a.txt")), "a");
    EXPECT_FALSE(fs::exists(Key("lessons/unit")));
  }
}

TEST_F(CommandsTest, EndingTheEditByClickingAnotherNodeRenamesTheEditedOne) {
  Select("lessons/a.txt");
  form_->BeginRename();
  QLineEdit* editor = Editor();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("b.txt"));
  // The selection moves on; the edit is committed on the way.
  form_->TreeView1->setCurrentItem(Node("note.txt"));
  Settle();
  EXPECT_TRUE(fs::exists(Key("lessons/b.txt")));
  EXPECT_FALSE(fs::exists(Key("lessons/a.txt")));
  EXPECT_TRUE(fs::exists(Key("note.txt")));
}

TEST_F(CommandsTest, ADriveIsNotRenamedAndTheDrivesStay) {
  QTreeWidgetItem* root = form_->NodeOfKey("My Computer");
  QTreeWidgetItem* drive = form_->NodeOfKey("/");
  const int drives = root->childCount();
  form_->TreeView1->setCurrentItem(drive);
  form_->BeginRename();
  EXPECT_EQ(Editor(), nullptr);
  form_->FinishRename("disk");
  EXPECT_EQ(form_->NodeOfKey("/"), drive);
  EXPECT_EQ(root->childCount(), drives);
  EXPECT_TRUE(fs::exists(dir_.path()));
}

// --- New folder ---

TEST_F(CommandsTest, NewFolderAddsTheNodeAndLetsTheUserNameIt) {
  ScriptedDialogs dialogs;
  QTreeWidgetItem* dest = Select("dest");
  form_->NewFolder();
  const auto names = platform::fso::SubFolderNames(Key("dest"));
  ASSERT_EQ(names.size(), 1u);
  const std::string name = names[0];
  ASSERT_EQ(name.rfind("新建文件夹", 0), 0u);
  const std::string number = name.substr(std::string("新建文件夹").size());
  ASSERT_FALSE(number.empty());
  EXPECT_LE(std::stoi(number), 1000);
  QTreeWidgetItem* added = Node("dest/" + name);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->parent(), dest);
  EXPECT_EQ(dest->child(dest->childCount() - 1), added);
  EXPECT_EQ(TreeNodes::Image(added), 20);
  EXPECT_TRUE(dest->isExpanded());
  EXPECT_EQ(form_->TreeView1->currentItem(), added);
  EXPECT_NE(StatusLine().find(Key("dest/" + name) + "  创建成功！"), std::string::npos);
  EXPECT_TRUE(dialogs.shown.empty());

  TypeLabel("第一单元");
  EXPECT_TRUE(fs::is_directory(Key("dest/第一单元")));
  EXPECT_FALSE(fs::exists(Key("dest/" + name)));
  EXPECT_NE(Node("dest/第一单元"), nullptr);
}

TEST_F(CommandsTest, NewFolderOnATakenNameSaysSoAndAddsNothing) {
  ScriptedDialogs dialogs;
  // Every name the command can draw is taken.
  for (int i = 0; i <= 1000; ++i) MakeDirs(Key("dest/新建文件夹" + std::to_string(i)));
  QTreeWidgetItem* dest = Select("dest");
  form_->NewFolder();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt.rfind("创建文件夹错误！ " + Key("dest/新建文件夹"), 0), 0u)
      << dialogs.shown[0].prompt;
  EXPECT_EQ(ChildTexts(dest), std::vector<std::string>{"stale.txt"});
  EXPECT_EQ(form_->TreeView1->currentItem(), dest);
}

TEST_F(CommandsTest, NewFolderOnTheRootMakesNoFolderAnywhere) {
  ScriptedDialogs dialogs;
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_.path());
  form_->TreeView1->setCurrentItem(form_->NodeOfKey("My Computer"));
  form_->NewFolder();
  fs::current_path(cwd);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt.rfind("创建文件夹错误！ ", 0), 0u);
  EXPECT_FALSE(fs::exists(dir_ / "My Computer"));
}

// --- The wizard and generated sites ---

TEST_F(CommandsTest, GenWithoutASelectedFolderAsksForOne) {
  ScriptedDialogs dialogs;
  // The web pane is up and the wizard shows its preview.
  form_->RightFrame->setVisible(false);
  form_->resourceFrame->setVisible(true);
  form_->RightFrame->finishCommand->setText(talvora::kCaptionPreview);
  form_->RightFrame->cancelCommand->setText(talvora::kCaptionNew);
  form_->TreeView1->setCurrentItem(nullptr);
  form_->StartGenerateWizard();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt.rfind("请选择要生成主题资源的目录！\r\n", 0), 0u);
  EXPECT_EQ(dialogs.shown[0].style, platform::vbOKOnly);
  // The wizard pane has come up on its first page all the same.
  EXPECT_TRUE(form_->RightFrame->isVisibleTo(form_->rightBox));
  EXPECT_FALSE(form_->resourceFrame->isVisibleTo(form_->rightBox));
  EXPECT_EQ(form_->RightFrame->finishCommand->text(), talvora::kCaptionGenerate);
  EXPECT_EQ(form_->RightFrame->cancelCommand->text(), talvora::kCaptionCancel);
  EXPECT_EQ(StatusLine().find("资源生成向导启动成功"), std::string::npos);
}

TEST_F(CommandsTest, EditOnAFolderThatIsNoSiteDoesNothing) {
  ScriptedDialogs dialogs;
  FakePrograms();
  WizardReady();
  Select("lessons");
  Choose("edit");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(Args("Quenlet"), "");
  EXPECT_FALSE(fs::exists(Key("lessons/startxml.xml")));
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(CommandsTest, EditOnAColumnSiteHandsItToQuenletThenOffersToPack) {
  const std::string site = dir_ / "八年级数学资源";
  WriteFile(site + "/startxml.xsl", "<xsl/>");
  WriteFile(site + "/index.html", "<qz>column site</qz>");
  form_->TreeView1_Flash(Node(""));
  FakePrograms();
  WizardReady();

  const struct {
    int answer;
    bool packed;
  } cases[] = {{platform::vbCancel, false}, {platform::vbOK, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.packed ? "pack" : "no pack");
    fs::remove(programs_ / "WinRAR/args.txt");
    fs::remove(programs_ / "Quenlet/args.txt");
    ScriptedDialogs dialogs;
    dialogs.answers = {c.answer};
    // The question comes only once the program has ended.
    dialogs.onShow = [&](const ScriptedDialogs::Shown&) {
      EXPECT_EQ(Args("Quenlet"), site + "\n");
    };
    form_->TreeView1->setCurrentItem(form_->NodeOfKey(site));
    Choose("edit");
    // One argument: the whole folder path.
    EXPECT_EQ(Args("Quenlet"), site + "\n");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "是否现在进行压缩打包?");
    EXPECT_EQ(dialogs.shown[0].style, platform::vbOKCancel);
    const std::string archive = dir_ / "八年级数学资.rar";
    EXPECT_EQ(fs::exists(archive), c.packed);
    if (c.packed) {
      EXPECT_EQ(Args("WinRAR"), "a\n-m0\n-ep1\n-r\n" + archive + "\n" + site + "/*.*\n");
      EXPECT_NE(StatusLine().find("主题资源处理完成 -> " + archive), std::string::npos) << StatusLine();
    }
    // The site is the column program's: this one generated nothing.
    EXPECT_FALSE(fs::exists(site + "/startxml.xml"));
    EXPECT_TRUE(form_->isEnabled());
  }
}

// The sample column sites of both kinds, each as Quenlet leaves it once
// generated: a column site is packed only when Quenlet generated a site;
// one that ended without says so, and nothing is packed.
TEST_F(CommandsTest, AColumnSiteIsPackedOnlyWhenQuenletGeneratedIt) {
  const std::string nothing = std::to_string(quenlet::kExitNothingGenerated);
  const struct {
    const char* site;
    std::string quenlet;  // the stand-in's script after it notes its arguments; "": none
    bool packed;
  } cases[] = {
      {"勾股定理栏目", ": > \"$1/startxml.xml\"\n", true},
      {"名画欣赏", ": > \"$1/startxml.xml\"\n", true},
      {"勾股定理栏目", "exit " + nothing + "\n", false},
      {"名画欣赏", "exit " + nothing + "\n", false},
      {"名画欣赏", "kill -9 $$\n", false},
      {"名画欣赏", "", false},
  };
  FakePrograms();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.site) + ": " + c.quenlet);
    const std::string site = dir_ / c.site;
    fs::remove_all(site);
    fs::copy(fs::path(TALVORA_SOURCE_DIR) / "examples/栏目示例" / c.site, site, fs::copy_options::recursive);
    WriteFile(site + "/startxml.xsl", "<xsl/>");
    if (!fs::exists(site + "/index.html")) WriteFile(site + "/index.html", "<qz site=\"column\"></qz>");
    const std::string archive = dir_ / (std::string(c.site) + ".rar");
    fs::remove(archive);
    WriteScript(programs_ / "Quenlet/Quenlet",
                "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n" + c.quenlet);
    fs::remove(programs_ / "Quenlet/args.txt");
    if (c.quenlet.empty()) fs::remove(programs_ / "Quenlet/Quenlet");
    form_->TreeView1_Flash(Node(""));
    WizardReady();
    ScriptedDialogs dialogs;
    dialogs.answers = {platform::vbOK, platform::vbOK};
    form_->TreeView1->setCurrentItem(form_->NodeOfKey(site));
    Choose("edit");

    EXPECT_EQ(Args("Quenlet"), c.quenlet.empty() ? "" : site + "\n");
    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.LastPrompt();
    EXPECT_EQ(fs::exists(archive), c.packed);
    EXPECT_EQ(StatusLine().find("正在压缩"), std::string::npos) << StatusLine();
    if (c.packed) {
      EXPECT_EQ(dialogs.shown[0].prompt, "是否现在进行压缩打包?");
      EXPECT_NE(StatusLine().find("主题资源处理完成 -> " + archive), std::string::npos) << StatusLine();
    } else if (c.quenlet.empty()) {
      // The program that could not be started has said so itself.
      EXPECT_EQ(dialogs.shown[0].title, "存在错误");
    } else {
      EXPECT_EQ(dialogs.shown[0].prompt, "栏目网站没有重新生成，没有压缩打包。");
      EXPECT_EQ(dialogs.shown[0].style, platform::vbOKOnly | platform::vbExclamation);
    }
    if (!c.packed) {
      EXPECT_NE(StatusLine().find("栏目网站没有重新生成"), std::string::npos) << StatusLine();
    }
    EXPECT_TRUE(form_->isEnabled());
  }
}

TEST_F(CommandsTest, AFailedPackAfterAColumnSiteEditIsReported) {
  const std::string site = dir_ / "site";
  WriteFile(site + "/startxml.xsl", "<xsl/>");
  WriteFile(site + "/index.html", "<qz>column site</qz>");
  form_->TreeView1_Flash(Node(""));
  FakePrograms();
  WriteScript(programs_ / "WinRAR/WinRAR", "echo 'WinRAR: the disk is full' >&2\necho 'more detail' >&2\nexit 2\n");
  WizardReady();
  ScriptedDialogs dialogs;
  dialogs.answers = {platform::vbOK, platform::vbOK};
  form_->TreeView1->setCurrentItem(form_->NodeOfKey(site));
  Choose("edit");

  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].prompt, "压缩主题资源包时发生错误：\r\n压缩程序返回错误代码 2\r\nWinRAR: the disk is full");
  EXPECT_EQ(dialogs.shown[1].style, platform::vbOKOnly | platform::vbCritical);
  EXPECT_EQ(dialogs.shown[1].title, "错误");
  EXPECT_NE(StatusLine().find("主题资源包压缩失败"), std::string::npos) << StatusLine();
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(CommandsTest, EditOnAnUnmarkedSiteRefreshesItPacksAndShowsThePreview) {
  ScriptedDialogs dialogs;
  FakePrograms();
  WizardReady();
  talvora::WizardPane* wz = form_->RightFrame;
  wz->AutoRar->setChecked(false);
  wz->footText->setText(QStringLiteral("页脚"));
  dialogs.answers = {platform::vbOK, platform::vbOK, platform::vbOK};
  Select("site");
  Choose("edit");

  // A refresh run: page documents written, the site's own entry page kept.
  EXPECT_TRUE(fs::exists(Key("site/startxml.xml")));
  EXPECT_TRUE(fs::exists(Key("site/unit1/startxml.xml")));
  EXPECT_EQ(ReadFile(Key("site/index.html")), "<html>site</html>");
  EXPECT_EQ(talvora::Options().FootText, "页脚");
  EXPECT_TRUE(wz->AutoRar->isChecked());
  EXPECT_EQ(Args("Quenlet"), "");

  const std::string archive = dir_ / "site.rar";
  ASSERT_EQ(dialogs.shown.size(), 3u);
  EXPECT_EQ(dialogs.shown[0].prompt, "是否现在进行压缩打包?");
  EXPECT_EQ(dialogs.shown[1].prompt, "主题资源修改完成!");
  EXPECT_EQ(dialogs.shown[2].prompt, "资源修改完成,您可以重新导入该资源压缩包进行预览!");
  EXPECT_TRUE(fs::exists(archive));
  EXPECT_NE(StatusLine().find("主题资源处理完成 -> " + archive), std::string::npos) << StatusLine();

  EXPECT_EQ(wz->finishCommand->text(), talvora::kCaptionPreview);
  EXPECT_TRUE(wz->finishCommand->isEnabled());
  EXPECT_EQ(wz->cancelCommand->text(), talvora::kCaptionNew);
  EXPECT_TRUE(wz->cancelCommand->isEnabled());
  EXPECT_TRUE(wz->backCommand->isEnabled());
  EXPECT_TRUE(form_->isEnabled());

  // In the preview state a second edit refreshes the site again.
  fs::remove(Key("site/startxml.xml"));
  dialogs.shown.clear();
  dialogs.answers = {platform::vbCancel, platform::vbOK, platform::vbOK};
  Choose("edit");
  EXPECT_EQ(dialogs.shown.size(), 3u) << dialogs.LastPrompt();
  EXPECT_TRUE(fs::exists(Key("site/startxml.xml")));
}

// Right after the wizard's own generation, which leaves it showing "预  览",
// the command refreshes and packs the chosen site, and the preview is then
// that site's.
TEST_F(CommandsTest, EditRightAfterAGenerationRefreshesAndPacksTheChosenSite) {
  ScriptedDialogs dialogs;
  talvora::WizardPane* wz = WizardAboutToGenerate("lessons");
  wz->finishCommand_Click();
  ASSERT_TRUE(fs::exists(Key("lessons/startxml.xml"))) << dialogs.LastPrompt();
  ASSERT_EQ(wz->finishCommand->text(), talvora::kCaptionPreview);

  dialogs.shown.clear();
  dialogs.answers = {platform::vbOK, platform::vbOK, platform::vbOK};
  Select("site");
  Choose("edit");
  EXPECT_TRUE(fs::exists(Key("site/startxml.xml")));
  EXPECT_TRUE(fs::exists(dir_ / "site.rar"));
  ASSERT_EQ(dialogs.shown.size(), 3u) << dialogs.LastPrompt();
  EXPECT_EQ(dialogs.shown[1].prompt, "主题资源修改完成!");
  EXPECT_EQ(wz->ResourcePath->text().toStdString(), Key("site"));
  EXPECT_EQ(wz->finishCommand->text(), talvora::kCaptionPreview);
  EXPECT_TRUE(wz->finishCommand->isEnabled());
}

// While the wizard's own run is under way, the command says why it cannot
// run now and leaves the wizard's fields as they are.
TEST_F(CommandsTest, EditWhileTheWizardRunsSaysWhyAndChangesNoField) {
  ScriptedDialogs dialogs;
  talvora::WizardPane* wz = WizardAboutToGenerate("lessons");
  bool duringRun = false;
  // The run lets window messages through: the command is chosen there.
  QTimer::singleShot(0, [&] {
    duringRun = wz->IsRunning();
    Select("site");
    Choose("edit");
    EXPECT_EQ(wz->ResourcePath->text().toStdString(), Key("lessons"));
    EXPECT_FALSE(wz->AutoRar->isChecked());
    EXPECT_TRUE(form_->isEnabled());
  });
  wz->finishCommand_Click();
  ASSERT_TRUE(duringRun);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt, "资源生成向导正在生成主题资源，请等它完成后再打包主题资源。");
  EXPECT_EQ(dialogs.shown[0].title, "提示");
  EXPECT_FALSE(fs::exists(Key("site/startxml.xml")));
  EXPECT_TRUE(fs::exists(Key("lessons/startxml.xml")));
  EXPECT_EQ(wz->finishCommand->text(), talvora::kCaptionPreview);
}

// A refreshed site the archiver did not pack: the box the wizard shows, with
// the archiver's word on what to do, and no word of success. The site itself
// is refreshed and can be previewed.
TEST_F(CommandsTest, ARefreshWhosePackFailsSaysWhyAndNothingOfSuccess) {
  const std::string archive = dir_ / "site.rar";
  const struct {
    const char* what;
    std::function<void()> programs;
    ScriptedDialogs::Shown box;
  } cases[] = {
      {"a file name the archiver cannot store", [] {},
       {"msgbox",
        "压缩主题资源包时发生错误：\r\n压缩程序返回错误代码 2\r\nWinRAR: 文件夹 " + Key("site/unit1") +
            " 中的文件“\uFFFD\uFFFD\uFFFD\uFFFD.htm”的名称不是有效的 UTF-8 编码，"
            "压缩包无法按原样存放；请把它改名后重新打包",
        "错误", platform::vbOKOnly | platform::vbCritical}},
      {"an archiver that fails without a word",
       [&] {
         FakePrograms();
         WriteScript(programs_ / "WinRAR/WinRAR", "exit 3\n");
       },
       {"msgbox", "压缩主题资源包时发生错误：\r\n压缩程序返回错误代码 3", "错误",
        platform::vbOKOnly | platform::vbCritical}},
      {"an archiver that cannot be started",
       [&] {
         FakePrograms();
         fs::remove(programs_ / "WinRAR/WinRAR");
       },
       {"msgbox", "", "存在错误", platform::vbInformation | platform::vbOKOnly}},
  };
  // A page copied from an older disk keeps its GBK name ("语文").
  WriteFile(Key("site/unit1/") + platform::ToAnsi("语文") + ".htm", "x");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SetProgramFolder(savedProgram_);
    c.programs();
    fs::remove(Key("site/startxml.xml"));
    WizardReady();
    ScriptedDialogs dialogs;
    dialogs.answers = {platform::vbOK, platform::vbOK, platform::vbOK};
    Select("site");
    Choose("edit");

    ASSERT_EQ(dialogs.shown.size(), 2u) << dialogs.LastPrompt();
    EXPECT_EQ(dialogs.shown[0].prompt, "是否现在进行压缩打包?");
    const ScriptedDialogs::Shown& box = dialogs.shown[1];
    if (!c.box.prompt.empty()) {
      EXPECT_EQ(box.prompt, c.box.prompt);
    }
    EXPECT_EQ(box.title, c.box.title);
    EXPECT_EQ(box.style, c.box.style);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_NE(StatusLine().find("主题资源包压缩失败"), std::string::npos) << StatusLine();
    EXPECT_EQ(StatusLine().find("完成"), std::string::npos) << StatusLine();
    EXPECT_TRUE(fs::exists(Key("site/startxml.xml")));
    EXPECT_EQ(form_->RightFrame->finishCommand->text(), talvora::kCaptionPreview);
    EXPECT_TRUE(form_->isEnabled());
  }
}

// A refresh run that fails gives the wizard back the two buttons it took.
TEST_F(CommandsTest, AFailedRefreshGivesTheWizardItsButtonsBack) {
  ScriptedDialogs dialogs;
  FakePrograms();
  WizardReady();
  talvora::WizardPane* wz = form_->RightFrame;
  // A folder in the way of a page document: the run cannot write it.
  MakeDirs(Key("site/unit1/startxml.xml"));
  Select("site");
  Choose("edit");
  EXPECT_NE(StatusLine().find("主题资源修改失败："), std::string::npos) << StatusLine();
  EXPECT_EQ(wz->finishCommand->text(), talvora::kCaptionGenerate);
  EXPECT_TRUE(wz->finishCommand->isEnabled());
  EXPECT_TRUE(wz->backCommand->isEnabled());
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
}

// The entry page a broken-off refresh left aside: the next refresh puts it
// back and its last status text says so; beside a new index.html the
// refresh is refused and the status line says why.
TEST_F(CommandsTest, ARefreshTellsOfTheEntryPageABrokenOffRunLeftAside) {
  ScriptedDialogs dialogs;
  FakePrograms();
  WizardReady();
  const std::string left = Key("site/") + talvora::kEntryPageAsideName;
  fs::rename(Key("site/index.html"), left);
  dialogs.answers = {platform::vbCancel, platform::vbOK, platform::vbOK};
  Select("site");
  Choose("edit");
  EXPECT_EQ(ReadFile(Key("site/index.html")), "<html>site</html>");
  EXPECT_FALSE(fs::exists(left));
  EXPECT_NE(StatusLine().find("主题资源处理完成 -> "), std::string::npos) << StatusLine();
  EXPECT_NE(StatusLine().find("\"" + left + "\""), std::string::npos) << StatusLine();

  WizardReady();
  WriteFile(left, "<html>the page before</html>");
  dialogs.shown.clear();
  Select("site");
  Choose("edit");
  EXPECT_NE(StatusLine().find("主题资源修改失败："), std::string::npos) << StatusLine();
  EXPECT_NE(StatusLine().find("\"" + left + "\""), std::string::npos) << StatusLine();
  EXPECT_NE(StatusLine().find("\"" + Key("site/index.html") + "\""), std::string::npos)
      << StatusLine();
  EXPECT_EQ(ReadFile(left), "<html>the page before</html>");
  EXPECT_EQ(ReadFile(Key("site/index.html")), "<html>site</html>");
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
}

TEST_F(CommandsTest, ARefreshOfAFolderThatHasGoneSaysSo) {
  ScriptedDialogs dialogs;
  WizardReady();
  Select("site");
  fs::remove_all(Key("site"));
  form_->RegenerateResource();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt, "所选目录不存在");
  EXPECT_EQ(dialogs.shown[0].title, "错误");
}

}  // namespace
}  // namespace tree_commands_test

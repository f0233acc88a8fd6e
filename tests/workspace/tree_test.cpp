#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/process.h"
#include "support/temp_dir.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/tree_helpers.h"

namespace {

namespace fs = std::filesystem;
using talvora::Form1;
using talvora::TreeNodes;
using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;
using tree_helpers::ChildTexts;

TEST(FolderTreeRules, PictureByLoweredExtension) {
  const struct {
    const char* path;
    int full, oneLevel;
  } cases[] = {
      {"/d/photo.JPG", 12, 12},      {"/d/clip.rm", 1, 1},       {"/d/clip.RMVB", 1, 1},
      {"/d/page.Html", 8, 8},        {"/d/icon.ico", 7, 22},     {"/d/x.tar.gz", 22, 22},
      {"/d/my.folder/README", 22, 22}, {"/d/noext", 22, 22},     {"/d/song.mp3", 2, 2},
      {"/d/a.txt", 16, 16},          {"/d/b.zip", 17, 17},       {"/d/c.rar", 15, 15},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(talvora::IconOfExtension(c.path, true), c.full) << c.path;
    EXPECT_EQ(talvora::IconOfExtension(c.path, false), c.oneLevel) << c.path;
  }
}

TEST(FolderTreeRules, KeysAndDiskPaths) {
  // A file at a drive root gets a single separator.
  EXPECT_EQ(talvora::ChildKey("/", "a.txt"), "/a.txt");
  EXPECT_EQ(talvora::ChildKey("/media/usb/", "a.txt"), "/media/usb/a.txt");
  EXPECT_EQ(talvora::ChildKey("/home/ann", "a.txt"), "/home/ann/a.txt");

  const struct {
    const char* given;
    const char* disk;
  } cases[] = {
      {"My Computer//", "/"},
      {"My Computer///home/ann", "/home/ann"},
      {"My Computer//media/usb/", "/media/usb/"},
      {"My Computer//media/usb//docs", "/media/usb/docs"},
      {"/home/ann", "/home/ann"},
      // A disk path holding the root's name loses its first 12 characters.
      {"/data/My Computer/x", "puter/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(talvora::DiskPathOf(c.given), c.disk) << c.given;
}

// Other parts move and remove nodes with the tree's own calls; the key map
// must never keep a node that is gone, or lose one that was only moved.
TEST(TreeNodesMap, FollowsNodesMovedOrRemovedByAnyone) {
  QTreeWidget tree;
  TreeNodes nodes(&tree);
  QTreeWidgetItem* root = nodes.Add(tree.invisibleRootItem(), "My Computer", "My Computer", 18);
  QTreeWidgetItem* a = nodes.Add(root, "/a", "a", 20);
  QTreeWidgetItem* b = nodes.Add(root, "/b", "b", 20);
  QTreeWidgetItem* sub = nodes.Add(a, "/a/sub", "sub", 20);
  nodes.Add(sub, "/a/sub/x.txt", "x.txt", 16);
  EXPECT_EQ(nodes.Add(b, "/a", "a", 20), nullptr);  // keys are unique
  EXPECT_EQ(nodes.Add(nullptr, "/c", "c", 20), nullptr);
  EXPECT_EQ(nodes.Count(), 5);

  // Moved under another parent: same keys, same nodes.
  b->addChild(a->takeChild(a->indexOfChild(sub)));
  EXPECT_EQ(nodes.Find("/a/sub"), sub);
  EXPECT_EQ(sub->parent(), b);
  EXPECT_NE(nodes.Find("/a/sub/x.txt"), nullptr);

  // Deleted: the whole sub-tree's keys are free again.
  delete sub;
  EXPECT_EQ(nodes.Find("/a/sub"), nullptr);
  EXPECT_EQ(nodes.Find("/a/sub/x.txt"), nullptr);
  EXPECT_NE(nodes.Add(a, "/a/sub", "sub", 20), nullptr);

  ASSERT_TRUE(nodes.SetKey(b, "/renamed"));
  EXPECT_EQ(nodes.Find("/renamed"), b);
  EXPECT_EQ(nodes.Find("/b"), nullptr);
  EXPECT_FALSE(nodes.SetKey(b, "/a"));

  tree.clear();
  EXPECT_EQ(nodes.Count(), 0);
  EXPECT_EQ(nodes.Find("/a"), nullptr);
}

int CountNodes(QTreeWidget* tree) {
  int n = 0;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) ++n;
  return n;
}

// A node and everything below it.
int CountNodes(const QTreeWidgetItem* node) {
  int n = 1;
  for (int i = 0; i < node->childCount(); ++i) n += CountNodes(node->child(i));
  return n;
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    form_ = &Form1::Load();
    tree_ = form_->TreeView1;
  }
  void TearDown() override {
    platform::SetDesktopOpener(nullptr);
    delete Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Reads each folder from the root down to path, as the user's clicks
  // would, and returns path's node.
  QTreeWidgetItem* OpenDownTo(const std::string& path) { return tree_helpers::OpenDownTo(*form_, path); }

  Form1* form_ = nullptr;
  QTreeWidget* tree_ = nullptr;
};

TEST_F(FolderTreeTest, StartsWithTheRootAndTheVolumes) {
  ASSERT_EQ(tree_->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree_->topLevelItem(0);
  EXPECT_EQ(TreeNodes::Key(root), "My Computer");
  EXPECT_EQ(TreeNodes::Text(root), "My Computer");
  EXPECT_EQ(TreeNodes::Image(root), 18);
  ASSERT_GE(root->childCount(), 1);
  QTreeWidgetItem* drive = root->child(0);
  EXPECT_EQ(TreeNodes::Key(drive), "/");
  EXPECT_EQ(TreeNodes::Image(drive), 19);
  EXPECT_EQ(TreeNodes::FullPath(drive), "My Computer//");
  // The drive's top level, and one level below it, are read already.
  QTreeWidgetItem* tmp = form_->NodeOfKey("/tmp");
  ASSERT_NE(tmp, nullptr);
  EXPECT_EQ(tmp->parent(), drive);
  EXPECT_EQ(TreeNodes::FullPath(tmp), "My Computer///tmp");
  EXPECT_GT(tmp->childCount(), 0);
}

TEST_F(FolderTreeTest, ReadingAgainAddsOnlyWhatIsNewAtTheEnd) {
  TempDir dir;
  MakeDirs(dir / "sub");
  WriteFile(dir / "sub/inner.txt", "i");
  WriteFile(dir / "b.txt", "b");
  WriteFile(dir / "a.JPG", "a");
  QTreeWidgetItem* node = OpenDownTo(dir.path());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(ChildTexts(node), (std::vector<std::string>{"sub", "a.JPG", "b.txt"}));
  EXPECT_EQ(TreeNodes::Key(node->child(1)), dir / "a.JPG");
  EXPECT_EQ(TreeNodes::Image(node->child(0)), 20);
  EXPECT_EQ(TreeNodes::Image(node->child(1)), 12);
  EXPECT_EQ(ChildTexts(node->child(0)), std::vector<std::string>{"inner.txt"});

  const int before = CountNodes(tree_);
  form_->rootSplitNode(dir.path());
  EXPECT_EQ(CountNodes(tree_), before);

  // New on disk shows at the end, even where it sorts first; a deleted
  // file stays until the folder is refreshed. Read through the full path.
  WriteFile(dir / "0new.txt", "n");
  fs::remove(dir / "b.txt");
  form_->rootSplitNode(TreeNodes::FullPath(node));
  EXPECT_EQ(ChildTexts(node), (std::vector<std::string>{"sub", "a.JPG", "b.txt", "0new.txt"}));
}

TEST_F(FolderTreeTest, TheRootsNameInAnyCaseReadsNothing) {
  TempDir dir;
  // Relative paths would find these in the working folder.
  MakeDirs(dir / "my computer");
  WriteFile(dir / "my computer/x.txt", "x");
  MakeDirs(dir / "MY COMPUTER");
  WriteFile(dir / "MY COMPUTER/y.txt", "y");
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const int before = CountNodes(tree_);
  for (const char* name : {"My Computer", "my computer", "MY COMPUTER", "mY cOMPUTER"})
    form_->rootSplitNode(name);
  EXPECT_EQ(CountNodes(tree_), before);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST_F(FolderTreeTest, AFolderNamedLikeTheRootIsReadThroughItsFullPath) {
  TempDir dir;
  MakeDirs(dir / "My Computer");
  WriteFile(dir / "My Computer/inside.txt", "i");
  QTreeWidgetItem* parent = OpenDownTo(dir.path());
  QTreeWidgetItem* odd = form_->NodeOfKey(dir / "My Computer");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->childCount(), 0);  // the read-ahead cut its path
  form_->Form1_TreeView1_NodeClick(odd);
  EXPECT_EQ(ChildTexts(odd), std::vector<std::string>{"inside.txt"});
  EXPECT_EQ(odd->parent(), parent);
}

TEST_F(FolderTreeTest, RefreshReplacesExactlyTheDirectChildren) {
  TempDir dir;
  MakeDirs(dir / "A/deep/deeper");
  WriteFile(dir / "A/deep/d.txt", "d");
  MakeDirs(dir / "B");
  WriteFile(dir / "B/keep.txt", "k");
  WriteFile(dir / "A/gone.txt", "g");
  QTreeWidgetItem* top = OpenDownTo(dir.path());
  QTreeWidgetItem* a = form_->NodeOfKey(dir / "A");
  form_->rootSplitNode(dir / "A");
  form_->rootSplitNode(dir / "A/deep");
  ASSERT_NE(form_->NodeOfKey(dir / "A/deep/d.txt"), nullptr);
  ASSERT_NE(form_->NodeOfKey(dir / "A/deep/deeper"), nullptr);
  fs::remove(dir / "A/gone.txt");
  WriteFile(dir / "A/new.txt", "n");
  const int beforeB = form_->NodeOfKey(dir / "B")->childCount();

  form_->TreeView1_Flash(a);

  EXPECT_EQ(ChildTexts(a), (std::vector<std::string>{"deep", "new.txt"}));
  for (int i = 0; i < a->childCount(); ++i) EXPECT_EQ(a->child(i)->childCount(), 0);
  EXPECT_EQ(form_->NodeOfKey(dir / "A/gone.txt"), nullptr);
  EXPECT_EQ(form_->NodeOfKey(dir / "A/deep/d.txt"), nullptr);
  EXPECT_EQ(form_->NodeOfKey(dir / "B")->childCount(), beforeB);
  EXPECT_EQ(top->childCount(), 2);
  // The removed keys are free again: a later read brings the grandchildren back.
  form_->rootSplitNode(dir / "A/deep");
  EXPECT_EQ(ChildTexts(form_->NodeOfKey(dir / "A/deep")), (std::vector<std::string>{"deeper", "d.txt"}));
}

TEST_F(FolderTreeTest, AFileKeyAtAFolderEndingInTheSeparatorHasOneSeparator) {
  TempDir dir;
  WriteFile(dir / "a.txt", "a");
  MakeDirs(dir / "s");
  std::vector<std::string> files, folders;
  int fileCount = -1, folderCount = -1;
  form_->subSaveSubFile(dir.path() + "/", files, fileCount);
  form_->SubSaveSubDir(dir.path() + "/", folders, folderCount);
  EXPECT_EQ(fileCount, 1);
  EXPECT_EQ(files, std::vector<std::string>{dir / "a.txt"});
  EXPECT_EQ(folderCount, 1);
  EXPECT_EQ(folders, std::vector<std::string>{dir / "s"});
  EXPECT_EQ(form_->FOnlyPath("/"), "");
  EXPECT_EQ(form_->FOnlyPath("abc"), "abc");
  EXPECT_EQ(form_->FOnlyPath("/a/b"), "b");
}

TEST_F(FolderTreeTest, AClickTogglesTheFolderPictureShowsTheKeyAndReadsAhead) {
  TempDir dir;
  MakeDirs(dir / "A/B");
  WriteFile(dir / "A/B/c.txt", "c");
  WriteFile(dir / "f.ico", "i");
  OpenDownTo(dir.path());
  QTreeWidgetItem* a = form_->NodeOfKey(dir / "A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(TreeNodes::Image(a), 20);
  EXPECT_EQ(form_->NodeOfKey(dir / "A/B")->childCount(), 0);

  form_->Form1_TreeView1_NodeClick(a);
  EXPECT_EQ(TreeNodes::Image(a), 21);
  EXPECT_NE(form_->StatusPanel(2)->text().toStdString().find(dir / "A"), std::string::npos);
  EXPECT_EQ(ChildTexts(form_->NodeOfKey(dir / "A/B")), std::vector<std::string>{"c.txt"});

  // Expanded while showing the open picture: back to the closed one.
  a->setExpanded(true);
  EXPECT_EQ(TreeNodes::Image(a), 20);

  // A click on a file selects it and keeps its picture.
  QTreeWidgetItem* ico = form_->NodeOfKey(dir / "f.ico");
  ASSERT_NE(ico, nullptr);
  const int picture = TreeNodes::Image(ico);
  form_->Form1_TreeView1_NodeClick(ico);
  EXPECT_EQ(tree_->currentItem(), ico);
  EXPECT_EQ(TreeNodes::Image(ico), picture);
}

// The folder picture follows the picture shown and the expanded state the
// tree reports during the event; a click and an expand share the rule.
TEST_F(FolderTreeTest, ClickAndExpandSwapTheFolderPictureOnlyFromAMatchingState) {
  TempDir dir;
  MakeDirs(dir / "A");
  OpenDownTo(dir.path());
  QTreeWidgetItem* a = form_->NodeOfKey(dir / "A");
  ASSERT_NE(a, nullptr);
  const struct {
    bool click;
    int image;
    bool expanded;
    int after;
  } cases[] = {
      {true, 20, false, 21},  {true, 21, true, 20},  {true, 21, false, 21},  {true, 20, true, 20},
      {false, 20, false, 21}, {false, 21, true, 20}, {false, 21, false, 21}, {false, 20, true, 20},
  };
  for (const auto& c : cases) {
    TreeNodes::SetImage(a, c.image);
    tree_->blockSignals(true);
    a->setExpanded(c.expanded);
    tree_->blockSignals(false);
    if (c.click)
      form_->Form1_TreeView1_NodeClick(a);
    else
      form_->Form1_TreeView1_Expand(a);
    EXPECT_EQ(TreeNodes::Image(a), c.after)
        << (c.click ? "click" : "expand") << " on " << c.image << (c.expanded ? " expanded" : "");
  }
  // A drive is a folder but shows neither folder picture.
  QTreeWidgetItem* drive = form_->NodeOfKey("/");
  form_->Form1_TreeView1_NodeClick(drive);
  EXPECT_EQ(TreeNodes::Image(drive), 19);
}

// A folder renamed among others: the tree shows it under its new name in
// its place on disk, the folder's other entries as they are on disk, every
// node outside the folder as it was, and the status bar the new path.
TEST_F(FolderTreeTest, ARenamedFolderShowsInItsPlaceAndTheStatusBarShowsItsNewPath) {
  TempDir dir;
  for (const char* name : {"b", "d", "f/inner"}) MakeDirs(dir / name);
  WriteFile(dir / "c.txt", "c");
  MakeDirs(dir.path() + "-beside/kept");
  QTreeWidgetItem* top = OpenDownTo(dir.path());
  OpenDownTo(dir.path() + "-beside");
  tree_->expandItem(top);
  const int outside = CountNodes(tree_) - CountNodes(top);

  QTreeWidgetItem* b = form_->NodeOfKey(dir / "b");
  tree_->setCurrentItem(b);
  form_->Form1_TreeView1_NodeClick(b);
  form_->FinishRename("e");

  EXPECT_TRUE(fs::is_directory(dir / "e"));
  EXPECT_EQ(ChildTexts(top), (std::vector<std::string>{"d", "e", "f", "c.txt"}));
  for (int i = 0; i < top->childCount(); ++i) {
    EXPECT_EQ(TreeNodes::Key(top->child(i)), dir / TreeNodes::Text(top->child(i)));
    EXPECT_EQ(form_->NodeOfKey(dir / TreeNodes::Text(top->child(i))), top->child(i));
  }
  EXPECT_EQ(form_->NodeOfKey(dir / "b"), nullptr);
  EXPECT_EQ(CountNodes(tree_) - CountNodes(top), outside);
  EXPECT_NE(form_->NodeOfKey(dir.path() + "-beside/kept"), nullptr);
  const std::string status = form_->StatusPanel(2)->text().toStdString();
  const std::string renamed = dir / "e";
  ASSERT_GE(status.size(), renamed.size());
  EXPECT_EQ(status.substr(status.size() - renamed.size()), renamed) << status;
}

// The root is no folder: refreshing it removes the drives and reads nothing.
TEST_F(FolderTreeTest, RefreshingTheRootLeavesItWithoutDrives) {
  QTreeWidgetItem* root = form_->NodeOfKey("My Computer");
  ASSERT_NE(root, nullptr);
  ASSERT_GT(root->childCount(), 0);
  form_->TreeView1_Flash(root);
  EXPECT_EQ(root->childCount(), 0);
  EXPECT_EQ(form_->NodeOfKey("/"), nullptr);
  EXPECT_EQ(CountNodes(tree_), 1);
}

// An "ico" file keeps the picture of the reader that added it first.
TEST_F(FolderTreeTest, IcoFilesShowTheFirstReadersPicture) {
  TempDir dir;
  WriteFile(dir / "early.ico", "i");
  OpenDownTo(dir.path());  // dir itself was read ahead, one level
  WriteFile(dir / "late.ico", "i");
  form_->rootSplitNode(dir.path());
  EXPECT_EQ(TreeNodes::Image(form_->NodeOfKey(dir / "early.ico")), 22);
  EXPECT_EQ(TreeNodes::Image(form_->NodeOfKey(dir / "late.ico")), 7);
}

TEST_F(FolderTreeTest, ADoubleClickOpensAFileButNotAFolderWithChildren) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  TempDir dir;
  MakeDirs(dir / "A");
  WriteFile(dir / "A/x.txt", "x");
  MakeDirs(dir / "empty");
  WriteFile(dir / "doc.txt", "d");
  OpenDownTo(dir.path());
  // An empty folder gets no children, so it opens in the file manager.
  ASSERT_EQ(form_->NodeOfKey(dir / "empty")->childCount(), 0);

  for (const char* name : {"doc.txt", "empty", "A"}) {
    tree_->setCurrentItem(form_->NodeOfKey(dir / name));
    form_->Form1_TreeView1_DblClick();
  }
  EXPECT_EQ(opened, (std::vector<std::string>{dir / "doc.txt", dir / "empty"}));
  EXPECT_NE(form_->StatusPanel(2)->text().toStdString().find(dir / "A"), std::string::npos);
}

}  // namespace

// The folder tree of the main window: the first build from the drives, the
// lazy reading of folders, the refresh of one node after a change on disk,
// and what a click, an expand and a double-click read or open.
#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

#include <QHeaderView>
#include <QTreeWidget>

#include "generator/skip_on_error.h"
#include "generator/uitl.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/volumes.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"

namespace talvora {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The one folder read behind both readers. full: read the level below the
// new entries as well, and show "ico" files as GIF pictures.
void ReadFolder(Form1& form, const std::string& sGivePath, bool full) {
  if (SameIgnoringCase(sGivePath, kMyComputer)) return;
  const std::string path = DiskPathOf(sGivePath);
  if (!FolderExists(path)) return;
  std::vector<std::string> folders, files;
  int folderCount = 0, fileCount = 0;
  form.SubSaveSubDir(path, folders, folderCount);
  form.subSaveSubFile(path, files, fileCount);
  if (folderCount == 0 && fileCount == 0) return;

  // From here on a failing add is skipped: a key already in the tree (so a
  // second read adds only what is new on disk) or a folder that has no node.
  QTreeWidgetItem* parent = form.treeNodes->Find(path);
  for (int i = 0; i < folderCount; ++i)
    Try([&] { form.treeNodes->Add(parent, folders[i], form.FOnlyPath(folders[i]), 20); });
  for (int i = 0; i < fileCount; ++i)
    Try([&] {
      form.treeNodes->Add(parent, files[i], form.FOnlyPath(files[i]), IconOfExtension(files[i], full));
    });
  if (full)
    for (int i = 0; i < folderCount; ++i) Try([&] { form.SSplitNode(folders[i]); });
}

// Click and expand share one rule; only a click selects a node that is not
// a folder.
void ClickOrExpand(Form1& form, QTreeWidgetItem* Node, bool click) {
  if (!Node) return;
  const std::string key = TreeNodes::Key(Node);
  ShowStatus(key);
  if (Node->text(0).isEmpty()) return;
  if (FolderExists(key)) {
    const int image = TreeNodes::Image(Node);
    const bool expanded = Node->isExpanded();
    if (image == 21 && expanded)
      TreeNodes::SetImage(Node, 20);
    else if (image == 20 && !expanded)
      TreeNodes::SetImage(Node, 21);
  } else if (click) {
    form.TreeView1->setCurrentItem(Node);
  }
  // A folder that cannot be listed (access denied) is skipped quietly.
  Try([&] { form.rootSplitNode(TreeNodes::FullPath(Node)); });
}

}  // namespace

void Form1::InitTree() {
  // Each step that fails is skipped and the next one runs.
  Try([&] {
    treeNodes = new TreeNodes(TreeView1);
    TreeView1->setColumnCount(1);
    TreeView1->setIconSize(QSize(16, 16));
    TreeView1->setRootIsDecorated(true);
    // Long names scroll sideways instead of being cut short.
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    TreeView1->header()->setStretchLastSection(false);
    // Labels are edited only when the program starts the edit.
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(TreeView1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node, int) { Form1_TreeView1_NodeClick(node); });
    connect(TreeView1, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { Form1_TreeView1_Expand(node); });
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem*, int) { Form1_TreeView1_DblClick(); });
  });
  if (!treeNodes) return;
  QTreeWidgetItem* root = nullptr;
  Try([&] { root = treeNodes->Add(TreeView1->invisibleRootItem(), kMyComputer, kMyComputer, 18); });
  std::vector<std::string> drives;
  Try([&] { drives = platform::MountedVolumes(); });
  for (const std::string& drive : drives) {
    Try([&] { treeNodes->Add(root, drive, drive, 19); });
    Try([&] { rootSplitNode(drive); });
  }
}

void Form1::rootSplitNode(const std::string& sGivePath) { ReadFolder(*this, sGivePath, true); }

void Form1::SSplitNode(const std::string& sGivePath) { ReadFolder(*this, sGivePath, false); }

void Form1::SubSaveSubDir(const std::string& FGivePath, std::vector<std::string>& fGivePathSubDir,
                          int& FSDCount) {
  const std::vector<std::string> names = platform::fso::SubFolderNames(FGivePath);
  fGivePathSubDir.resize(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) fGivePathSubDir[i] = ChildKey(FGivePath, names[i]);
  FSDCount = static_cast<int>(names.size());
}

void Form1::subSaveSubFile(const std::string& FGivePath, std::vector<std::string>& fGivePathSubFile,
                           int& FSDCount) {
  const std::vector<std::string> names = platform::fso::FileNames(FGivePath);
  fGivePathSubFile.resize(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) fGivePathSubFile[i] = ChildKey(FGivePath, names[i]);
  FSDCount = static_cast<int>(names.size());
}

std::string Form1::FOnlyPath(const std::string& DString) const {
  const std::size_t cut = DString.rfind(platform::kSep);
  return cut == std::string::npos ? DString : DString.substr(cut + 1);
}

QTreeWidgetItem* Form1::NodeOfKey(const std::string& key) const {
  return treeNodes ? treeNodes->Find(key) : nullptr;
}

void Form1::TreeView1_Flash(QTreeWidgetItem* Node) {
  if (!Node) throw std::invalid_argument("no tree node to refresh");
  // The children leave in one go, their sub-trees with them: the view lays
  // itself out once, not once for every child (ten thousand children took
  // a minute that way).
  qDeleteAll(Node->takeChildren());
  SSplitNode(TreeNodes::FullPath(Node));
}

void Form1::Form1_TreeView1_NodeClick(QTreeWidgetItem* Node) { ClickOrExpand(*this, Node, true); }

void Form1::Form1_TreeView1_Expand(QTreeWidgetItem* Node) { ClickOrExpand(*this, Node, false); }

void Form1::Form1_TreeView1_DblClick() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!node) return;
  const std::string key = TreeNodes::Key(node);
  ShowStatus(key);
  // A file opens with its program; a folder without children in the shell.
  if (node->childCount() == 0) platform::OpenWithDesktop(key);
  Try([&] { rootSplitNode(TreeNodes::FullPath(node)); });
}

}  // namespace talvora

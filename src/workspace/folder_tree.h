// The model of the folder tree: what a node's key, text and picture are, and
// the key-to-node map that keeps every key unique. The tree's readers and
// its refresh are Form1's (form1_tree.cpp); this is what they build on, and
// what every other part uses to find a node by its key.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include <QIcon>
#include <QObject>
#include <QString>

#include "platform/paths.h"

class QModelIndex;
class QTreeWidget;
class QTreeWidgetItem;

namespace talvora {

// The key and the text of the one top-level node.
inline const char kMyComputer[] = "My Computer";

// The picture (1 to 22) of a file by the extension of its path: the text
// after the last ".", lowered. withIco: the full reader's table, which shows
// "ico" files as GIF pictures; the one-level reader has no such row.
int IconOfExtension(const std::string& path, bool withIco);

// The key of an entry of a folder: the folder, the separator and the name,
// with no second separator after a folder that ends in one (a drive).
std::string ChildKey(const std::string& folder, const std::string& name);

// A key that is a path on disk (a drive, folder or file), not the root's.
inline bool IsDiskKey(const std::string& key) { return !key.empty() && key[0] == platform::kSep; }

// A file or folder that the tree's file commands (copy, cut, paste, delete,
// rename, drag and drop) may act on: a node below a drive. Never the root,
// a drive, or a folder where another volume is mounted: moving or deleting
// one of those would empty a volume.
bool IsEntryNode(const QTreeWidgetItem* node);

// The disk path of a path handed to a reader: a tree full path
// ("My Computer//home/user") loses its first 12 characters and every doubled
// separator becomes one; a disk path comes back as it is.
std::string DiskPathOf(const std::string& givenPath);

// The picture list of the tree: picture 1 to 22, 16 x 16.
QIcon ImageList2(int image);

// Keeps the key of every node of one tree in a map, whoever adds, moves or
// removes the nodes: it follows the tree's own insert and remove
// notifications.
class TreeNodes : public QObject {
 public:
  explicit TreeNodes(QTreeWidget* tree);

  // Adds a node under parent (the tree's invisible root for the top level).
  // Fails, returning nullptr, when the key is in the tree already or there
  // is no parent.
  QTreeWidgetItem* Add(QTreeWidgetItem* parent, const std::string& key, const std::string& text,
                       int image);
  // The node of a key, or nullptr.
  QTreeWidgetItem* Find(const std::string& key) const;
  // Gives a node another key (a renamed file); false when the new key is
  // taken by another node.
  bool SetKey(QTreeWidgetItem* node, const std::string& key);
  int Count() const { return static_cast<int>(nodes_.size()); }

  static std::string Key(const QTreeWidgetItem* node);
  static std::string Text(const QTreeWidgetItem* node);
  static int Image(const QTreeWidgetItem* node);
  static void SetImage(QTreeWidgetItem* node, int image);
  // The texts of the root, of every ancestor and of the node, joined by the
  // separator. A drive's text ends in one, so the separator after it doubles.
  static std::string FullPath(const QTreeWidgetItem* node);

 private:
  void Register(QTreeWidgetItem* node);
  void Unregister(QTreeWidgetItem* node);
  QTreeWidgetItem* ItemOfIndex(const QModelIndex& index) const;
  void Rebuild();

  QTreeWidget* tree_;
  std::unordered_map<std::string, QTreeWidgetItem*> nodes_;
};

}  // namespace talvora

// Reading the main window's folder tree the way a user's clicks would.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include <QTreeWidgetItem>

#include "workspace/folder_tree.h"
#include "workspace/form1.h"

namespace tree_helpers {

// The texts of a node's children, in tree order (none for no node).
inline std::vector<std::string> ChildTexts(const QTreeWidgetItem* node) {
  std::vector<std::string> texts;
  for (int i = 0; node && i < node->childCount(); ++i)
    texts.push_back(talvora::TreeNodes::Text(node->child(i)));
  return texts;
}

// Reads each folder from the root down to path, as the user's clicks
// would, and returns path's node.
inline QTreeWidgetItem* OpenDownTo(talvora::Form1& form, const std::string& path) {
  std::string prefix = "/";
  form.rootSplitNode(prefix);
  for (const auto& part : std::filesystem::path(path).relative_path()) {
    prefix = talvora::ChildKey(prefix, part.string());
    form.rootSplitNode(prefix);
  }
  return form.NodeOfKey(path);
}

}  // namespace tree_helpers

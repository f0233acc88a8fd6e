#include "workspace/shell_file_ops.h"

#include <stdexcept>

#include <QTreeWidget>

#include "platform/shell_ops.h"
#include "workspace/form1.h"

namespace talvora {

int ShellCopy(Form1& form, const std::string& source, const std::string& destination) {
  form.setEnabled(false);
  const int done = platform::ShellOps::Copy(source, destination, &form);
  if (done == 1) {
    // Paste copies while its target is the selected node: show the copy
    // inside the opened target.
    QTreeWidgetItem* node = form.TreeView1->currentItem();
    if (!node) throw std::runtime_error("the folder tree has no selected node to refresh");
    form.TreeView1_Flash(node);
    node->setExpanded(true);
  }
  return done;
}

int ShellMove(Form1& form, const std::string& source, const std::string& destination) {
  form.setEnabled(false);
  return platform::ShellOps::Move(source, destination, &form);
}

int ShellDelete(Form1& form, const std::string& path) {
  form.setEnabled(false);
  return platform::ShellOps::Delete(path, &form);
}

}  // namespace talvora

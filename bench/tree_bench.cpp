// How long the main window's folder tree takes over one folder that holds
// many folders: reading and expanding it, then renaming one of its folders
// through the end of the label edit, until the tree shows the new name.
// Prints each time.
//
//   tree_bench [folders]     (default: 10000)
//
// The folder is made in TMPDIR; the window is drawn offscreen.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "platform/paths.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string FolderName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "folder %05d", i);
  return name;
}

// Until the window has handled what the change queued: layout and paint.
void Settle(QWidget* window) {
  QCoreApplication::processEvents();
  window->repaint();
  QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (folders < 2) {
    std::fprintf(stderr, "usage: tree_bench [folders]   (at least 2)\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);

  std::string base = (fs::temp_directory_path() / "talvora-tree-bench-XXXXXX").string();
  if (!mkdtemp(base.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
  const std::string big = base + "/big";
  fs::create_directories(big);
  for (int i = 0; i < folders; ++i) fs::create_directory(big + "/" + FolderName(i));

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  platform::SetProgramFolder(TALVORA_PROGRAM_FOLDER);
  talvora::Form1& form = talvora::Form1::Load();
  form.show();
  Settle(&form);

  // Down to the big folder as the user's clicks would read it.
  auto start = std::chrono::steady_clock::now();
  std::string prefix = "/";
  form.rootSplitNode(prefix);
  for (const auto& part : fs::path(big).relative_path()) {
    prefix = talvora::ChildKey(prefix, part.string());
    form.rootSplitNode(prefix);
  }
  QTreeWidgetItem* node = form.NodeOfKey(big);
  if (!node) {
    std::fprintf(stderr, "the folder has no node\n");
    return 1;
  }
  const double readTime = Seconds(start);

  start = std::chrono::steady_clock::now();
  form.TreeView1->expandItem(node);
  Settle(&form);
  const double expandTime = Seconds(start);

  // A folder in the middle gets a name that sorts it last.
  const std::string oldKey = big + "/" + FolderName(folders / 2);
  const std::string newName = "renamed folder";
  form.TreeView1->setCurrentItem(form.NodeOfKey(oldKey));
  form.TreeView1->scrollToItem(form.NodeOfKey(oldKey));
  Settle(&form);
  start = std::chrono::steady_clock::now();
  form.BeginRename();
  form.FinishRename(newName);
  Settle(&form);
  const double renameTime = Seconds(start);

  QTreeWidgetItem* renamed = form.NodeOfKey(big + "/" + newName);
  const bool shown = renamed && renamed->parent() == node && renamed->text(0).toStdString() == newName &&
                     !form.NodeOfKey(oldKey) && node->childCount() == folders && fs::is_directory(big + "/" + newName);

  std::printf("folder:  %d folders in %s\n", folders, fs::temp_directory_path().c_str());
  std::printf("read:    %.3f s\n", readTime);
  std::printf("expand:  %.3f s\n", expandTime);
  std::printf("rename:  %.3f s%s\n", renameTime, shown ? "" : "  (the tree does not show the new name!)");

  delete talvora::Form1::Loaded();
  std::error_code ec;
  fs::remove_all(base, ec);
  return shown ? 0 : 1;
}

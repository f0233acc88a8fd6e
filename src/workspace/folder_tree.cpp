#include "workspace/folder_tree.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <QAbstractItemModel>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <sys/stat.h>

#include "platform/fso.h"
#include "platform/paths.h"

namespace talvora {
namespace {

// Where a node keeps its key and its picture number.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A neutral stand-in when a picture file is missing from the program
// folder: a grey page, or a yellow folder for the folder pictures.
QPixmap PaintedPicture(int image) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setPen(QColor(96, 96, 96));
  if (image == 20 || image == 21) {
    p.setBrush(QColor(240, 200, 64));
    p.drawRect(1, 4, 13, 10);
  } else {
    p.setBrush(Qt::white);
    p.drawRect(3, 1, 10, 14);
  }
  return picture;
}

// A folder on another device than its parent's, or its own parent: where a
// volume is mounted.
bool IsMountPoint(const std::string& path) {
  struct stat here, up;
  if (::lstat(path.c_str(), &here) != 0 || !S_ISDIR(here.st_mode)) return false;
  if (::stat((path + platform::kSep + "..").c_str(), &up) != 0) return false;
  return here.st_dev != up.st_dev || here.st_ino == up.st_ino;
}

}  // namespace

bool IsEntryNode(const QTreeWidgetItem* node) {
  if (!node || !node->parent() || !IsDiskKey(TreeNodes::Key(node->parent()))) return false;
  return !IsMountPoint(TreeNodes::Key(node));
}

int IconOfExtension(const std::string& path, bool withIco) {
  const std::size_t dot = path.rfind('.');
  const std::string ext = Lower(dot == std::string::npos ? path : path.substr(dot + 1));
  struct Row {
    const char* ext;
    int image;
  };
  static const Row kRows[] = {
      {"mpeg", 1}, {"rm", 1},    {"rmvb", 1}, {"dat", 1},  {"wav", 2},  {"wmv", 2},
      {"mp3", 2},  {"au", 2},    {"doc", 4},  {"exe", 5},  {"fla", 6},  {"swf", 6},
      {"gif", 7},  {"htm", 8},   {"html", 8}, {"mdb", 9},  {"xls", 10}, {"psd", 11},
      {"jpg", 12}, {"mov", 13},  {"png", 14}, {"rar", 15}, {"txt", 16}, {"zip", 17},
  };
  for (const Row& row : kRows)
    if (ext == row.ext) return row.image;
  if (withIco && ext == "ico") return 7;
  return 22;
}

std::string ChildKey(const std::string& folder, const std::string& name) {
  return platform::fso::ChildPath(folder, name);
}

std::string DiskPathOf(const std::string& givenPath) {
  if (givenPath.find(kMyComputer) == std::string::npos) return givenPath;
  // "My Computer" and the separator after it.
  std::string path = givenPath.size() > 12 ? givenPath.substr(12) : std::string();
  const std::string doubled(2, platform::kSep);
  std::string out;
  for (std::size_t i = 0; i < path.size();) {
    if (path.compare(i, 2, doubled) == 0) {
      out += platform::kSep;
      i += 2;
    } else {
      out += path[i++];
    }
  }
  return out;
}

QIcon ImageList2(int image) {
  static std::vector<QIcon> pictures;
  if (pictures.empty()) {
    pictures.resize(23);
    for (int i = 1; i <= 22; ++i) {
      const QString file = QString::fromStdString(platform::ProgramFolder()) +
                           QString("/icons/tree_%1.png").arg(i, 2, 10, QChar('0'));
      QPixmap picture;
      if (!QFile::exists(file) || !picture.load(file)) picture = PaintedPicture(i);
      pictures[i] = QIcon(picture);
    }
  }
  if (image < 1 || image > 22) return QIcon();
  return pictures[image];
}

// --- TreeNodes ---

TreeNodes::TreeNodes(QTreeWidget* tree) : QObject(tree), tree_(tree) {
  QAbstractItemModel* model = tree->model();
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent, int first, int last) {
            QTreeWidgetItem* p = ItemOfIndex(parent);
            if (!p) return Rebuild();
            for (int i = first; i <= last && i < p->childCount(); ++i) Register(p->child(i));
          });
  connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex& parent, int first, int last) {
            QTreeWidgetItem* p = ItemOfIndex(parent);
            if (!p) return;
            for (int i = first; i <= last && i < p->childCount(); ++i) Unregister(p->child(i));
          });
  connect(model, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex& parent, int, int) {
            // A removal whose parent could not be told: start again from
            // what the tree holds.
            if (!ItemOfIndex(parent)) Rebuild();
          });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { Rebuild(); });
  Rebuild();
}

QTreeWidgetItem* TreeNodes::ItemOfIndex(const QModelIndex& index) const {
  if (!index.isValid()) return tree_->invisibleRootItem();
  return Find(index.data(kKeyRole).toString().toStdString());
}

void TreeNodes::Register(QTreeWidgetItem* node) {
  if (!node) return;
  nodes_.emplace(Key(node), node);  // the first node of a key keeps it
  for (int i = 0; i < node->childCount(); ++i) Register(node->child(i));
}

void TreeNodes::Unregister(QTreeWidgetItem* node) {
  if (!node) return;
  for (int i = 0; i < node->childCount(); ++i) Unregister(node->child(i));
  auto it = nodes_.find(Key(node));
  if (it != nodes_.end() && it->second == node) nodes_.erase(it);
}

void TreeNodes::Rebuild() {
  nodes_.clear();
  QTreeWidgetItem* top = tree_->invisibleRootItem();
  for (int i = 0; i < top->childCount(); ++i) Register(top->child(i));
}

QTreeWidgetItem* TreeNodes::Add(QTreeWidgetItem* parent, const std::string& key,
                                const std::string& text, int image) {
  if (!parent || nodes_.count(key)) return nullptr;
  auto* node = new QTreeWidgetItem;
  node->setData(0, kKeyRole, QString::fromStdString(key));
  node->setText(0, QString::fromStdString(text));
  // The program starts label edits itself (rename, new folder); the view's
  // own edit triggers are off.
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  SetImage(node, image);
  parent->addChild(node);
  nodes_.emplace(key, node);
  return node;
}

QTreeWidgetItem* TreeNodes::Find(const std::string& key) const {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : it->second;
}

bool TreeNodes::SetKey(QTreeWidgetItem* node, const std::string& key) {
  QTreeWidgetItem* holder = Find(key);
  if (holder && holder != node) return false;
  auto it = nodes_.find(Key(node));
  if (it != nodes_.end() && it->second == node) nodes_.erase(it);
  node->setData(0, kKeyRole, QString::fromStdString(key));
  if (node->treeWidget() == tree_) nodes_.emplace(key, node);
  return true;
}

std::string TreeNodes::Key(const QTreeWidgetItem* node) {
  return node ? node->data(0, kKeyRole).toString().toStdString() : std::string();
}

std::string TreeNodes::Text(const QTreeWidgetItem* node) {
  return node ? node->text(0).toStdString() : std::string();
}

int TreeNodes::Image(const QTreeWidgetItem* node) {
  return node ? node->data(0, kImageRole).toInt() : 0;
}

void TreeNodes::SetImage(QTreeWidgetItem* node, int image) {
  node->setData(0, kImageRole, image);
  node->setIcon(0, ImageList2(image));
}

std::string TreeNodes::FullPath(const QTreeWidgetItem* node) {
  std::string path;
  for (const QTreeWidgetItem* n = node; n; n = n->parent())
    path = n == node ? Text(n) : Text(n) + platform::kSep + path;
  return path;
}

}  // namespace talvora

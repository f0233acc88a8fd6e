// What the main window does when the user works with the mouse in the folder
// tree, beyond clicking, expanding and double-clicking (form1_tree.cpp): a
// press selects a node and sets the toolbar's file buttons; the end of a
// label edit renames on disk; a right click raises the context menu with
// its items set for the node; dragging a node onto a folder moves it on
// disk, the tree scrolling while the pointer is near its top or bottom edge.
#include <cmath>
#include <exception>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include "generator/skip_on_error.h"
#include "generator/uitl.h"
#include "menu/c_menu.h"
#include "menu/m_menu.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/shell_file_ops.h"

namespace talvora {
namespace {

using platform::kTwipsPerPixel;
// The auto-scroll zones, in twips from the tree's top and bottom edges.
constexpr float kTopZone = 400.0f;
constexpr float kBottomZone = 600.0f;

// The format of the tree's own drags: this process's id, a new line, the key.
const char kTreeDragFormat[] = "application/x-talvora-tree-node";

QByteArray ProcessMark() { return QByteArray::number(QCoreApplication::applicationPid()) + '\n'; }

// The dragged node's key, when the drag is one of this tree's own.
bool OwnDrag(const QMimeData* mime, std::string* key = nullptr) {
  if (!mime || !mime->hasFormat(QString::fromLatin1(kTreeDragFormat))) return false;
  const QByteArray data = mime->data(QString::fromLatin1(kTreeDragFormat));
  const QByteArray mark = ProcessMark();
  if (!data.startsWith(mark)) return false;
  if (key) *key = data.mid(mark.size()).toStdString();
  return true;
}

// Hands the tree viewport's events to the window.
class TreeEvents : public QObject {
 public:
  explicit TreeEvents(Form1* form) : QObject(form), form_(form) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != form_->TreeView1->viewport()) return false;
    try {
      return form_->TreeView1_ViewportEvent(event);
    } catch (const std::exception&) {
      // The press, pop-up and drop handlers end quietly on an error.
      return false;
    }
  }

 private:
  Form1* form_;
};

}  // namespace

void Form1::ConnectTreeEvents() {
  // The right button is the tree's own: no context menu event goes on to the
  // window behind it.
  TreeView1->setContextMenuPolicy(Qt::PreventContextMenu);
  TreeView1->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
  // Drags carry the node's key as text; the drag and the drop are handled
  // here, not by the tree's item model.
  TreeView1->setDragEnabled(false);
  TreeView1->setAcceptDrops(true);
  TreeView1->viewport()->setAcceptDrops(true);
  treeEvents_ = new TreeEvents(this);
  TreeView1->viewport()->installEventFilter(treeEvents_);

  // The end of a label edit the program started: the edited node's text
  // has changed, whether Enter or a click elsewhere ended the edit. The
  // rename re-reads the node's folder, so it runs once the edit is closed.
  connect(TreeView1, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    if (renameKey_.empty() || TreeNodes::Key(item) != renameKey_) return;
    const std::string text = TreeNodes::Text(item);
    if (text == FOnlyPath(renameKey_)) return;
    const std::string key = renameKey_;
    renameKey_.clear();
    QTimer::singleShot(0, this, [this, key, text] {
      renameKey_ = key;
      Form1_TreeView1_AfterLabelEdit(text);
    });
  });

  Timer1->stop();
  connect(Timer1, &QTimer::timeout, this, &Form1::Form1_Timer1_Timer);
}

bool Form1::TreeView1_ViewportEvent(QEvent* event) {
  // Positions in twips from the tree control's corner.
  auto twips = [this](const QPoint& viewportPos) {
    const QPoint p = TreeView1->viewport()->mapTo(TreeView1, viewportPos);
    return QPointF(p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel);
  };
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint pos = e->position().toPoint();
      const QPointF t = twips(pos);
      Form1_TreeView1_MouseDown(static_cast<float>(t.x()), static_cast<float>(t.y()));
      dragPressed_ = e->button() == Qt::LeftButton && TreeView1->itemAt(pos) != nullptr;
      dragPressPos_ = pos;
      return false;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (!dragPressed_ || !(e->buttons() & Qt::LeftButton)) return false;
      // Held on a node: the tree does not drag a selection along.
      if ((e->position().toPoint() - dragPressPos_).manhattanLength() < QApplication::startDragDistance())
        return true;
      dragPressed_ = false;
      StartTreeDrag();
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      dragPressed_ = false;
      if (e->button() == Qt::RightButton) {
        const QPointF t = twips(e->position().toPoint());
        Form1_TreeView1_MouseUp(2, static_cast<float>(t.x()), static_cast<float>(t.y()));
      }
      return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      // A drag from another program is no move of the tree's.
      if (!OwnDrag(e->mimeData())) {
        e->ignore();
        return true;
      }
      const QPointF t = twips(e->position().toPoint());
      Form1_TreeView1_OLEDragOver(static_cast<float>(t.x()), static_cast<float>(t.y()),
                                  event->type() == QEvent::DragEnter ? 0 : 2);
      e->acceptProposedAction();
      return true;
    }
    case QEvent::DragLeave:
      // The pointer is outside the tree now: no scroll zone holds it.
      Form1_TreeView1_OLEDragOver(-1.0f, -1.0f, 1);
      return true;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      DragData data;
      if (!OwnDrag(e->mimeData(), &data.text)) {
        e->ignore();
        return true;
      }
      data.hasText = true;
      const QPointF t = twips(e->position().toPoint());
      Form1_TreeView1_OLEDragDrop(data, static_cast<float>(t.x()), static_cast<float>(t.y()));
      e->acceptProposedAction();
      return true;
    }
    default:
      return false;
  }
}

void Form1::StartTreeDrag() {
  DragData data;
  Form1_TreeView1_OLEStartDrag(data);
  if (!data.hasText) return;
  QMimeData* mime = TreeDragMime(data.text);
  QDrag* drag = new QDrag(TreeView1->viewport());
  drag->setMimeData(mime);
  // The drop does the move itself; the drag's outcome changes nothing here.
  drag->exec(Qt::MoveAction | Qt::CopyAction | Qt::LinkAction, Qt::MoveAction);
}

QMimeData* Form1::TreeDragMime(const std::string& key) {
  auto* mime = new QMimeData();
  mime->setText(QString::fromStdString(key));
  mime->setData(QString::fromLatin1(kTreeDragFormat), ProcessMark() + QByteArray::fromStdString(key));
  return mime;
}

QTreeWidgetItem* Form1::HitTest(float x, float y) const {
  const QPoint p(static_cast<int>(std::lround(x / kTwipsPerPixel)),
                 static_cast<int>(std::lround(y / kTwipsPerPixel)));
  const QPoint inView = TreeView1->viewport()->mapFrom(TreeView1, p);
  if (!TreeView1->viewport()->rect().contains(inView)) return nullptr;
  return TreeView1->itemAt(inView);
}

QTreeWidgetItem* Form1::DropHighlight() const {
  return dropHighlightKey_.empty() ? nullptr : NodeOfKey(dropHighlightKey_);
}

void Form1::SetDropHighlight(QTreeWidgetItem* node) {
  dropHighlightKey_ = node ? TreeNodes::Key(node) : std::string();
  // The highlight is the tree's selection; the selected node stays current
  // and shows as selected again once the highlight is cleared.
  TreeView1->clearSelection();
  QTreeWidgetItem* shown = node ? node : TreeView1->currentItem();
  if (shown) shown->setSelected(true);
}

void Form1::Form1_TreeView1_MouseDown(float x, float y) {
  // A statement that fails is skipped.
  Try([&] {
    if (QTreeWidgetItem* node = HitTest(x, y)) TreeView1->setCurrentItem(node);
  });
  QTreeWidgetItem* node = TreeView1->currentItem();
  // Nothing selected: nothing for the file buttons to act on.
  const bool disk = node && IsDiskKey(TreeNodes::Key(node));
  for (int i = 6; i <= 11; ++i) Try([&] { Toolbar1Buttons[i]->setEnabled(disk); });
  if (!disk) Try([&] { Toolbar1Buttons[3]->setEnabled(false); });
  Try([&] { Toolbar1Buttons[3]->setEnabled(node && node->childCount() > 0); });
}

void Form1::Form1_TreeView1_AfterLabelEdit(const std::string& NewString) { FinishRename(NewString); }

void Form1::Form1_TreeView1_MouseUp(int Button, float x, float y) {
  if (Button != 2) return;
  QTreeWidgetItem* node = nullptr;
  try {
    node = HitTest(x, y);
    if (!node) return;
    TreeView1->setCurrentItem(node);
  } catch (const std::exception&) {
    return;
  }
  const QPoint cursor = QCursor::pos();
  if (!menu) return;
  menu->SetItemText("expend", node->isExpanded() ? "折叠" : "展开");
  const std::string key = TreeNodes::Key(node);
  // The root has no pop-up.
  if (!IsDiskKey(key)) return;

  const bool file = FileExists(key);
  menu->SetItemState("open", file ? 0 : kStateDisabled);
  menu->SetItemState("input", file ? kStateDisabled : 0);
  const bool leaf = node->childCount() == 0;
  menu->SetItemState("gen", leaf ? kStateDisabled : 0);
  menu->SetItemState("expend", leaf ? kStateDisabled : 0);
  // Set for every node, so that no pop-up shows what the one before it set.
  menu->SetItemState("edit", IsSiteRoot(key) ? 0 : kStateDisabled);
  // A file is no folder to paste into.
  menu->SetItemState("paste", !file && !ClipboardKey.empty() ? 0 : kStateDisabled);
  menu->PopupMenu(cursor.x(), cursor.y(), 0);
}

void Form1::Form1_TreeView1_OLEStartDrag(DragData& Data) {
  Data = DragData();
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!node) return;
  Data.hasText = true;
  Data.text = TreeNodes::Key(node);
}

void Form1::Form1_TreeView1_OLEDragOver(float x, float y, int State) {
  lastDragX_ = x;
  lastDragY_ = y;
  Try([&] { SetDropHighlight(State == 1 ? nullptr : HitTest(x, y)); });
  const float height = TreeView1->height() * kTwipsPerPixel;
  if (y > 0 && y < kTopZone) {
    ScrollDirection = -1;
    if (!Timer1->isActive()) Timer1->start();
  } else if (y > height - kBottomZone && y < height) {
    ScrollDirection = 1;
    if (!Timer1->isActive()) Timer1->start();
  } else {
    Timer1->stop();
  }
}

void Form1::Form1_Timer1_Timer() {
  TreeView1->verticalScrollBar()->triggerAction(ScrollDirection == -1
                                                    ? QAbstractSlider::SliderSingleStepSub
                                                    : QAbstractSlider::SliderSingleStepAdd);
  // The highlight follows what is now under the pointer.
  Try([&] { SetDropHighlight(HitTest(lastDragX_, lastDragY_)); });
}

void Form1::Form1_TreeView1_OLEDragDrop(const DragData& Data, float x, float y) {
  if (unloading_) return;
  Busy busy(*this);
  // A drop ends the drag, and with it the auto-scroll.
  Timer1->stop();
  QTreeWidgetItem* target = nullptr;
  if (Data.hasText) {
    Try([&] { target = HitTest(x, y); });
    Try([&] {
      QTreeWidgetItem* source = NodeOfKey(Data.text);
      // Only a folder or file is moved, and only onto a path on disk: a
      // drive is never carried off, and the root's name is no place.
      const bool movable = IsEntryNode(source) && target && IsDiskKey(TreeNodes::Key(target));
      if (!movable) {
        SetDropHighlight(nullptr);
        return;
      }
      if (ShellMove(*this, TreeNodes::Key(source), TreeNodes::Key(target)) != 1) return;
      SetDropHighlight(nullptr);
      QTreeWidgetItem* parent = source->parent();
      target->addChild(parent->takeChild(parent->indexOfChild(source)));
    });
  }
  // The root is not read again: that would only take the drives away.
  if (target && IsDiskKey(TreeNodes::Key(target))) {
    const std::string targetKey = TreeNodes::Key(target);
    Try([&] { TreeView1_Flash(target); });
    Try([&] {
      if (QTreeWidgetItem* node = NodeOfKey(targetKey)) node->setExpanded(true);
    });
  }
  TreeView1->setEnabled(true);
  setEnabled(true);
}

}  // namespace talvora
